// The one description of the record's settable fields: each one's name (as profiles, reports and messages
// call it), the control that shows it, the values it takes and where it lies in the record. The form
// binding takes its limits from here, the profile its names and rules, the record view (record_view.h)
// its places; nothing else restates them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "res/texts.h"

enum class ProfileFieldKind {
    Text,    // UTF-8 text of at most maxBytes bytes in GBK
    Number,  // a whole number from min to max, decimal in the form
    Digit,   // a number from min to max that the device holds as its digit character
    Choice,  // one of the choices' texts
};

struct ProfileField {
    std::string_view name;
    int controlId;
    ProfileFieldKind kind;
    std::size_t maxBytes;
    int64_t min;
    int64_t max;
    std::span<const GbkText> choices;
    // The byte each choice is stored as, under mask.
    std::span<const uint8_t> choiceBytes;
    // Where the field lies in the record; mask picks its bits of a shared flags byte.
    std::size_t offset;
    std::size_t width;
    uint8_t mask;
};

// In the order a profile is written out.
std::span<const ProfileField> ProfileFields();
const ProfileField* FindProfileField(std::string_view name);
const ProfileField* FindProfileFieldById(int controlId);
