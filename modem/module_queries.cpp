#include "modem/module_queries.h"

#include <algorithm>
#include <array>
#include <utility>

#include "modem/module_answer.h"

namespace {

// Longest text from the module taken as a value; more is not a name, model or APN but noise.
constexpr std::size_t kMaxTextValue = 100;

char Upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), text.begin(),
                                                      [](char a, char b) { return Upper(a) == Upper(b); });
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) {
        s.remove_suffix(1);
    }
    return s;
}

bool AllOf(std::string_view s, std::string_view chars) {
    return s.find_first_not_of(chars) == std::string_view::npos;
}

constexpr std::string_view kDigits = "0123456789";
constexpr std::string_view kHexDigits = "0123456789ABCDEFabcdef";

struct Field {
    std::string_view text;
    bool quoted = false;
};

// Comma-separated fields, each trimmed, quotes taken off; commas inside quotes belong to the field.
// nullopt for an unclosed quote or text after a closing quote.
std::optional<std::vector<Field>> SplitFields(std::string_view body) {
    std::vector<Field> fields;
    std::size_t i = 0;
    while (true) {
        while (i < body.size() && (body[i] == ' ' || body[i] == '\t')) {
            ++i;
        }
        Field field;
        if (i < body.size() && body[i] == '"') {
            const std::size_t close = body.find('"', i + 1);
            if (close == std::string_view::npos) {
                return std::nullopt;
            }
            field.text = body.substr(i + 1, close - i - 1);
            field.quoted = true;
            i = close + 1;
            while (i < body.size() && (body[i] == ' ' || body[i] == '\t')) {
                ++i;
            }
            if (i < body.size() && body[i] != ',') {
                return std::nullopt;
            }
        } else {
            const std::size_t comma = std::min(body.find(',', i), body.size());
            field.text = Trim(body.substr(i, comma - i));
            i = comma;
        }
        fields.push_back(field);
        if (i >= body.size()) {
            return fields;
        }
        ++i;  // the comma
    }
}

std::optional<int> Number(const Field& field) {
    const std::string_view t = field.text;
    if (t.empty() || t.size() > 5 || !AllOf(t, kDigits)) {
        return std::nullopt;
    }
    int n = 0;
    for (const char c : t) {
        n = n * 10 + (c - '0');
    }
    return n;
}

std::optional<int> NumberIn(const Field& field, int lowest, int highest) {
    const std::optional<int> n = Number(field);
    if (!n || *n < lowest || *n > highest) {
        return std::nullopt;
    }
    return n;
}

// Whether n is in [lowest, highest] or is the "not known" value.
std::optional<int> IndexIn(const Field& field, int highest, int notKnown) {
    const std::optional<int> n = Number(field);
    if (!n || (*n > highest && *n != notKnown)) {
        return std::nullopt;
    }
    return n;
}

// The text after "<prefix>:" of each line that starts with it, prefix matched without regard to case.
std::vector<std::string_view> Bodies(const SplitLines& split, std::string_view prefix) {
    std::vector<std::string_view> bodies;
    for (const std::string& line : split.lines) {
        const std::string_view l = line;
        if (StartsWithNoCase(l, prefix) && l.size() > prefix.size() && l[prefix.size()] == ':') {
            bodies.push_back(Trim(l.substr(prefix.size() + 1)));
        }
    }
    return bodies;
}

// "+CGMI" from "AT+CGMI", "+CREG" from "AT+CREG?".
std::string_view PrefixOf(std::string_view command) {
    if (StartsWithNoCase(command, "AT")) {
        command.remove_prefix(2);
    }
    const std::size_t end = command.find_first_of("?=");
    return command.substr(0, end);
}

std::string_view Unquoted(std::string_view s) {
    s = Trim(s);
    if (s.size() >= 2 && s.front() == '"' && s.back() == '"') {
        s = s.substr(1, s.size() - 2);
    }
    return Trim(s);
}

// A line modules send on their own: "+CREG: 1", "^SIMST: 1", "RDY", "Call Ready".
bool LooksUnsolicited(std::string_view line) {
    static constexpr std::string_view kWords[] = {"RDY", "Call Ready", "SMS Ready", "PB DONE",
                                                  "NORMAL POWER DOWN"};
    if (!line.empty() &&
        (line.front() == '+' || line.front() == '^' || line.front() == '%' || line.front() == '#')) {
        return true;
    }
    return std::find(std::begin(kWords), std::end(kWords), line) != std::end(kWords);
}

// Starts an answer from the split lines: a module error fills it and returns false.
template <class T>
bool Usable(const SplitLines& split, QueryAnswer<T>& answer) {
    if (split.final == FinalResult::Error || split.final == FinalResult::CmeError ||
        split.final == FinalResult::CmsError) {
        answer.status = AnswerStatus::ModuleError;
        answer.error = split.finalLine;
        answer.errorMeaning = ErrorMeaning(split);
        answer.errorCode = split.errorCode;
        return false;
    }
    return true;
}

template <class T>
QueryAnswer<T> Read(T value) {
    QueryAnswer<T> answer;
    answer.status = AnswerStatus::Ok;
    answer.value = std::move(value);
    return answer;
}

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

std::string_view SimStateMeaning(SimState state) {
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

std::string_view OperatorModeMeaning(int mode) {
    static constexpr std::string_view kModes[] = {"automatic", "manual", "deregistered from the network",
                                                  "format only", "manual, then automatic"};
    return mode >= 0 && mode < 5 ? kModes[mode] : std::string_view();
}

std::string_view OperatorFormatMeaning(int format) {
    static constexpr std::string_view kFormats[] = {"long name", "short name", "numeric (MCC MNC)"};
    return format >= 0 && format < 3 ? kFormats[format] : std::string_view();
}

std::string_view AccessTechnologyMeaning(int act) {
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
    return act >= 0 && act < 14 ? kTechnologies[act] : std::string_view();
}

std::string_view RegistrationMeaning(int stat) {
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
    return stat >= 0 && stat < 11 ? kStates[stat] : std::string_view();
}

bool IsRegistered(int stat) {
    // SMS-only and emergency-only attachments do not carry the unit's data.
    return stat == 1 || stat == 5 || stat == 9 || stat == 10;
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
