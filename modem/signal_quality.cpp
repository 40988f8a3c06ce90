#include "modem/signal_quality.h"

namespace {

// An index in [lowest, highest] read as (index * tenthsPerStep + offsetTenths); notKnown and anything
// outside the range give no level.
SignalLevel FromIndex(int index, int lowest, int highest, int tenthsPerStep, int offsetTenths,
                      std::string_view unit) {
    SignalLevel level;
    level.unit = unit;
    if (index < lowest || index > highest) {
        return level;
    }
    level.known = true;
    level.tenths = index * tenthsPerStep + offsetTenths;
    if (index == lowest) {
        level.bound = SignalLevel::Bound::OrLess;
    } else if (index == highest) {
        level.bound = SignalLevel::Bound::OrMore;
    }
    return level;
}

}  // namespace

std::string_view GradeName(SignalGrade grade) {
    switch (grade) {
        case SignalGrade::Excellent:
            return "excellent";
        case SignalGrade::Good:
            return "good";
        case SignalGrade::Fair:
            return "fair";
        case SignalGrade::Poor:
            return "poor";
        case SignalGrade::None:
            return "none";
        case SignalGrade::Unknown:
            break;
    }
    return "unknown";
}

std::string_view GradeNameZh(SignalGrade grade) {
    switch (grade) {
        case SignalGrade::Excellent:
            return kTextGradeExcellent.utf8;
        case SignalGrade::Good:
            return kTextGradeGood.utf8;
        case SignalGrade::Fair:
            return kTextGradeFair.utf8;
        case SignalGrade::Poor:
            return kTextGradePoor.utf8;
        case SignalGrade::None:
            return kTextGradeNone.utf8;
        case SignalGrade::Unknown:
            break;
    }
    return kTextModemUnknown.utf8;
}

std::string LevelText(const SignalLevel& level, ModemLanguage language) {
    if (!level.known) {
        return std::string(Say(language, "unknown", kTextModemUnknown));
    }
    const int whole = level.tenths / 10;
    const int tenth = level.tenths % 10;
    std::string text = level.tenths < 0 && whole == 0 ? "-0" : std::to_string(whole);
    if (tenth != 0) {
        text += '.';
        text += static_cast<char>('0' + (tenth < 0 ? -tenth : tenth));
    }
    text += ' ';
    text += level.unit;
    if (level.bound == SignalLevel::Bound::OrLess) {
        text += Say(language, " or less", kTextModemOrLess);
    } else if (level.bound == SignalLevel::Bound::OrMore) {
        text += Say(language, " or more", kTextModemOrMore);
    }
    return text;
}

SignalLevel CsqLevel(int rssi) {
    return FromIndex(rssi, 0, 31, 20, -1130, "dBm");
}

SignalGrade CsqGrade(int rssi) {
    if (rssi < 0 || rssi > 31) {
        return SignalGrade::Unknown;
    }
    if (rssi >= 20) {
        return SignalGrade::Excellent;
    }
    if (rssi >= 15) {
        return SignalGrade::Good;
    }
    if (rssi >= 10) {
        return SignalGrade::Fair;
    }
    return rssi >= 2 ? SignalGrade::Poor : SignalGrade::None;
}

SignalLevel RsrpLevel(int rsrp) {
    // 97 is "-44 dBm or more", the same edge as 96's upper end.
    SignalLevel level = FromIndex(rsrp, 0, 97, 10, -1400, "dBm");
    if (rsrp == 97) {
        level.tenths = -440;
    }
    return level;
}

SignalLevel RsrqLevel(int rsrq) {
    SignalLevel level = FromIndex(rsrq, 0, 34, 5, -195, "dB");
    if (rsrq == 34) {
        level.tenths = -30;
    }
    return level;
}

SignalLevel RxlevLevel(int rxlev) {
    SignalLevel level = FromIndex(rxlev, 0, 63, 10, -1100, "dBm");
    if (rxlev == 63) {
        level.tenths = -480;
    }
    return level;
}

SignalLevel RscpLevel(int rscp) {
    SignalLevel level = FromIndex(rscp, 0, 96, 10, -1200, "dBm");
    if (rscp == 96) {
        level.tenths = -250;
    }
    return level;
}

SignalLevel EcnoLevel(int ecno) {
    SignalLevel level = FromIndex(ecno, 0, 49, 5, -240, "dB");
    if (ecno == 49) {
        level.tenths = 0;
    }
    return level;
}

SignalGrade RsrpGrade(const SignalLevel& rsrp) {
    if (!rsrp.known) {
        return SignalGrade::Unknown;
    }
    if (rsrp.tenths >= -800) {
        return SignalGrade::Excellent;
    }
    if (rsrp.tenths >= -900) {
        return SignalGrade::Good;
    }
    return rsrp.tenths >= -1000 ? SignalGrade::Fair : SignalGrade::Poor;
}
