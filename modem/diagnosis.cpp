#include "modem/diagnosis.h"

#include <algorithm>
#include <initializer_list>
#include <tuple>
#include <utility>

#include "modem/module_answer.h"
#include "modem/module_queries.h"
#include "modem/query_fields.h"
#include "res/texts.h"

namespace {

using query_fields::Trim;

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
           bool sent, ModemLanguage lang) {
    if (!raw) {
        item.status = sent ? ItemStatus::NoAnswer : ItemStatus::NotAsked;
        item.meaning = sent ? Say(lang, "no answer", kTextModemNoAnswer)
                            : Say(lang, "not asked: the module stopped answering", kTextModemNotAsked);
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
            item.meaning = lang == ModemLanguage::English
                               ? answer.errorMeaning
                               : ErrorLineMeaning(answer.error, answer.errorCode, lang);
            return false;
        case AnswerStatus::Unreadable:
            break;
    }
    item.status = ItemStatus::Unreadable;
    item.meaning = Say(lang, "unreadable answer", kTextModemUnreadable);
    return false;
}

// The separators of a list and of a remark in brackets, in each language.
std::string_view Comma(ModemLanguage lang) {
    return lang == ModemLanguage::Chinese ? "，" : ", ";
}

std::string InBrackets(ModemLanguage lang, std::string_view text) {
    return lang == ModemLanguage::Chinese ? "（" + std::string(text) + "）" : " (" + std::string(text) + ")";
}

std::string RegistrationValue(const Registration& reg, ModemLanguage lang) {
    std::string value = std::to_string(reg.stat);
    if (!reg.area.empty() || !reg.cell.empty()) {
        value += std::string(Comma(lang)) + std::string(Say(lang, "area", kTextModemArea)) + " " + reg.area +
                 std::string(Comma(lang)) + std::string(Say(lang, "cell", kTextModemCell)) + " " + reg.cell;
    }
    return value;
}

std::string TechnologyText(int act, ModemLanguage lang) {
    const std::string_view meaning = AccessTechnologyMeaning(act, lang);
    if (!meaning.empty()) {
        return std::string(meaning);
    }
    return lang == ModemLanguage::Chinese
               ? std::string(kTextModemAccessTechnology.utf8) + " " + std::to_string(act) +
                     std::string(kTextModemNotStandard.utf8)
               : "access technology " + std::to_string(act) + " (not a standard number)";
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
std::optional<std::string> ErrorAmong(const Findings& findings, std::initializer_list<int> codes,
                                      ModemLanguage lang) {
    for (const std::optional<int>& code : findings.errorCodes) {
        if (code && std::find(codes.begin(), codes.end(), *code) != codes.end()) {
            return "+CME ERROR: " + std::to_string(*code) + InBrackets(lang, CmeErrorMeaning(*code, lang));
        }
    }
    return std::nullopt;
}

std::string GradeText(SignalGrade grade, ModemLanguage lang) {
    return std::string(lang == ModemLanguage::Chinese ? GradeNameZh(grade) : GradeName(grade));
}

std::string Semicolon(ModemLanguage lang) {
    return lang == ModemLanguage::Chinese ? "；" : "; ";
}

std::pair<Verdict, std::string> Decide(const Findings& f, bool anyAnswer, std::string_view recordApn,
                                       ModemLanguage lang) {
    if (!anyAnswer) {
        return {Verdict::ModuleSilent,
                std::string(Say(lang, "no query got an answer", kTextModemNothingAnswered))};
    }
    if (f.sim && f.sim->state == SimState::NotInserted) {
        return {Verdict::NoSim, "+CPIN: " + f.sim->code};
    }
    if (const auto error = ErrorAmong(f, {10, 13, 15}, lang)) {
        return {Verdict::NoSim, *error};
    }
    if (f.sim && (f.sim->state == SimState::PinRequired || f.sim->state == SimState::PukRequired)) {
        return {Verdict::PinNeeded, "+CPIN: " + f.sim->code};
    }
    if (const auto error = ErrorAmong(f, {5, 11, 12}, lang)) {
        return {Verdict::PinNeeded, *error};
    }
    for (const Findings::Reg& reg : f.registrations) {
        if (reg.value && reg.value->stat == 3) {
            return {Verdict::RegistrationDenied,
                    std::string(reg.label) + " 3" + InBrackets(lang, RegistrationMeaning(3, lang))};
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
        states += std::string(states.empty() ? "" : Comma(lang)) + std::string(reg.label) + " " +
                  std::to_string(reg.value->stat) +
                  InBrackets(lang, RegistrationMeaning(reg.value->stat, lang));
    }
    const bool noSignal = f.csq && CsqGrade(f.csq->rssi) == SignalGrade::None;
    // On LTE AT+CSQ often says 99 while AT+CESQ has the real level.
    std::string signal = f.csq ? "CSQ " + std::to_string(f.csq->rssi) : std::string();
    if (f.cesq && RsrpLevel(f.cesq->rsrp).known) {
        signal += std::string(signal.empty() ? "" : Comma(lang)) + "RSRP " +
                  LevelText(RsrpLevel(f.cesq->rsrp), lang);
    }
    if (known && !registered) {
        if (noSignal) {
            return {Verdict::NoSignal, signal + Semicolon(lang) + states};
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
            apns += std::string(apns.empty() ? "" : Comma(lang)) + "\"" + context.apn + "\"";
        }
        if (anyApn && !match) {
            return {Verdict::ApnDiffers, std::string(Say(lang, "module", kTextModemModule)) + " " + apns +
                                             std::string(Comma(lang)) +
                                             std::string(Say(lang, "record", kTextModemRecord)) + " \"" +
                                             record + "\""};
        }
    }
    if (noSignal) {
        return {Verdict::NoSignal, signal};
    }
    if (!known) {
        return {Verdict::Undetermined,
                std::string(Say(lang, "no registration state could be read", kTextModemNoRegistration))};
    }
    return {Verdict::LooksFine, states + (signal.empty() ? "" : Semicolon(lang) + signal)};
}

}  // namespace

Diagnosis RunDiagnosis(IModuleLink& link, std::string_view recordApn, ModemLanguage lang) {
    recordApn = Trim(recordApn.substr(0, recordApn.find('\0')));
    Asker asker(link);
    Diagnosis d;
    Findings f;
    std::vector<DiagnosisItem>& items = d.items;

    {
        DiagnosisItem item = NewItem(Say(lang, "SIM", kTextModemItemSim), kQuerySim);
        const auto raw = asker.Ask(kQuerySim);
        const auto answer = ParseSimStatus(raw.value_or(""));
        if (Judge(item, raw, answer, asker.Sent(), lang)) {
            item.value = answer.value.code;
            item.meaning = SimStateMeaning(answer.value.state, lang);
            f.sim = answer.value;
        }
        NoteError(f, answer);
        items.push_back(std::move(item));
    }
    {
        DiagnosisItem item = NewItem(Say(lang, "IMEI", kTextModemItemImei), kQueryImei);
        const auto raw = asker.Ask(kQueryImei);
        const auto answer = ParseImei(raw.value_or(""));
        if (Judge(item, raw, answer, asker.Sent(), lang)) {
            item.value = answer.value.digits;
            item.meaning = answer.value.checkDigitOk
                               ? Say(lang, "check digit correct", kTextModemCheckDigitOk)
                               : Say(lang, "check digit wrong", kTextModemCheckDigitWrong);
            d.identity.imei = answer.value.digits;
        }
        NoteError(f, answer);
        items.push_back(std::move(item));
    }
    {
        // Modules name the ICCID query differently; the SIM's own file is the last resort.
        DiagnosisItem item = NewItem(Say(lang, "ICCID", kTextModemItemIccid), "");
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
            const bool ok = Judge(item, raw, answer, asker.Sent(), lang);
            raws += (raws.empty() ? "" : " | ") + item.raw;
            if (ok) {
                item.value = answer.value;
                item.meaning = command == kQueryIccidSim
                                   ? Say(lang, "read from the SIM's file", kTextModemFromSimFile)
                                   : "";
                d.identity.iccid = answer.value;
                break;
            }
            NoteError(f, answer);
        }
        item.raw = raws;
        items.push_back(std::move(item));
    }
    {
        DiagnosisItem item = NewItem(Say(lang, "IMSI", kTextModemItemImsi), kQueryImsi);
        const auto raw = asker.Ask(kQueryImsi);
        const auto answer = ParseImsi(raw.value_or(""));
        if (Judge(item, raw, answer, asker.Sent(), lang)) {
            item.value = answer.value;
            item.meaning = std::string(Say(lang, "country code (MCC) ", kTextModemCountryCode)) +
                           answer.value.substr(0, 3);
            d.identity.imsi = answer.value;
        }
        NoteError(f, answer);
        items.push_back(std::move(item));
    }
    for (const auto& [name, command] :
         {std::pair{Say(lang, "Manufacturer", kTextModemItemManufacturer), kQueryManufacturer},
          std::pair{Say(lang, "Model", kTextModemItemModel), kQueryModel},
          std::pair{Say(lang, "Firmware", kTextModemItemFirmware), kQueryFirmware}}) {
        DiagnosisItem item = NewItem(name, command);
        const auto raw = asker.Ask(command);
        const auto answer = ParseIdentityText(raw.value_or(""), command);
        if (Judge(item, raw, answer, asker.Sent(), lang)) {
            item.value = answer.value;
            if (command == kQueryFirmware) {
                d.identity.firmware = answer.value;
            }
        }
        NoteError(f, answer);
        items.push_back(std::move(item));
    }
    {
        DiagnosisItem item = NewItem(Say(lang, "Operator", kTextModemItemOperator), kQueryOperator);
        const auto raw = asker.Ask(kQueryOperator);
        const auto answer = ParseOperator(raw.value_or(""));
        if (Judge(item, raw, answer, asker.Sent(), lang)) {
            const Operator& op = answer.value;
            item.value = op.format ? op.name : std::string(Say(lang, "none", kTextModemNone));
            item.meaning = std::string(OperatorModeMeaning(op.mode, lang)) + std::string(Comma(lang));
            item.meaning += op.format ? OperatorFormatMeaning(*op.format, lang)
                                      : Say(lang, "no operator selected", kTextModemNoOperator);
            if (op.accessTechnology) {
                item.meaning += std::string(Comma(lang)) + TechnologyText(*op.accessTechnology, lang);
            }
        }
        NoteError(f, answer);
        items.push_back(std::move(item));
    }
    for (const auto& [name, label, command] :
         {std::tuple{Say(lang, "Registration (CS)", kTextModemItemRegCs), "CS", kQueryCsRegistration},
          std::tuple{Say(lang, "Registration (GPRS)", kTextModemItemRegGprs), "GPRS", kQueryGprsRegistration},
          std::tuple{Say(lang, "Registration (LTE)", kTextModemItemRegLte), "LTE", kQueryEpsRegistration}}) {
        DiagnosisItem item = NewItem(name, command);
        const auto raw = asker.Ask(command);
        const auto answer = ParseRegistration(raw.value_or(""), command);
        Findings::Reg reg{label, std::nullopt};
        if (Judge(item, raw, answer, asker.Sent(), lang)) {
            item.value = RegistrationValue(answer.value, lang);
            item.meaning = RegistrationMeaning(answer.value.stat, lang);
            if (answer.value.accessTechnology) {
                item.meaning +=
                    std::string(Comma(lang)) + TechnologyText(*answer.value.accessTechnology, lang);
            }
            reg.value = answer.value;
        }
        NoteError(f, answer);
        f.registrations.push_back(reg);
        items.push_back(std::move(item));
    }
    {
        DiagnosisItem item = NewItem(Say(lang, "Signal (CSQ)", kTextModemItemCsq), kQueryCsq);
        const auto raw = asker.Ask(kQueryCsq);
        const auto answer = ParseCsq(raw.value_or(""));
        if (Judge(item, raw, answer, asker.Sent(), lang)) {
            item.value = LevelText(CsqLevel(answer.value.rssi), lang) +
                         InBrackets(lang, "CSQ " + std::to_string(answer.value.rssi));
            item.grade = CsqGrade(answer.value.rssi);
            item.meaning = GradeText(item.grade, lang);
            f.csq = answer.value;
        }
        NoteError(f, answer);
        items.push_back(std::move(item));
    }
    {
        DiagnosisItem item = NewItem(Say(lang, "Signal (CESQ)", kTextModemItemCesq), kQueryCesq);
        const auto raw = asker.Ask(kQueryCesq);
        const auto answer = ParseCesq(raw.value_or(""));
        if (Judge(item, raw, answer, asker.Sent(), lang)) {
            const Cesq& c = answer.value;
            const SignalLevel rsrp = RsrpLevel(c.rsrp);
            // The values of the radio the module is on; the others it reports as not known.
            const std::string comma(Comma(lang));
            // Grades are those of RSRP; a 2G or 3G level is shown without one.
            bool graded = true;
            if (rsrp.known) {
                item.value =
                    "RSRP " + LevelText(rsrp, lang) + comma + "RSRQ " + LevelText(RsrqLevel(c.rsrq), lang);
            } else if (RscpLevel(c.rscp).known) {
                item.value = "RSCP " + LevelText(RscpLevel(c.rscp), lang) + comma + "Ec/No " +
                             LevelText(EcnoLevel(c.ecno), lang);
                graded = false;
            } else if (RxlevLevel(c.rxlev).known) {
                item.value = "RXLEV " + LevelText(RxlevLevel(c.rxlev), lang);
                graded = false;
            } else {
                item.value = Say(lang, "unknown", kTextModemUnknown);
            }
            item.grade = RsrpGrade(rsrp);
            item.meaning = graded ? GradeText(item.grade, lang) : std::string();
            f.cesq = c;
        }
        NoteError(f, answer);
        items.push_back(std::move(item));
    }
    {
        DiagnosisItem item = NewItem(Say(lang, "APN", kTextModemItemApn), kQueryContexts);
        const auto raw = asker.Ask(kQueryContexts);
        const auto answer = ParseContexts(raw.value_or(""));
        if (Judge(item, raw, answer, asker.Sent(), lang)) {
            for (const PdpContext& context : answer.value) {
                item.value += (item.value.empty() ? "" : Semicolon(lang)) + std::to_string(context.cid) +
                              ": " + context.type + " \"" + context.apn + "\"";
            }
            if (answer.value.empty()) {
                item.value = Say(lang, "none", kTextModemNone);
                item.meaning = Say(lang, "no context defined", kTextModemNoContext);
            } else if (!recordApn.empty()) {
                const std::string record = EscapeModuleText(recordApn);
                const bool match = std::any_of(answer.value.begin(), answer.value.end(),
                                               [&](const PdpContext& c) { return SameApn(c.apn, record); });
                item.meaning =
                    match ? std::string(Say(lang, "the record's APN is among them", kTextModemApnMatches))
                          : std::string(Say(lang, "differs from the record's ", kTextModemApnDiffers)) +
                                "\"" + record + "\"";
            }
            f.contexts = answer.value;
        }
        NoteError(f, answer);
        items.push_back(std::move(item));
    }

    const auto [verdict, evidence] = Decide(f, asker.AnyAnswer(), recordApn, lang);
    d.verdict = verdict;
    d.verdictEvidence = evidence;
    d.verdictLine = lang == ModemLanguage::Chinese ? std::string(VerdictTextZh(verdict)) + "：" + evidence
                                                   : std::string(VerdictText(verdict)) + ": " + evidence;
    return d;
}
