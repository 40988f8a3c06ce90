// A record read as values, straight from its bytes through the field table (profile.h): what the form
// would show for each field, without a form. The command line's report, the comparison after a save and
// the profile taken from a device all read here, so they cannot disagree with one another or with the
// window, whose form binding shows the same texts.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/device_params.h"
#include "protocol/profile.h"

// The field's bytes in the record, and its value as a number (little-endian; u8 and u16 unsigned, the
// 4-byte baud rate signed).
std::span<const uint8_t> FieldBytes(const DeviceParams& record, const ProfileField& field);
int64_t FieldNumber(const DeviceParams& record, const ProfileField& field);
// The field's bits of its byte (a flag of the shared flags byte, or the whole byte).
uint8_t FieldMaskedByte(const DeviceParams& record, const ProfileField& field);

bool IsNbIotModule(const DeviceParams& record);
// "4G模组" / "NB-IoT模组" and "V0203", as the form's read-only boxes show them (GBK).
std::string_view ModuleText(const DeviceParams& record);
std::string FirmwareText(const DeviceParams& record);

// The GBK text the form shows for field when it shows record.
std::string ShownText(const DeviceParams& record, const ProfileField& field);

struct RecordDescription {
    std::string module;               // UTF-8
    std::string firmware;             // "V0203"
    std::vector<std::string> values;  // indexed like ProfileFields(), UTF-8 as the form shows them

    // The shown value of the named profile field; empty for a name that is none.
    std::string_view Value(std::string_view name) const;
};
RecordDescription DescribeRecord(const DeviceParams& record);
