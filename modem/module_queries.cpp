// The identity and SIM queries' parsers: which SIM and module the unit has and whether the SIM lets it
// on; the network and signal ones are in module_queries_network.cpp.
#include "modem/module_queries.h"

#include <initializer_list>
#include <string>

#include "modem/module_answer.h"
#include "modem/query_fields.h"

using namespace query_fields;

namespace {

// Candidates for a bare value: each prefixed line's text and each line without a prefix, unquoted.
std::vector<std::string_view> ValueCandidates(const SplitLines& split,
                                              std::initializer_list<std::string_view> prefixes) {
    std::vector<std::string_view> out;
    for (const std::string& line : split.lines) {
        std::string_view l = line;
        for (const std::string_view p : prefixes) {
            if (StartsWithNoCase(l, p) && l.size() > p.size() && l[p.size()] == ':') {
                l.remove_prefix(p.size() + 1);
                break;
            }
        }
        out.push_back(Unquoted(l));
    }
    return out;
}

// An ICCID: 89 (telecommunication), then up to 18 more digits; the filler F at the end dropped. Some
// issuers put letters among the digits, so hex digits are kept, upper-cased.
std::optional<std::string> NormalIccid(std::string_view token) {
    if (token.size() < 18 || token.size() > 22 || !AllOf(token, kHexDigits)) {
        return std::nullopt;
    }
    while (!token.empty() && Upper(token.back()) == 'F') {
        token.remove_suffix(1);
    }
    if (token.size() < 18 || token.size() > 20 || token.substr(0, 2) != "89") {
        return std::nullopt;
    }
    std::string iccid;
    for (const char c : token) {
        iccid += Upper(c);
    }
    return iccid;
}

}  // namespace

bool LuhnValid(std::string_view digits) {
    if (digits.empty() || !AllOf(digits, kDigits)) {
        return false;
    }
    int sum = 0;
    bool twice = false;
    for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
        int d = *it - '0';
        if (twice) {
            d = d * 2 > 9 ? d * 2 - 9 : d * 2;
        }
        sum += d;
        twice = !twice;
    }
    return sum % 10 == 0;
}

std::string_view SimStateMeaning(SimState state, ModemLanguage language) {
    if (language == ModemLanguage::Chinese) {
        return kTextsSimStateZh[static_cast<int>(state)].utf8;
    }
    switch (state) {
        case SimState::Ready:
            return "SIM ready";
        case SimState::PinRequired:
            return "SIM locked: PIN required";
        case SimState::PukRequired:
            return "SIM blocked: PUK required";
        case SimState::Pin2Required:
            return "PIN2 asked (does not block data)";
        case SimState::NotInserted:
            return "no SIM inserted";
        case SimState::NotReady:
            break;
    }
    return "SIM not ready";
}

QueryAnswer<SimStatus> ParseSimStatus(std::string_view text) {
    const SplitLines split = SplitAnswer(text, kQuerySim);
    QueryAnswer<SimStatus> answer;
    if (!Usable(split, answer)) {
        return answer;
    }
    struct Code {
        std::string_view code;
        SimState state;
    };
    // The standard codes, and the words some modules use for a missing SIM.
    static constexpr Code kCodes[] = {
        {"READY", SimState::Ready},
        {"SIM PIN", SimState::PinRequired},
        {"SIM PUK", SimState::PukRequired},
        {"SIM PIN2", SimState::Pin2Required},
        {"SIM PUK2", SimState::Pin2Required},
        {"PH-SIM PIN", SimState::PinRequired},
        {"PH-FSIM PIN", SimState::PinRequired},
        {"PH-FSIM PUK", SimState::PukRequired},
        {"PH-NET PIN", SimState::PinRequired},
        {"PH-NET PUK", SimState::PukRequired},
        {"PH-NETSUB PIN", SimState::PinRequired},
        {"PH-NETSUB PUK", SimState::PukRequired},
        {"PH-SP PIN", SimState::PinRequired},
        {"PH-SP PUK", SimState::PukRequired},
        {"PH-CORP PIN", SimState::PinRequired},
        {"PH-CORP PUK", SimState::PukRequired},
        {"NOT INSERTED", SimState::NotInserted},
        {"SIM NOT INSERTED", SimState::NotInserted},
        {"SIM REMOVED", SimState::NotInserted},
        {"NOT READY", SimState::NotReady},
    };
    // The last report wins: a module that was still starting may have said NOT READY before.
    std::optional<SimStatus> found;
    for (const std::string_view body : Bodies(split, "+CPIN")) {
        std::string code;
        for (const char c : Unquoted(body)) {
            code += Upper(c);
        }
        for (const Code& known : kCodes) {
            if (code == known.code) {
                found = SimStatus{known.state, std::string(known.code)};
            }
        }
    }
    return found ? Read(*found) : answer;
}

QueryAnswer<Imei> ParseImei(std::string_view text) {
    const SplitLines split = SplitAnswer(text, kQueryImei);
    QueryAnswer<Imei> answer;
    if (!Usable(split, answer)) {
        return answer;
    }
    for (const std::string_view candidate : ValueCandidates(split, {"+CGSN", "+GSN"})) {
        if (candidate.size() == 15 && AllOf(candidate, kDigits)) {
            return Read(Imei{std::string(candidate), LuhnValid(candidate)});
        }
    }
    return answer;
}

QueryAnswer<std::string> ParseIccid(std::string_view text, std::string_view command) {
    const SplitLines split = SplitAnswer(text, command);
    QueryAnswer<std::string> answer;
    if (!Usable(split, answer)) {
        return answer;
    }
    for (const std::string_view candidate : ValueCandidates(split, {"+CCID", "+ICCID", "+QCCID", "^ICCID"})) {
        if (std::optional<std::string> iccid = NormalIccid(candidate)) {
            return Read(std::move(*iccid));
        }
    }
    return answer;
}

QueryAnswer<std::string> ParseIccidFromSim(std::string_view text) {
    const SplitLines split = SplitAnswer(text, kQueryIccidSim);
    QueryAnswer<std::string> answer;
    if (!Usable(split, answer)) {
        return answer;
    }
    for (const std::string_view body : Bodies(split, "+CRSM")) {
        const auto fields = SplitFields(body);
        if (!fields || fields->size() < 2) {
            continue;
        }
        const auto sw1 = NumberIn((*fields)[0], 0, 255);
        const auto sw2 = NumberIn((*fields)[1], 0, 255);
        if (!sw1 || !sw2) {
            continue;
        }
        // 0x90 is a normal ending; 0x91 and 0x92 are normal endings with something more to say.
        if (*sw1 < 0x90 || *sw1 > 0x92) {
            answer.status = AnswerStatus::ModuleError;
            answer.error = "+CRSM: " + std::to_string(*sw1) + "," + std::to_string(*sw2);
            answer.errorMeaning =
                "the SIM refused the read (status " + std::to_string(*sw1) + "," + std::to_string(*sw2) + ")";
            return answer;
        }
        if (fields->size() < 3) {
            continue;
        }
        const std::string_view hex = (*fields)[2].text;
        if (hex.size() % 2 != 0 || !AllOf(hex, kHexDigits)) {
            continue;
        }
        std::string swapped;
        for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
            swapped += hex[i + 1];
            swapped += hex[i];
        }
        if (std::optional<std::string> iccid = NormalIccid(swapped)) {
            return Read(std::move(*iccid));
        }
    }
    return answer;
}

QueryAnswer<std::string> ParseImsi(std::string_view text) {
    const SplitLines split = SplitAnswer(text, kQueryImsi);
    QueryAnswer<std::string> answer;
    if (!Usable(split, answer)) {
        return answer;
    }
    for (const std::string_view candidate : ValueCandidates(split, {"+CIMI"})) {
        if (candidate.size() >= 6 && candidate.size() <= 15 && AllOf(candidate, kDigits)) {
            return Read(std::string(candidate));
        }
    }
    return answer;
}

QueryAnswer<std::string> ParseIdentityText(std::string_view text, std::string_view command) {
    const SplitLines split = SplitAnswer(text, command);
    QueryAnswer<std::string> answer;
    if (!Usable(split, answer)) {
        return answer;
    }
    const std::string_view prefix = PrefixOf(command);
    for (const std::string& line : split.lines) {
        std::string_view l = line;
        if (StartsWithNoCase(l, prefix) && l.size() > prefix.size() && l[prefix.size()] == ':') {
            l.remove_prefix(prefix.size() + 1);
        } else if (LooksUnsolicited(l)) {
            continue;
        }
        l = Unquoted(l);
        if (l.empty() || l.size() > kMaxTextValue) {
            return answer;
        }
        return Read(EscapeModuleText(l));
    }
    return answer;
}
