// The pair table and the number rule below follow the line breaking of the Qt this program is built
// against; CVerifiedAdvances checks them against Qt's own breaks once per run and keeps the summed wrap off
// when they differ, so that a Qt with other rules only costs speed.
#include "app/receive_break_model.h"

#include <algorithm>
#include <array>

using enum LbClass;

// Qt's classes of ASCII, from its Unicode tables (a tab is BA, the blank SP); kNone for controls.
const std::array<LbClass, 128> kAsciiLineBreakClasses = [] {
    std::array<LbClass, 128> table{};
    for (auto& cls : table) {
        cls = kNone;
    }
    table['\t'] = BA;
    table[' '] = SP;
    const char* const punctuation = "!\"#$%&'()*+,-./:;<=>?@[\\]^_`{|}~";
    const LbClass classes[] = {EX, QU, AL, PR, PO, AL, QU, OP, CP, AL, PR, IS, HY, IS, SY, IS,
                               IS, AL, AL, AL, EX, AL, OP, PR, CP, AL, AL, AL, OP, BA, CL, AL};
    for (int i = 0; punctuation[i] != '\0'; ++i) {
        table[static_cast<unsigned char>(punctuation[i])] = classes[i];
    }
    for (char c = '0'; c <= '9'; ++c) {
        table[static_cast<unsigned char>(c)] = NU;
    }
    for (char c = 'A'; c <= 'Z'; ++c) {
        table[static_cast<unsigned char>(c)] = AL;
        table[static_cast<unsigned char>(c - 'A' + 'a')] = AL;
    }
    return table;
}();

namespace {

struct OtherClass {
    char16_t c;
    LbClass cls;
};
// Full-width punctuation and signs of Chinese text, and the ideographic space (BA, white space).
constexpr OtherClass kOtherClasses[] = {
    {0x00B0, PO}, {0x2014, B2}, {0x2018, QU}, {0x2019, QU}, {0x201C, QU}, {0x201D, QU}, {0x2026, IN},
    {0x2103, PO}, {0x3000, BA}, {0x3001, CL}, {0x3002, CL}, {0x300A, OP}, {0x300B, CL}, {0x300C, OP},
    {0x300D, CL}, {0x3010, OP}, {0x3011, CL}, {0xFF01, EX}, {0xFF05, PO}, {0xFF08, OP}, {0xFF09, CL},
    {0xFF0C, CL}, {0xFF0E, CL}, {0xFF1A, NS}, {0xFF1B, NS}, {0xFF1F, EX},
};

}  // namespace

LbClass LineBreakClassOfOther(char16_t c) {
    if ((c >= 0x4E00 && c <= 0x9FFF) || (c >= 0x3400 && c <= 0x4DBF)) {
        return ID;
    }
    for (const OtherClass& other : kOtherClasses) {
        if (other.c == c) {
            return other.cls;
        }
    }
    return kNone;
}

void CBreakModel::Clear() {
    *this = CBreakModel();
}
