#include "protocol/record_view.h"

#include <gtest/gtest.h>

#include <array>
#include <random>
#include <set>
#include <string>

#include "protocol/memory_form.h"
#include "protocol/param_form.h"
#include "res/control_ids.h"
#include "text/gbk.h"

namespace {

// Records that reach the odd corners: texts without a NUL or with bytes GBK has no meaning for, numbers
// out of the profile's range, digits and choices the form's lists do not hold.
DeviceParams RandomRecord(std::mt19937& rng) {
    std::array<uint8_t, 440> raw{};
    const uint8_t pool[] = {0,   0, 0, '0', '5',  '8',  '9',  'N',  'O', 'E',
                            'x', 1, 2, 8,   0x0A, 0x80, 0xB0, 0xA1, 0xFF};
    for (auto& byte : raw) {
        byte = pool[rng() % std::size(pool)];
    }
    return DeviceParams::FromBytes(raw);
}

std::set<std::string> ProblemFields(const ProfileExport& exported) {
    std::set<std::string> fields;
    for (const ProfileError& problem : exported.problems) {
        fields.insert(problem.field);
    }
    return fields;
}

}  // namespace

// The form binding is the oracle: what it shows for a record, read into a profile the window's way, is
// what the record view and the profile taken straight from the record must give.
TEST(RecordView, AgreesWithTheFormBindingOverRandomRecords) {
    std::mt19937 rng(20261207);
    for (int round = 0; round < 3000; ++round) {
        const DeviceParams record = RandomRecord(rng);
        CMemoryForm form;
        ShowDeviceParams(record, form);

        const RecordDescription described = DescribeRecord(record);
        EXPECT_EQ(described.module, GbkToUtf8Lossy(form.Text(IDC_MODULE_TYPE)));
        EXPECT_EQ(described.firmware, form.Text(IDC_FIRMWARE_VERSION));
        for (std::size_t i = 0; i < ProfileFields().size(); ++i) {
            const ProfileField& field = ProfileFields()[i];
            ASSERT_EQ(ShownText(record, field), form.Text(field.controlId))
                << field.name << " round " << round;
            EXPECT_EQ(described.Value(field.name), GbkToUtf8Lossy(form.Text(field.controlId)));
        }

        const ProfileExport straight = ProfileFromRecord(record);
        const ProfileExport throughForm = ProfileFromForm(form);
        ASSERT_EQ(straight.profile, throughForm.profile) << "round " << round;
        ASSERT_EQ(ProblemFields(straight), ProblemFields(throughForm)) << "round " << round;
    }
}

// Each choice's stored byte in the table is the byte the form binding collects its text to.
TEST(RecordView, ChoiceBytesAreWhatTheFormCollects) {
    for (const ProfileField& field : ProfileFields()) {
        ASSERT_EQ(field.choices.size(), field.choiceBytes.size()) << field.name;
        for (std::size_t i = 0; i < field.choices.size(); ++i) {
            CMemoryForm form;
            form.SetText(field.controlId, field.choices[i].gbk);
            DeviceParams collected;
            CollectDeviceParams(form, collected);
            EXPECT_EQ(FieldMaskedByte(collected, field), field.choiceBytes[i])
                << field.name << " " << field.choices[i].utf8;
        }
    }
}
