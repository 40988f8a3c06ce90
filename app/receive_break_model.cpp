// The pair table and the number rule below follow the line breaking of the Qt this program is built
// against; CVerifiedAdvances checks them against Qt's own breaks once per run and keeps the summed wrap off
// when they differ, so that a Qt with other rules only costs speed.
#include "app/receive_break_model.h"

#include <algorithm>
#include <array>

namespace {

using enum LbClass;

// Qt's classes of ASCII, from its Unicode tables (a tab is BA, the blank SP); kNone for controls.
constexpr std::array<LbClass, 128> kAsciiClasses = [] {
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

// Qt's pair table for these classes: 0 no break, 1 break, 2 break only after a space, 3 break unless
// after a Hebrew letter (always, here), 4 break before a wide opening bracket or after a space.
// Columns and rows in LbClass order, OP to B2.
constexpr std::uint8_t kPairs[17][17] = {
    //  OP CL CP QU NS EX SY IS PR PO NU AL ID IN HY BA B2
    {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},  // OP
    {1, 0, 0, 2, 0, 0, 0, 0, 1, 1, 1, 1, 1, 2, 2, 2, 1},  // CL
    {1, 0, 0, 2, 0, 0, 0, 0, 1, 1, 2, 2, 1, 2, 2, 2, 1},  // CP
    {0, 0, 0, 2, 2, 0, 0, 0, 2, 2, 2, 2, 2, 2, 2, 2, 2},  // QU
    {1, 0, 0, 2, 2, 0, 0, 0, 1, 1, 1, 1, 1, 2, 2, 2, 1},  // NS
    {1, 0, 0, 2, 2, 0, 0, 0, 1, 1, 1, 1, 1, 2, 2, 2, 1},  // EX
    {1, 0, 0, 2, 2, 0, 0, 0, 1, 1, 1, 1, 1, 2, 2, 2, 1},  // SY
    {1, 0, 0, 2, 2, 0, 0, 0, 1, 1, 1, 2, 1, 2, 2, 2, 1},  // IS
    {1, 0, 0, 2, 2, 0, 0, 0, 1, 1, 2, 2, 2, 2, 2, 2, 1},  // PR
    {1, 0, 0, 2, 2, 0, 0, 0, 1, 1, 2, 2, 1, 2, 2, 2, 1},  // PO
    {4, 0, 0, 2, 2, 0, 0, 0, 2, 2, 2, 2, 1, 2, 2, 2, 1},  // NU
    {4, 0, 0, 2, 2, 0, 0, 0, 2, 2, 2, 2, 1, 2, 2, 2, 1},  // AL
    {1, 0, 0, 2, 2, 0, 0, 0, 1, 2, 1, 1, 1, 2, 2, 2, 1},  // ID
    {1, 0, 0, 2, 2, 0, 0, 0, 1, 1, 1, 1, 1, 2, 2, 2, 1},  // IN
    {3, 0, 0, 2, 2, 0, 0, 0, 3, 3, 2, 3, 3, 2, 2, 2, 3},  // HY
    {3, 0, 0, 2, 2, 0, 0, 0, 3, 3, 3, 3, 3, 2, 2, 2, 3},  // BA
    {1, 0, 0, 2, 2, 0, 0, 0, 1, 1, 1, 1, 1, 2, 2, 2, 0},  // B2
};

// Qt's number rule: what the number so far does with the next character's number class.
enum NumberAction : std::uint8_t { kNone_, kStart, kContinue, kBreak };
constexpr NumberAction kNumberActions[6][6] = {
    // XX      PRPO       OPHY       NU         SYIS       CLCP
    {kNone_, kStart, kStart, kStart, kNone_, kNone_},           // XX
    {kNone_, kStart, kContinue, kContinue, kNone_, kNone_},     // PRPO
    {kNone_, kStart, kStart, kContinue, kNone_, kNone_},        // OPHY
    {kBreak, kBreak, kBreak, kContinue, kContinue, kContinue},  // NU
    {kBreak, kBreak, kBreak, kContinue, kContinue, kContinue},  // SYIS
    {kBreak, kContinue, kBreak, kBreak, kBreak, kBreak},        // CLCP
};

bool IsWideOpening(char16_t c) {
    return c >= 0x3000;  // the full-width and CJK brackets of the table above
}

}  // namespace

LbClass LineBreakClassOf(char16_t c) {
    if (c < 128) {
        return kAsciiClasses[c];
    }
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

CBreakModel::NumberClass CBreakModel::NumberClassOf(char16_t c, LbClass cls) {
    switch (cls) {
        case PR:
        case PO:
            return kPRPO;
        case OP:
        case HY:
            return kOPHY;
        case NU:
            return kNU;
        case SY:
        case IS:
            return kSYIS;
        case CL:
        case CP:
            return kCLCP;
        case AL:
            // Math symbols among numbers count as separators ("1=2" is one number).
            return c == u'<' || c == u'=' || c == u'>' || c == u'~' ? kSYIS : kXX;
        default:
            return kXX;
    }
}

void CBreakModel::Clear() {
    *this = CBreakModel();
}

void CBreakModel::Append(char16_t c, LbClass cls, std::vector<bool>& rawBreaks, qsizetype base) {
    const qsizetype at = m_length++;
    rawBreaks.push_back(false);
    if (at == 0) {
        // The block's first character: no break before it, and no number starts at it.
        m_cls = m_last = cls;
        return;
    }
    if (cls == SP) {
        m_last = SP;
        return;
    }
    const NumberClass number = NumberClassOf(c, cls);
    switch (kNumberActions[m_numberLast][number]) {
        case kBreak:
            // A number ended: no break inside it.
            for (qsizetype j = std::max(m_numberStart + 1, base); j < at; ++j) {
                rawBreaks[static_cast<std::size_t>(j - base)] = false;
            }
            m_numberLast = kXX;
            break;
        case kNone_:
            m_numberLast = kXX;
            break;
        case kStart:
            m_numberStart = at;
            m_numberLast = number;
            break;
        case kContinue:
            m_numberLast = number;
            break;
    }
    bool allowed = false;
    switch (kPairs[static_cast<int>(m_cls)][static_cast<int>(cls)]) {
        case 1:
        case 3:
            allowed = true;
            break;
        case 2:
            allowed = m_last == SP;
            break;
        case 4:
            allowed = IsWideOpening(c) || m_last == SP;
            break;
        default:
            break;
    }
    rawBreaks.back() = allowed;
    m_cls = m_last = cls;
}

bool CBreakModel::NumberEndTakesBack() const {
    return kNumberActions[m_numberLast][kXX] == kBreak;
}
