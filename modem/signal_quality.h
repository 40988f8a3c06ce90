// Signal numbers as people read them. The module reports indexes (AT+CSQ's rssi 0-31, AT+CESQ's rsrp
// 0-97 and the like); installers think in dBm and in a grade. A level keeps which side of its range an
// end index stands for ("-113 dBm or less"), and an index the module calls unknown, or one outside its
// range, gives no level rather than a guessed one.
#pragma once

#include <string>
#include <string_view>

#include "modem/modem_words.h"

enum class SignalGrade { Unknown, None, Poor, Fair, Good, Excellent };

// "excellent", "good", "fair", "poor", "none", "unknown": for code, logs and reports.
std::string_view GradeName(SignalGrade grade);
// What the window shows: 优, 良, 中, 差, 无, 未知.
std::string_view GradeNameZh(SignalGrade grade);

struct SignalLevel {
    enum class Bound { Exact, OrLess, OrMore };
    bool known = false;
    int tenths = 0;  // dBm or dB times ten: RSRQ and Ec/No come in half decibels
    Bound bound = Bound::Exact;
    std::string_view unit;  // "dBm" or "dB"
};

// "-67 dBm", "-113 dBm or less", "-19.5 dB", "unknown"; in Chinese "-113 dBm 或更低", "未知".
std::string LevelText(const SignalLevel& level, ModemLanguage language = ModemLanguage::English);

// AT+CSQ rssi: 2*rssi - 113 dBm; 0 is -113 or less, 31 is -51 or more, 99 unknown.
SignalLevel CsqLevel(int rssi);
// CSQ 20-31 excellent, 15-19 good, 10-14 fair, 2-9 poor, 0-1 none; 99 and anything else unknown.
SignalGrade CsqGrade(int rssi);

// AT+CESQ, each index read as the upper end of the range it stands for, the lowest index as "or less" and
// the highest as "or more": rsrp - 140 dBm, rsrq / 2 - 19.5 dB, rxlev - 110 dBm, rscp - 120 dBm,
// ecno / 2 - 24 dB.
SignalLevel RsrpLevel(int rsrp);
SignalLevel RsrqLevel(int rsrq);
SignalLevel RxlevLevel(int rxlev);
SignalLevel RscpLevel(int rscp);
SignalLevel EcnoLevel(int ecno);
// RSRP -80 dBm or more excellent, -90 to -80 good, -100 to -90 fair, below -100 poor.
SignalGrade RsrpGrade(const SignalLevel& rsrp);
