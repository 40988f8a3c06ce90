#include "protocol/record_view.h"

#include <algorithm>
#include <cstdio>

#include "res/texts.h"
#include "text/gbk.h"

std::span<const uint8_t> FieldBytes(const DeviceParams& record, const ProfileField& field) {
    return record.Bytes().subspan(field.offset, field.width);
}

int64_t FieldNumber(const DeviceParams& record, const ProfileField& field) {
    const auto bytes = FieldBytes(record, field);
    uint32_t bits = 0;
    for (std::size_t i = bytes.size(); i-- > 0;) {
        bits = (bits << 8) | bytes[i];
    }
    return field.width == 4 ? int64_t{static_cast<int32_t>(bits)} : int64_t{bits};
}

uint8_t FieldMaskedByte(const DeviceParams& record, const ProfileField& field) {
    return static_cast<uint8_t>(record.Bytes()[field.offset] & field.mask);
}

bool IsNbIotModule(const DeviceParams& record) {
    return (record.firmware_version.Get() & MODULE_TYPE_MASK) != 0;
}

std::string_view ModuleText(const DeviceParams& record) {
    return IsNbIotModule(record) ? kTextNbIotModule.gbk : kText4gModule.gbk;
}

std::string FirmwareText(const DeviceParams& record) {
    char text[8];
    std::snprintf(text, sizeof text, "V%.4x", static_cast<unsigned>(record.firmware_version.Get()));
    return text;
}

std::string ShownText(const DeviceParams& record, const ProfileField& field) {
    switch (field.kind) {
        case ProfileFieldKind::Text:
            return std::string(FieldText(FieldBytes(record, field)));
        case ProfileFieldKind::Number:
            return std::to_string(FieldNumber(record, field));
        case ProfileFieldKind::Digit: {
            // Shown as a character; a 0 byte ends the text at once and shows as nothing.
            const uint8_t byte = record.Bytes()[field.offset];
            return byte == 0 ? std::string() : std::string(1, static_cast<char>(byte));
        }
        case ProfileFieldKind::Choice: {
            const uint8_t byte = FieldMaskedByte(record, field);
            // A byte that no choice stands for shows as the first choice.
            const auto stored = std::ranges::any_of(field.choiceBytes, [&](uint8_t b) { return b == byte; })
                                    ? byte
                                    : field.choiceBytes.front();
            // Choices that share a byte (TCP and CoAP) are told apart by the module: the first for a 4G
            // module, the last for an NB-IoT one.
            const GbkText* shown = nullptr;
            for (std::size_t i = 0; i < field.choices.size(); ++i) {
                if (field.choiceBytes[i] == stored && (!shown || IsNbIotModule(record))) {
                    shown = &field.choices[i];
                }
            }
            return std::string(shown->gbk);
        }
    }
    return {};
}

std::string_view RecordDescription::Value(std::string_view name) const {
    const ProfileField* field = FindProfileField(name);
    return field ? std::string_view(values[static_cast<std::size_t>(field - ProfileFields().data())])
                 : std::string_view();
}

RecordDescription DescribeRecord(const DeviceParams& record) {
    RecordDescription description;
    description.module = GbkToUtf8Lossy(ModuleText(record));
    description.firmware = FirmwareText(record);
    for (const ProfileField& field : ProfileFields()) {
        description.values.push_back(GbkToUtf8Lossy(ShownText(record, field)));
    }
    return description;
}
