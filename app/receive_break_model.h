// Qt's line break opportunities (its own reading of Unicode's line breaking rules, number rule included)
// for the characters Chinese devices print: ASCII, CJK ideographs and the common full-width punctuation.
// Worked out one character at a time as a block grows, so that the receive area's lines can be summed
// instead of laid out. Other characters are not modelled (ClassOf gives kNone) and are laid out by Qt.
#pragma once

#include <QChar>
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

// The class of a character the model knows, kNone for any other.
LbClass LineBreakClassOf(char16_t c);

class CBreakModel {
  public:
    void Clear();
    // Appends the block's next character (its class known) and pushes onto rawBreaks whether the pair rules
    // allow a break before it. A number that ends takes back the breaks inside it. rawBreaks[0] stands for
    // block position base, which must not be after NumberStart() + 1 while a number is open.
    void Append(char16_t c, LbClass cls, std::vector<bool>& rawBreaks, qsizetype base);
    // The number the block ends in, if any: breaks after its first character hang on what follows. Qt takes
    // them back at the end of the text when NumberEndTakesBack() holds.
    bool NumberOpen() const { return m_numberLast != kXX; }
    qsizetype NumberStart() const { return m_numberStart; }
    bool NumberEndTakesBack() const;

  private:
    enum NumberClass : std::uint8_t { kXX, kPRPO, kOPHY, kNU, kSYIS, kCLCP };
    static NumberClass NumberClassOf(char16_t c, LbClass cls);

    qsizetype m_length = 0;
    LbClass m_cls = LbClass::SP;   // the last class that is not a space
    LbClass m_last = LbClass::SP;  // the class just before
    NumberClass m_numberLast = kXX;
    qsizetype m_numberStart = 0;
};
