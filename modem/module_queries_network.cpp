// The network and signal queries' parsers: operator, registration, signal levels and the PDP contexts,
// beside the identity and SIM ones of module_queries.cpp.
#include <array>
#include <string>

#include "modem/module_answer.h"
#include "modem/module_queries.h"
#include "modem/query_fields.h"

using namespace query_fields;

std::string_view OperatorModeMeaning(int mode, ModemLanguage language) {
    static constexpr std::string_view kModes[] = {"automatic", "manual", "deregistered from the network",
                                                  "format only", "manual, then automatic"};
    return SayNumbered(language, mode >= 0 && mode < 5 ? kModes[mode] : std::string_view(),
                       kTextsOperatorModeZh, mode);
}

std::string_view OperatorFormatMeaning(int format, ModemLanguage language) {
    static constexpr std::string_view kFormats[] = {"long name", "short name", "numeric (MCC MNC)"};
    return SayNumbered(language, format >= 0 && format < 3 ? kFormats[format] : std::string_view(),
                       kTextsOperatorFormatZh, format);
}

std::string_view AccessTechnologyMeaning(int act, ModemLanguage language) {
    static constexpr std::string_view kTechnologies[] = {
        "GSM (2G)",
        "GSM Compact (2G)",
        "UTRAN (3G)",
        "GSM with EGPRS (2G)",
        "UTRAN with HSDPA (3G)",
        "UTRAN with HSUPA (3G)",
        "UTRAN with HSDPA and HSUPA (3G)",
        "E-UTRAN (LTE)",
        "EC-GSM-IoT",
        "E-UTRAN NB-S1 (NB-IoT)",
        "E-UTRA connected to 5GCN",
        "NR connected to 5GCN (5G)",
        "NG-RAN",
        "E-UTRA-NR dual connectivity",
    };
    return SayNumbered(language, act >= 0 && act < 14 ? kTechnologies[act] : std::string_view(),
                       kTextsAccessTechnologyZh, act);
}

std::string_view RegistrationMeaning(int stat, ModemLanguage language) {
    static constexpr std::string_view kStates[] = {
        "not registered, not searching",
        "registered, home network",
        "not registered, searching",
        "registration denied",
        "unknown (e.g. out of coverage)",
        "registered, roaming",
        "registered for SMS only, home network",
        "registered for SMS only, roaming",
        "attached for emergency bearer services only",
        "registered for CSFB not preferred, home network",
        "registered for CSFB not preferred, roaming",
    };
    return SayNumbered(language, stat >= 0 && stat < 11 ? kStates[stat] : std::string_view(),
                       kTextsRegistrationZh, stat);
}

bool IsRegistered(int stat) {
    // SMS-only and emergency-only attachments do not carry the unit's data.
    return stat == 1 || stat == 5 || stat == 9 || stat == 10;
}

QueryAnswer<Operator> ParseOperator(std::string_view text) {
    const SplitLines split = SplitAnswer(text, kQueryOperator);
    QueryAnswer<Operator> answer;
    if (!Usable(split, answer)) {
        return answer;
    }
    const std::vector<std::string_view> bodies = Bodies(split, "+COPS");
    if (bodies.empty()) {
        return answer;
    }
    const auto fields = SplitFields(bodies.front());
    if (!fields || fields->size() == 2) {
        return answer;
    }
    Operator op;
    const auto mode = NumberIn((*fields)[0], 0, 4);
    if (!mode) {
        return answer;
    }
    op.mode = *mode;
    if (fields->size() >= 3) {
        op.format = NumberIn((*fields)[1], 0, 2);
        const std::string_view name = (*fields)[2].text;
        if (!op.format || name.empty() || name.size() > kMaxTextValue) {
            return answer;
        }
        op.name = EscapeModuleText(name);
    }
    if (fields->size() >= 4 && !(*fields)[3].text.empty()) {
        op.accessTechnology = Number((*fields)[3]);
        if (!op.accessTechnology) {
            return answer;
        }
    }
    return Read(std::move(op));
}

QueryAnswer<Registration> ParseRegistration(std::string_view text, std::string_view command) {
    const SplitLines split = SplitAnswer(text, command);
    QueryAnswer<Registration> answer;
    if (!Usable(split, answer)) {
        return answer;
    }
    for (const std::string_view body : Bodies(split, PrefixOf(command))) {
        const auto fields = SplitFields(body);
        // The answer is "n,stat[,area,cell[,AcT...]]"; the unsolicited report has no n, so its second
        // field, if any, is the quoted area code.
        if (!fields || fields->size() < 2 || (*fields)[1].quoted || !Number((*fields)[0]) ||
            !Number((*fields)[1])) {
            continue;
        }
        const auto mode = NumberIn((*fields)[0], 0, 5);
        const auto stat = NumberIn((*fields)[1], 0, 10);
        if (!mode || !stat) {
            return answer;
        }
        Registration reg;
        reg.mode = *mode;
        reg.stat = *stat;
        if (fields->size() >= 4) {
            const std::string_view area = (*fields)[2].text;
            const std::string_view cell = (*fields)[3].text;
            if (!AllOf(area, kHexDigits) || !AllOf(cell, kHexDigits) || area.size() > 8 || cell.size() > 10) {
                return answer;
            }
            reg.area = area;
            reg.cell = cell;
        }
        if (fields->size() >= 5 && !(*fields)[4].text.empty()) {
            reg.accessTechnology = Number((*fields)[4]);
            if (!reg.accessTechnology) {
                return answer;
            }
        }
        return Read(std::move(reg));
    }
    return answer;
}

QueryAnswer<Csq> ParseCsq(std::string_view text) {
    const SplitLines split = SplitAnswer(text, kQueryCsq);
    QueryAnswer<Csq> answer;
    if (!Usable(split, answer)) {
        return answer;
    }
    const std::vector<std::string_view> bodies = Bodies(split, "+CSQ");
    if (bodies.empty()) {
        return answer;
    }
    const auto fields = SplitFields(bodies.front());
    if (!fields || fields->size() != 2) {
        return answer;
    }
    const auto rssi = IndexIn((*fields)[0], 31, 99);
    const auto ber = IndexIn((*fields)[1], 7, 99);
    if (!rssi || !ber) {
        return answer;
    }
    return Read(Csq{*rssi, *ber});
}

QueryAnswer<Cesq> ParseCesq(std::string_view text) {
    const SplitLines split = SplitAnswer(text, kQueryCesq);
    QueryAnswer<Cesq> answer;
    if (!Usable(split, answer)) {
        return answer;
    }
    const std::vector<std::string_view> bodies = Bodies(split, "+CESQ");
    if (bodies.empty()) {
        return answer;
    }
    const auto fields = SplitFields(bodies.front());
    if (!fields || fields->size() != 6) {
        return answer;
    }
    const auto rxlev = IndexIn((*fields)[0], 63, 99);
    const auto ber = IndexIn((*fields)[1], 7, 99);
    const auto rscp = IndexIn((*fields)[2], 96, 255);
    const auto ecno = IndexIn((*fields)[3], 49, 255);
    const auto rsrq = IndexIn((*fields)[4], 34, 255);
    const auto rsrp = IndexIn((*fields)[5], 97, 255);
    if (!rxlev || !ber || !rscp || !ecno || !rsrq || !rsrp) {
        return answer;
    }
    return Read(Cesq{*rxlev, *ber, *rscp, *ecno, *rsrq, *rsrp});
}

QueryAnswer<std::vector<PdpContext>> ParseContexts(std::string_view text) {
    const SplitLines split = SplitAnswer(text, kQueryContexts);
    QueryAnswer<std::vector<PdpContext>> answer;
    if (!Usable(split, answer)) {
        return answer;
    }
    // One unreadable context spoils the list: the APN that matters may be the one that was lost.
    std::vector<PdpContext> contexts;
    for (const std::string_view body : Bodies(split, "+CGDCONT")) {
        const auto fields = SplitFields(body);
        if (!fields || fields->size() < 3) {
            return answer;
        }
        const auto cid = NumberIn((*fields)[0], 0, 255);
        const std::string_view type = (*fields)[1].text;
        const std::string_view apn = (*fields)[2].text;
        if (!cid || type.empty() || type.size() > 16 || apn.size() > kMaxTextValue) {
            return answer;
        }
        contexts.push_back(PdpContext{*cid, EscapeModuleText(type), EscapeModuleText(apn)});
    }
    // A module with no context defined answers OK alone; without the OK nothing shows it answered.
    if (contexts.empty() && split.final != FinalResult::Ok) {
        return answer;
    }
    return Read(std::move(contexts));
}
