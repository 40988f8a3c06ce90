#include "protocol/profile.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <limits>
#include <nlohmann/json.hpp>
#include <set>

#include "protocol/memory_form.h"
#include "protocol/number_text.h"
#include "protocol/record_view.h"
#include "res/control_ids.h"
#include "text/gbk.h"

namespace {

using K = ProfileFieldKind;
using ordered_json = nlohmann::ordered_json;

std::size_t IndexOf(const ProfileField& field) {
    return static_cast<std::size_t>(&field - ProfileFields().data());
}

std::string Quoted(std::string_view text) {
    std::string quoted(1, '"');
    quoted.append(text);
    quoted += '"';
    return quoted;
}

std::string ChoiceList(const ProfileField& field) {
    std::string list;
    for (std::size_t i = 0; i < field.choices.size(); ++i) {
        list += i == 0 ? "" : i + 1 == field.choices.size() ? " or " : ", ";
        list += Quoted(field.choices[i].utf8);
    }
    return list;
}

std::string RangeText(const ProfileField& field) {
    return std::to_string(field.min) + " to " + std::to_string(field.max);
}

// Why value does not fit field, or nullopt when it does.
std::optional<std::string> Check(const ProfileField& field, const ProfileValue& value) {
    switch (field.kind) {
        case K::Text: {
            const auto* text = std::get_if<std::string>(&value);
            if (!text) {
                return "must be a text";
            }
            if (text->find('\0') != std::string::npos) {
                return "holds a NUL character, which would end the text early";
            }
            const auto gbk = Utf8ToGbk(*text);
            if (!gbk) {
                return "holds a character GBK has no code for";
            }
            if (gbk->size() > field.maxBytes) {
                return std::to_string(gbk->size()) + " bytes in GBK; the field takes at most " +
                       std::to_string(field.maxBytes);
            }
            return std::nullopt;
        }
        case K::Number:
        case K::Digit: {
            const auto* number = std::get_if<int64_t>(&value);
            if (!number) {
                return "must be a whole number";
            }
            if (*number < field.min || *number > field.max) {
                return std::to_string(*number) + " is outside " + RangeText(field);
            }
            return std::nullopt;
        }
        case K::Choice: {
            const auto* text = std::get_if<std::string>(&value);
            const bool listed = text && std::any_of(field.choices.begin(), field.choices.end(),
                                                    [&](const GbkText& c) { return c.utf8 == *text; });
            if (!listed) {
                return (text ? Quoted(*text) + " is not " : std::string("must be ")) + "one of " +
                       ChoiceList(field);
            }
            return std::nullopt;
        }
    }
    return std::nullopt;
}

// Decimal digits with an optional sign and nothing else; a number too large for 64 bits is reported as
// out of range rather than as not a number.
std::optional<ProfileValue> NumberFromText(std::string_view text) {
    std::string_view digits = text;
    if (!digits.empty() && (digits[0] == '-' || digits[0] == '+')) {
        digits.remove_prefix(1);
    }
    if (digits.empty() ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    int64_t value = 0;
    const char* begin = text.data() + (text[0] == '+' ? 1 : 0);
    const auto [end, ec] = std::from_chars(begin, text.data() + text.size(), value);
    if (ec == std::errc::result_out_of_range) {
        return ProfileValue(text[0] == '-' ? std::numeric_limits<int64_t>::min()
                                           : std::numeric_limits<int64_t>::max());
    }
    if (ec != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return ProfileValue(value);
}

// The form text that the collection reads back as value.
std::string FormText(const ProfileField& field, const ProfileValue& value) {
    switch (field.kind) {
        case K::Text:
            return Utf8ToGbk(std::get<std::string>(value)).value_or(std::string());
        case K::Number:
        case K::Digit:
            return std::to_string(std::get<int64_t>(value));
        case K::Choice:
            for (const GbkText& choice : field.choices) {
                if (choice.utf8 == std::get<std::string>(value)) {
                    return std::string(choice.gbk);
                }
            }
            return {};
    }
    return {};
}

}  // namespace

std::string ProfileError::Text() const {
    return field.empty() ? reason : field + ": " + reason;
}

Profile::Profile() : m_values(ProfileFields().size()) {}

std::optional<ProfileError> Profile::Set(std::string_view name, const ProfileValue& value) {
    const ProfileField* field = FindProfileField(name);
    if (!field) {
        return ProfileError{std::string(name), "not a profile field"};
    }
    if (auto reason = Check(*field, value)) {
        return ProfileError{std::string(name), *std::move(reason)};
    }
    m_values[IndexOf(*field)] = value;
    return std::nullopt;
}

std::optional<ProfileError> Profile::SetFromText(std::string_view name, std::string_view text) {
    const ProfileField* field = FindProfileField(name);
    if (!field) {
        return ProfileError{std::string(name), "not a profile field"};
    }
    if (field->kind == K::Number || field->kind == K::Digit) {
        const auto number = NumberFromText(text);
        if (!number) {
            return ProfileError{std::string(name), "must be a whole number, not " + Quoted(text)};
        }
        return Set(name, *number);
    }
    return Set(name, std::string(text));
}

std::size_t Profile::Count() const {
    return static_cast<std::size_t>(
        std::count_if(m_values.begin(), m_values.end(), [](const auto& v) { return v.has_value(); }));
}

void Profile::Merge(const Profile& over) {
    for (std::size_t i = 0; i < ProfileFields().size(); ++i) {
        if (over.m_values[i]) {
            m_values[i] = over.m_values[i];
        }
    }
}

std::optional<ProfileError> ParseProfile(std::string_view json, Profile& out) {
    // The library keeps the last of two equal keys without a word; a profile that says two things about
    // one field is refused instead.
    std::set<std::string> seen;
    std::optional<ProfileError> duplicate;
    // The field being read, so a number the library cannot hold is refused under its name.
    std::string current;
    const auto watch = [&](int depth, nlohmann::json::parse_event_t event, nlohmann::json& parsed) {
        if (depth == 1 && event == nlohmann::json::parse_event_t::key) {
            current = parsed.get<std::string>();
            if (!duplicate && !seen.insert(current).second) {
                duplicate = ProfileError{current, "given twice"};
            }
        }
        return true;
    };
    nlohmann::json doc;
    try {
        doc = nlohmann::json::parse(json.begin(), json.end(), watch);
    } catch (const nlohmann::json::parse_error& e) {
        return ProfileError{{}, std::string("not valid JSON: ") + e.what()};
    } catch (const nlohmann::json::out_of_range&) {
        // 1e400, or an integer of hundreds of digits: beyond any double, so beyond every field's range.
        return ProfileError{current, "a number too large to read"};
    } catch (const nlohmann::json::exception& e) {
        return ProfileError{current, std::string("not valid JSON: ") + e.what()};
    }
    if (duplicate) {
        return duplicate;
    }
    if (!doc.is_object()) {
        return ProfileError{{}, "a profile is a JSON object of fields"};
    }
    Profile profile;
    for (const auto& [name, item] : doc.items()) {
        const ProfileField* field = FindProfileField(name);
        if (!field) {
            return ProfileError{name, "not a profile field"};
        }
        ProfileValue value;
        if (item.is_number_integer()) {
            // An unsigned number beyond 64-bit signed range is just as far out of range.
            value = item.is_number_unsigned() &&
                            item.get<uint64_t>() > uint64_t{std::numeric_limits<int64_t>::max()}
                        ? std::numeric_limits<int64_t>::max()
                        : item.get<int64_t>();
        } else if (item.is_string()) {
            value = item.get<std::string>();
        } else {
            const bool wantsNumber = field->kind == K::Number || field->kind == K::Digit;
            return ProfileError{name, wantsNumber              ? "must be a whole number"
                                      : field->kind == K::Text ? "must be a text"
                                                               : "must be one of " + ChoiceList(*field)};
        }
        if (auto error = profile.Set(name, value)) {
            return error;
        }
    }
    out = std::move(profile);
    return std::nullopt;
}

std::string ProfileToJson(const Profile& profile) {
    ordered_json doc = ordered_json::object();
    for (std::size_t i = 0; i < ProfileFields().size(); ++i) {
        const auto& value = profile.Value(i);
        if (!value) {
            continue;
        }
        const std::string name(ProfileFields()[i].name);
        if (const auto* number = std::get_if<int64_t>(&*value)) {
            doc[name] = *number;
        } else {
            doc[name] = std::get<std::string>(*value);
        }
    }
    return doc.dump(4) + "\n";
}

void ApplyProfile(const Profile& profile, IParamForm& form) {
    for (std::size_t i = 0; i < ProfileFields().size(); ++i) {
        if (const auto& value = profile.Value(i)) {
            form.SetText(ProfileFields()[i].controlId, FormText(ProfileFields()[i], *value));
        }
    }
}

ProfileExport ProfileFromForm(IParamForm& form) {
    ProfileExport result;
    const auto refuse = [&](const ProfileField& field, std::string reason) {
        result.problems.push_back(ProfileError{std::string(field.name), std::move(reason)});
    };
    // Each control is read the way the window's checked collection reads it, so an exported profile
    // holds what a save would send.
    for (const ProfileField& field : ProfileFields()) {
        const auto gbk = form.GetText(field.controlId);
        if (!gbk) {
            refuse(field, "holds a character GBK has no code for");
            continue;
        }
        switch (field.kind) {
            case K::Text:
                if (gbk->size() > field.maxBytes) {
                    refuse(field, std::to_string(gbk->size()) + " bytes in GBK; the field takes at most " +
                                      std::to_string(field.maxBytes));
                } else if (auto utf8 = GbkToUtf8(*gbk)) {
                    result.profile.Set(field.name, *std::move(utf8));
                } else {
                    refuse(field, "holds bytes that are not GBK text: " + Quoted(GbkToUtf8Lossy(*gbk)));
                }
                break;
            case K::Number:
            case K::Digit:
                if (const auto number = WholeNumber(*gbk)) {
                    if (auto error = result.profile.Set(field.name, *number)) {
                        result.problems.push_back(*std::move(error));
                    }
                } else {
                    refuse(field, Quoted(GbkToUtf8Lossy(*gbk)) + " is not a number from " + RangeText(field));
                }
                break;
            case K::Choice: {
                // A text no choice names is stored as 0 where a choice stands for 0 (the window reads
                // such a text as "not the other one") and refused where none does; parity is read without
                // regard to case.
                std::optional<uint8_t> byte;
                if (field.name == "device_parity") {
                    byte = ParityByte(*gbk);
                } else {
                    byte = uint8_t{0};
                    for (std::size_t i = 0; i < field.choices.size(); ++i) {
                        if (field.choices[i].gbk == *gbk) {
                            byte = field.choiceBytes[i];
                        }
                    }
                }
                // Choices that share a byte (TCP and CoAP): the one the form shows, else the first.
                const GbkText* match = nullptr;
                for (std::size_t i = 0; byte && i < field.choices.size(); ++i) {
                    if (field.choiceBytes[i] == *byte && (!match || field.choices[i].gbk == *gbk)) {
                        match = &field.choices[i];
                    }
                }
                if (match) {
                    result.profile.Set(field.name, std::string(match->utf8));
                } else {
                    refuse(field, Quoted(GbkToUtf8Lossy(*gbk)) + " is not one of " + ChoiceList(field));
                }
                break;
            }
        }
    }
    return result;
}

ProfileExport ProfileFromRecord(const DeviceParams& record) {
    ProfileExport result;
    const auto refuse = [&](const ProfileField& field, std::string reason) {
        result.problems.push_back(ProfileError{std::string(field.name), std::move(reason)});
    };
    for (const ProfileField& field : ProfileFields()) {
        const std::string shown = ShownText(record, field);
        switch (field.kind) {
            case K::Text:
                if (shown.size() > field.maxBytes) {
                    refuse(field, "the device holds " + std::to_string(shown.size()) +
                                      " bytes with no end; the field takes at most " +
                                      std::to_string(field.maxBytes));
                } else if (auto utf8 = GbkToUtf8(shown)) {
                    result.profile.Set(field.name, *std::move(utf8));
                } else {
                    refuse(field, "holds bytes that are not GBK text: " + Quoted(GbkToUtf8Lossy(shown)));
                }
                break;
            case K::Number: {
                const int64_t number = FieldNumber(record, field);
                if (number < field.min || number > field.max) {
                    refuse(field,
                           "the device holds " + std::to_string(number) + ", outside " + RangeText(field));
                } else {
                    result.profile.Set(field.name, number);
                }
                break;
            }
            case K::Digit: {
                const int64_t digit = int64_t{record.Bytes()[field.offset]} - '0';
                if (digit < field.min || digit > field.max) {
                    refuse(field,
                           Quoted(GbkToUtf8Lossy(shown)) + " is not a number from " + RangeText(field));
                } else {
                    result.profile.Set(field.name, digit);
                }
                break;
            }
            case K::Choice:
                // Every byte shows as one of the choices.
                result.profile.Set(field.name, GbkToUtf8Lossy(shown));
                break;
        }
    }
    return result;
}

std::optional<ProfileError> BuildRecord(const DeviceParams& device, const Profile& profile,
                                        DeviceParams& out) {
    CMemoryForm form;
    ShowDeviceParams(device, form);
    ApplyProfile(profile, form);
    DeviceParams built = device;
    if (const auto refusal = CollectDeviceParams(form, built)) {
        const ProfileField* field = FindProfileFieldById(refusal->controlId);
        const std::string name = field ? std::string(field->name) : std::to_string(refusal->controlId);
        if (refusal->reason == CollectRefusal::Reason::NotGbk) {
            return ProfileError{name, "holds a character GBK has no code for"};
        }
        return ProfileError{name, "the device's value is longer than the field takes (" +
                                      std::to_string(refusal->maxBytes) + " bytes)"};
    }
    out = built;
    return std::nullopt;
}

std::vector<FieldDifference> CompareRecords(const DeviceParams& expected, const DeviceParams& actual) {
    std::vector<FieldDifference> differences;
    for (const ProfileField& field : ProfileFields()) {
        const bool same = field.kind == K::Text
                              ? FieldText(FieldBytes(expected, field)) == FieldText(FieldBytes(actual, field))
                              : FieldMaskedByte(expected, field) == FieldMaskedByte(actual, field) &&
                                    std::ranges::equal(FieldBytes(expected, field).subspan(1),
                                                       FieldBytes(actual, field).subspan(1));
        if (!same) {
            differences.push_back({field.name, GbkToUtf8Lossy(ShownText(expected, field)),
                                   GbkToUtf8Lossy(ShownText(actual, field))});
        }
    }
    return differences;
}
