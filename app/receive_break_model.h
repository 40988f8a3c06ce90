// Qt's line break opportunities (its own reading of Unicode's line breaking rules, number rule included)
// for the characters Chinese devices print: ASCII, CJK ideographs and the common full-width punctuation.
// Worked out one character at a time as a block grows, so that the receive area's lines can be summed
// instead of laid out. Other characters are not modelled (ClassOf gives kNone) and are laid out by Qt.
#pragma once

#include <QChar>
#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

enum class LbClass : std::uint8_t {
    OP,
    CL,
    CP,
    QU,
    NS,
    EX,
    SY,
    IS,
    PR,
    PO,
    NU,
    AL,
    ID,
    IN,
    HY,
    BA,
    B2,
    SP,
    kNone
};

extern const std::array<LbClass, 128> kAsciiLineBreakClasses;
LbClass LineBreakClassOfOther(char16_t c);

// The class of a character the model knows, kNone for any other.
inline LbClass LineBreakClassOf(char16_t c) {
    return c < 128 ? kAsciiLineBreakClasses[c] : LineBreakClassOfOther(c);
}

class CBreakModel {
  public:
    void Clear();
    // Appends the block's next character (its class known) and pushes onto rawBreaks whether the pair rules
    // allow a break before it. A number that ends takes back the breaks inside it. rawBreaks[0] stands for
    // block position base, which must not be after NumberStart() + 1 while a number is open.
    void Append(char16_t c, LbClass cls, std::vector<std::uint8_t>& rawBreaks, qsizetype base);
    // The number the block ends in, if any: breaks after its first character hang on what follows. Qt takes
    // them back at the end of the text when NumberEndTakesBack() holds.
    bool NumberOpen() const { return m_numberLast != kXX; }
    qsizetype NumberStart() const { return m_numberStart; }
    bool NumberEndTakesBack() const { return m_numberLast >= kNU; }  // a digit was met: Qt's table

  private:
    enum NumberClass : std::uint8_t { kXX, kPRPO, kOPHY, kNU, kSYIS, kCLCP };
    static NumberClass NumberClassOf(char16_t c, LbClass cls);

    qsizetype m_length = 0;
    LbClass m_cls = LbClass::SP;   // the last class that is not a space
    LbClass m_last = LbClass::SP;  // the class just before
    NumberClass m_numberLast = kXX;
    qsizetype m_numberStart = 0;
};

// Appending runs for every received character: it is defined here to be inlined.
namespace break_model_detail {
using enum LbClass;
// Qt's pair table for these classes: 0 no break, 1 break, 2 break only after a space, 3 break unless
// after a Hebrew letter (always, here), 4 break before a wide opening bracket or after a space.
// Columns and rows in LbClass order, OP to B2.
inline constexpr std::uint8_t kPairs[17][17] = {
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
inline constexpr NumberAction kNumberActions[6][6] = {
    // XX      PRPO       OPHY       NU         SYIS       CLCP
    {kNone_, kStart, kStart, kStart, kNone_, kNone_},           // XX
    {kNone_, kStart, kContinue, kContinue, kNone_, kNone_},     // PRPO
    {kNone_, kStart, kStart, kContinue, kNone_, kNone_},        // OPHY
    {kBreak, kBreak, kBreak, kContinue, kContinue, kContinue},  // NU
    {kBreak, kBreak, kBreak, kContinue, kContinue, kContinue},  // SYIS
    {kBreak, kContinue, kBreak, kBreak, kBreak, kBreak},        // CLCP
};

inline bool IsWideOpening(char16_t c) {
    return c >= 0x3000;  // the full-width and CJK brackets the model knows
}
}  // namespace break_model_detail

inline CBreakModel::NumberClass CBreakModel::NumberClassOf(char16_t c, LbClass cls) {
    using enum LbClass;
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

inline void CBreakModel::Append(char16_t c, LbClass cls, std::vector<std::uint8_t>& rawBreaks,
                                qsizetype base) {
    using namespace break_model_detail;
    const qsizetype at = m_length++;
    rawBreaks.push_back(0);
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
                rawBreaks[static_cast<std::size_t>(j - base)] = 0;
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
    // Blanks that begin the block leave no class before: Qt reads them as a letter.
    const LbClass before = m_cls == SP ? AL : m_cls;
    switch (kPairs[static_cast<int>(before)][static_cast<int>(cls)]) {
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
    rawBreaks.back() = allowed ? 1 : 0;
    m_cls = m_last = cls;
}
