#include "modem/diagnosis.h"

#include <algorithm>
#include <initializer_list>
#include <tuple>
#include <utility>

#include "modem/module_answer.h"
#include "modem/module_queries.h"
#include "modem/query_fields.h"

namespace {

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string LowerCopy(std::string_view s) {
    std::string out;
    for (const char c : s) {
        out += Lower(c);
    }
    return out;
}

using query_fields::Trim;

// "cmnet.mnc002.mcc460.gprs" -> "cmnet".
std::string_view WithoutOperatorPart(std::string_view apn) {
    const std::size_t at = apn.find(".mnc");
    if (at == std::string_view::npos) {
        return apn;
    }
    const std::string_view tail = apn.substr(at);
    if (tail.size() == 19 && tail.substr(7, 4) == ".mcc" && tail.substr(14) == ".gprs") {
        return apn.substr(0, at);
    }
    return apn;
}

// Asks through the link, counting unanswered queries in a row; after too many it stops asking.
class Asker {
  public:
    explicit Asker(IModuleLink& link) : m_link(link) {}

    bool GaveUp() const { return m_unanswered >= kUnansweredBeforeGivingUp; }

    std::optional<std::string> Ask(std::string_view command) {
        m_sent = !GaveUp();
        if (!m_sent) {
            return std::nullopt;
        }
        std::optional<std::string> answer = m_link.Ask(command);
        m_unanswered = answer ? 0 : m_unanswered + 1;
        m_anyAnswer = m_anyAnswer || answer.has_value();
        return answer;
    }

    bool AnyAnswer() const { return m_anyAnswer; }
    // Whether the last Ask went to the module, or was skipped after giving up.
    bool Sent() const { return m_sent; }

  private:
    IModuleLink& m_link;
    int m_unanswered = 0;
    bool m_anyAnswer = false;
    bool m_sent = false;
};

DiagnosisItem NewItem(std::string_view name, std::string_view command) {
    DiagnosisItem item;
    item.name = name;
    item.command = command;
    return item;
}

// Fills an item's status from a parsed answer; true when it holds a value to show.
template <class T>
bool Judge(DiagnosisItem& item, const std::optional<std::string>& raw, const QueryAnswer<T>& answer,
           bool sent) {
    if (!raw) {
        item.status = sent ? ItemStatus::NoAnswer : ItemStatus::NotAsked;
        item.meaning = sent ? "no answer" : "not asked: the module stopped answering";
        return false;
    }
    item.raw = EscapeModuleText(*raw);
    switch (answer.status) {
        case AnswerStatus::Ok:
            item.status = ItemStatus::Ok;
            return true;
        case AnswerStatus::ModuleError:
            item.status = ItemStatus::ModuleError;
            item.value = answer.error;
            item.meaning = answer.errorMeaning;
            return false;
        case AnswerStatus::Unreadable:
            break;
    }
    item.status = ItemStatus::Unreadable;
    item.meaning = "unreadable answer";
    return false;
}

std::string RegistrationValue(const Registration& reg) {
    std::string value = std::to_string(reg.stat);
    if (!reg.area.empty() || !reg.cell.empty()) {
        value += ", area " + reg.area + ", cell " + reg.cell;
    }
    return value;
}

std::string TechnologyText(int act) {
    const std::string_view meaning = AccessTechnologyMeaning(act);
    return meaning.empty() ? "access technology " + std::to_string(act) + " (not a standard number)"
                           : std::string(meaning);
}

struct Findings {
    std::optional<SimStatus> sim;
    std::vector<std::optional<int>> errorCodes;  // of every module error
    struct Reg {
        std::string_view label;
        std::optional<Registration> value;
    };
    std::vector<Reg> registrations;
    std::optional<Csq> csq;
    std::optional<Cesq> cesq;
    std::optional<std::vector<PdpContext>> contexts;
};

template <class T>
void NoteError(Findings& findings, const QueryAnswer<T>& answer) {
    if (answer.status == AnswerStatus::ModuleError) {
        findings.errorCodes.push_back(answer.errorCode);
    }
}

// The first module error among codes, as evidence: "+CME ERROR: 10 (SIM not inserted)".
std::optional<std::string> ErrorAmong(const Findings& findings, std::initializer_list<int> codes) {
    for (const std::optional<int>& code : findings.errorCodes) {
        if (code && std::find(codes.begin(), codes.end(), *code) != codes.end()) {
            return "+CME ERROR: " + std::to_string(*code) + " (" + std::string(CmeErrorMeaning(*code)) + ")";
        }
    }
    return std::nullopt;
}

std::pair<Verdict, std::string> Decide(const Findings& f, bool anyAnswer, std::string_view recordApn) {
    if (!anyAnswer) {
        return {Verdict::ModuleSilent, "no query got an answer"};
    }
    if (f.sim && f.sim->state == SimState::NotInserted) {
        return {Verdict::NoSim, "+CPIN: " + f.sim->code};
    }
    if (const auto error = ErrorAmong(f, {10, 13, 15})) {
        return {Verdict::NoSim, *error};
    }
    if (f.sim && (f.sim->state == SimState::PinRequired || f.sim->state == SimState::PukRequired)) {
        return {Verdict::PinNeeded, "+CPIN: " + f.sim->code};
    }
    if (const auto error = ErrorAmong(f, {5, 11, 12})) {
        return {Verdict::PinNeeded, *error};
    }
    for (const Findings::Reg& reg : f.registrations) {
        if (reg.value && reg.value->stat == 3) {
            return {Verdict::RegistrationDenied, std::string(reg.label) + " 3 (registration denied)"};
        }
    }
    bool known = false;
    bool registered = false;
    std::string states;
    for (const Findings::Reg& reg : f.registrations) {
        if (!reg.value) {
            continue;
        }
        known = true;
        registered = registered || IsRegistered(reg.value->stat);
        states += (states.empty() ? "" : ", ") + std::string(reg.label) + " " +
                  std::to_string(reg.value->stat) + " (" + std::string(RegistrationMeaning(reg.value->stat)) +
                  ")";
    }
    const bool noSignal = f.csq && CsqGrade(f.csq->rssi) == SignalGrade::None;
    // On LTE AT+CSQ often says 99 while AT+CESQ has the real level.
    std::string signal = f.csq ? "CSQ " + std::to_string(f.csq->rssi) : std::string();
    if (f.cesq && RsrpLevel(f.cesq->rsrp).known) {
        signal += (signal.empty() ? "RSRP " : ", RSRP ") + LevelText(RsrpLevel(f.cesq->rsrp));
    }
    if (known && !registered) {
        if (noSignal) {
            return {Verdict::NoSignal, signal + "; " + states};
        }
        return {Verdict::NotRegistered, states};
    }
    if (f.contexts && !recordApn.empty()) {
        bool anyApn = false;
        bool match = false;
        std::string apns;
        const std::string record = EscapeModuleText(recordApn);
        for (const PdpContext& context : *f.contexts) {
            if (context.apn.empty()) {
                continue;
            }
            anyApn = true;
            match = match || SameApn(context.apn, record);
            apns += (apns.empty() ? "\"" : ", \"") + context.apn + "\"";
        }
        if (anyApn && !match) {
            return {Verdict::ApnDiffers, "module " + apns + ", record \"" + record + "\""};
        }
    }
    if (noSignal) {
        return {Verdict::NoSignal, signal};
    }
    if (!known) {
        return {Verdict::Undetermined, "no registration state could be read"};
    }
    return {Verdict::LooksFine, states + (signal.empty() ? "" : "; " + signal)};
}

}  // namespace

bool SameApn(std::string_view a, std::string_view b) {
    return LowerCopy(WithoutOperatorPart(Trim(a))) == LowerCopy(WithoutOperatorPart(Trim(b)));
}

std::string_view VerdictText(Verdict verdict) {
    switch (verdict) {
        case Verdict::ModuleSilent:
            return "the module does not answer";
        case Verdict::NoSim:
            return "no usable SIM";
        case Verdict::PinNeeded:
            return "the SIM asks for its PIN";
        case Verdict::RegistrationDenied:
            return "the network denies registration";
        case Verdict::NotRegistered:
            return "not registered on a network";
        case Verdict::NoSignal:
            return "no signal";
        case Verdict::ApnDiffers:
            return "the module's APN differs from the record's";
        case Verdict::Undetermined:
            return "cannot tell";
        case Verdict::LooksFine:
            break;
    }
    return "looks fine";
}

std::string_view VerdictTextZh(Verdict verdict) {
    switch (verdict) {
        case Verdict::ModuleSilent:
            return "模块无应答";
        case Verdict::NoSim:
            return "未检测到可用的SIM卡";
        case Verdict::PinNeeded:
            return "SIM卡需要PIN码";
        case Verdict::RegistrationDenied:
            return "网络拒绝注册";
        case Verdict::NotRegistered:
            return "未注册到网络";
        case Verdict::NoSignal:
            return "无信号";
        case Verdict::ApnDiffers:
            return "模块的APN与参数中的APN不一致";
        case Verdict::Undetermined:
            return "无法判断";
        case Verdict::LooksFine:
            break;
    }
    return "看起来正常";
}

Diagnosis RunDiagnosis(IModuleLink& link, std::string_view recordApn) {
    recordApn = Trim(recordApn.substr(0, recordApn.find('\0')));
    Asker asker(link);
    Diagnosis d;
    Findings f;
    std::vector<DiagnosisItem>& items = d.items;

    {
        DiagnosisItem item = NewItem("SIM", kQuerySim);
        const auto raw = asker.Ask(kQuerySim);
        const auto answer = ParseSimStatus(raw.value_or(""));
        if (Judge(item, raw, answer, asker.Sent())) {
            item.value = answer.value.code;
            item.meaning = SimStateMeaning(answer.value.state);
            f.sim = answer.value;
        }
        NoteError(f, answer);
        items.push_back(std::move(item));
    }
    {
        DiagnosisItem item = NewItem("IMEI", kQueryImei);
        const auto raw = asker.Ask(kQueryImei);
        const auto answer = ParseImei(raw.value_or(""));
        if (Judge(item, raw, answer, asker.Sent())) {
            item.value = answer.value.digits;
            item.meaning = answer.value.checkDigitOk ? "check digit correct" : "check digit wrong";
            d.identity.imei = answer.value.digits;
        }
        NoteError(f, answer);
        items.push_back(std::move(item));
    }
    {
        // Modules name the ICCID query differently; the SIM's own file is the last resort.
        DiagnosisItem item = NewItem("ICCID", "");
        std::string raws;
        for (const std::string_view command : {kQueryIccid, kQueryIccidAlt, kQueryIccidSim}) {
            if (!item.command.empty() && asker.GaveUp()) {
                break;
            }
            const auto raw = asker.Ask(command);
            item.value.clear();
            item.meaning.clear();
            item.raw.clear();
            const auto answer = command == kQueryIccidSim ? ParseIccidFromSim(raw.value_or(""))
                                                          : ParseIccid(raw.value_or(""), command);
            item.command += (item.command.empty() ? "" : ", ") + std::string(command);
            const bool ok = Judge(item, raw, answer, asker.Sent());
            raws += (raws.empty() ? "" : " | ") + item.raw;
            if (ok) {
                item.value = answer.value;
                item.meaning = command == kQueryIccidSim ? "read from the SIM's file" : "";
                d.identity.iccid = answer.value;
                break;
            }
            NoteError(f, answer);
        }
        item.raw = raws;
        items.push_back(std::move(item));
    }
    {
        DiagnosisItem item = NewItem("IMSI", kQueryImsi);
        const auto raw = asker.Ask(kQueryImsi);
        const auto answer = ParseImsi(raw.value_or(""));
        if (Judge(item, raw, answer, asker.Sent())) {
            item.value = answer.value;
            item.meaning = "country code (MCC) " + answer.value.substr(0, 3);
            d.identity.imsi = answer.value;
        }
        NoteError(f, answer);
        items.push_back(std::move(item));
    }
    for (const auto& [name, command] :
         {std::pair{"Manufacturer", kQueryManufacturer}, std::pair{"Model", kQueryModel},
          std::pair{"Firmware", kQueryFirmware}}) {
        DiagnosisItem item = NewItem(name, command);
        const auto raw = asker.Ask(command);
        const auto answer = ParseIdentityText(raw.value_or(""), command);
        if (Judge(item, raw, answer, asker.Sent())) {
            item.value = answer.value;
            if (command == kQueryFirmware) {
                d.identity.firmware = answer.value;
            }
        }
        NoteError(f, answer);
        items.push_back(std::move(item));
    }
    {
        DiagnosisItem item = NewItem("Operator", kQueryOperator);
        const auto raw = asker.Ask(kQueryOperator);
        const auto answer = ParseOperator(raw.value_or(""));
        if (Judge(item, raw, answer, asker.Sent())) {
            const Operator& op = answer.value;
            item.value = op.format ? op.name : "none";
            item.meaning = OperatorModeMeaning(op.mode);
            if (op.format) {
                item.meaning += ", " + std::string(OperatorFormatMeaning(*op.format));
            } else {
                item.meaning += ", no operator selected";
            }
            if (op.accessTechnology) {
                item.meaning += ", " + TechnologyText(*op.accessTechnology);
            }
        }
        NoteError(f, answer);
        items.push_back(std::move(item));
    }
    for (const auto& [name, label, command] :
         {std::tuple{"Registration (CS)", "CS", kQueryCsRegistration},
          std::tuple{"Registration (GPRS)", "GPRS", kQueryGprsRegistration},
          std::tuple{"Registration (LTE)", "LTE", kQueryEpsRegistration}}) {
        DiagnosisItem item = NewItem(name, command);
        const auto raw = asker.Ask(command);
        const auto answer = ParseRegistration(raw.value_or(""), command);
        Findings::Reg reg{label, std::nullopt};
        if (Judge(item, raw, answer, asker.Sent())) {
            item.value = RegistrationValue(answer.value);
            item.meaning = RegistrationMeaning(answer.value.stat);
            if (answer.value.accessTechnology) {
                item.meaning += ", " + TechnologyText(*answer.value.accessTechnology);
            }
            reg.value = answer.value;
        }
        NoteError(f, answer);
        f.registrations.push_back(reg);
        items.push_back(std::move(item));
    }
    {
        DiagnosisItem item = NewItem("Signal (CSQ)", kQueryCsq);
        const auto raw = asker.Ask(kQueryCsq);
        const auto answer = ParseCsq(raw.value_or(""));
        if (Judge(item, raw, answer, asker.Sent())) {
            item.value =
                LevelText(CsqLevel(answer.value.rssi)) + " (CSQ " + std::to_string(answer.value.rssi) + ")";
            item.grade = CsqGrade(answer.value.rssi);
            item.meaning = GradeName(item.grade);
            f.csq = answer.value;
        }
        NoteError(f, answer);
        items.push_back(std::move(item));
    }
    {
        DiagnosisItem item = NewItem("Signal (CESQ)", kQueryCesq);
        const auto raw = asker.Ask(kQueryCesq);
        const auto answer = ParseCesq(raw.value_or(""));
        if (Judge(item, raw, answer, asker.Sent())) {
            const Cesq& c = answer.value;
            const SignalLevel rsrp = RsrpLevel(c.rsrp);
            // The values of the radio the module is on; the others it reports as not known.
            if (rsrp.known) {
                item.value = "RSRP " + LevelText(rsrp) + ", RSRQ " + LevelText(RsrqLevel(c.rsrq));
            } else if (RscpLevel(c.rscp).known) {
                item.value =
                    "RSCP " + LevelText(RscpLevel(c.rscp)) + ", Ec/No " + LevelText(EcnoLevel(c.ecno));
            } else if (RxlevLevel(c.rxlev).known) {
                item.value = "RXLEV " + LevelText(RxlevLevel(c.rxlev));
            } else {
                item.value = "unknown";
            }
            item.grade = RsrpGrade(rsrp);
            item.meaning = GradeName(item.grade);
            f.cesq = c;
        }
        NoteError(f, answer);
        items.push_back(std::move(item));
    }
    {
        DiagnosisItem item = NewItem("APN", kQueryContexts);
        const auto raw = asker.Ask(kQueryContexts);
        const auto answer = ParseContexts(raw.value_or(""));
        if (Judge(item, raw, answer, asker.Sent())) {
            for (const PdpContext& context : answer.value) {
                item.value += (item.value.empty() ? "" : "; ") + std::to_string(context.cid) + ": " +
                              context.type + " \"" + context.apn + "\"";
            }
            if (answer.value.empty()) {
                item.value = "none";
                item.meaning = "no context defined";
            } else if (!recordApn.empty()) {
                const std::string record = EscapeModuleText(recordApn);
                const bool match = std::any_of(answer.value.begin(), answer.value.end(),
                                               [&](const PdpContext& c) { return SameApn(c.apn, record); });
                item.meaning =
                    match ? "the record's APN is among them" : "differs from the record's \"" + record + "\"";
            }
            f.contexts = answer.value;
        }
        NoteError(f, answer);
        items.push_back(std::move(item));
    }

    const auto [verdict, evidence] = Decide(f, asker.AnyAnswer(), recordApn);
    d.verdict = verdict;
    d.verdictEvidence = evidence;
    d.verdictLine = std::string(VerdictText(verdict)) + ": " + evidence;
    return d;
}
