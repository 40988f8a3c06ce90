// Configuration profiles: every field the parameter form lets the user set, under a stable English name,
// as a JSON object ({"apn": "CMNET", "heartbeat_period": 60, "device_parity": "NONE", ...}). Texts are
// UTF-8 and become GBK in the form; numbers are JSON numbers; list fields are the item texts the form
// shows. A profile may leave fields out.
//
// The field table below is the one description of the record's settable fields: name, control, rules and
// place in the record. A profile reaches a record through the form binding (ApplyProfile, then the
// collection), so the window and the command line send the same bytes for the same profile; values read
// out of a record come from the record view (record_view.h), with no form in between. Every value is
// checked when it enters a Profile: a profile that exists is one the form takes whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "protocol/device_params.h"
#include "protocol/param_form.h"
#include "protocol/record_fields.h"
#include "res/texts.h"

struct ProfileError {
    std::string field;  // empty when the fault is not one field's (a file that is not JSON)
    std::string reason;

    // "field: reason", or the reason alone.
    std::string Text() const;
    bool operator==(const ProfileError&) const = default;
};

// Number and Digit fields hold a number, Text and Choice fields a UTF-8 text.
using ProfileValue = std::variant<int64_t, std::string>;

class Profile {
  public:
    Profile();

    // Checks the value by the field's rules and stores it; a refusal leaves the profile as it was.
    std::optional<ProfileError> Set(std::string_view name, const ProfileValue& value);
    // The same from a command-line or units-file text: a number field takes decimal digits only.
    std::optional<ProfileError> SetFromText(std::string_view name, std::string_view text);

    // Indexed like ProfileFields(); nullopt for a field the profile leaves out.
    const std::optional<ProfileValue>& Value(std::size_t index) const { return m_values[index]; }
    std::size_t Count() const;
    // The fields over sets replace these.
    void Merge(const Profile& over);

    bool operator==(const Profile&) const = default;

  private:
    std::vector<std::optional<ProfileValue>> m_values;
};

std::optional<ProfileError> ParseProfile(std::string_view json, Profile& out);
// Pretty JSON in field order, UTF-8 as it is, ending in a line break.
std::string ProfileToJson(const Profile& profile);

// Writes each field the profile holds into its control; the others are left as they are.
void ApplyProfile(const Profile& profile, IParamForm& form);

// A form read into a profile the way the form binding collects it, so applying the profile to any form
// collects to the same bytes. A field whose form value a profile cannot hold (a text too long or not GBK,
// a baud rate of 0, parity typed as "odd") is left out and named in problems.
struct ProfileExport {
    Profile profile;
    std::vector<ProfileError> problems;
};
ProfileExport ProfileFromForm(IParamForm& form);
ProfileExport ProfileFromRecord(const DeviceParams& record);

// The record to send to a device that holds device: its record shown in a form, the profile applied on
// top, the form collected (firmware_version from device, checksum computed). An error names the field
// the collection refused.
std::optional<ProfileError> BuildRecord(const DeviceParams& device, const Profile& profile,
                                        DeviceParams& out);

// The profile fields in which actual differs from expected: texts up to their NUL, other fields by their
// bytes. Values are given as the form shows them, in UTF-8.
struct FieldDifference {
    std::string_view field;
    std::string expected;
    std::string actual;

    bool operator==(const FieldDifference&) const = default;
};
std::vector<FieldDifference> CompareRecords(const DeviceParams& expected, const DeviceParams& actual);
