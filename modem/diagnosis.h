// Why is this unit not online, and which unit is it: both answered by the device's cellular module. The
// device passes "DTU+CONFIG=CMD:<command>\r" to its module and answers "+CONFIG CMD:" with the module's
// answer. A front end (the command line, the window) implements IModuleLink over its port: it sends
// ModuleCommandFrame, reads until ModuleAnswerComplete or its own time-out, and returns the text.
// RunDiagnosis asks the queries of module_queries.h through it one at a time, reads each answer with its
// parser into an item (value, meaning or grade from signal_quality.h, the raw answer escaped), and from
// the items draws one verdict and the unit's identity. Nothing here owns a port, a thread or a clock, so
// the whole run is tested over a scripted link.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "modem/modem_words.h"
#include "modem/signal_quality.h"

class IModuleLink {
  public:
    virtual ~IModuleLink() = default;
    // Sends atCommand ("AT+CSQ") to the module through the device; the answer text, or nullopt when none
    // came.
    virtual std::optional<std::string> Ask(std::string_view atCommand) = 0;
};

enum class ItemStatus { Ok, ModuleError, Unreadable, NoAnswer, NotAsked };

struct DiagnosisItem {
    std::string name;     // "SIM", "IMEI", "Signal (CSQ)", ...
    std::string command;  // what was asked; fallbacks joined by ", "
    ItemStatus status = ItemStatus::NotAsked;
    std::string value;    // Ok: as people read it; ModuleError: the error line as sent; else empty
    std::string meaning;  // the value's meaning or grade, the error's standard meaning, or why it is empty
    SignalGrade grade = SignalGrade::Unknown;  // the signal items
    std::string raw;  // the module's answer, escaped; answers to fallbacks joined by " | "
};

// For report columns; a field is empty where the module gave no readable answer.
struct ModuleIdentity {
    std::string imei;
    std::string iccid;
    std::string imsi;
    std::string firmware;
};

enum class Verdict {
    ModuleSilent,
    NoSim,
    PinNeeded,
    RegistrationDenied,
    NotRegistered,
    NoSignal,
    ApnDiffers,
    Undetermined,
    LooksFine,
};
std::string_view VerdictText(Verdict verdict);
std::string_view VerdictTextZh(Verdict verdict);

struct Diagnosis {
    std::vector<DiagnosisItem> items;
    Verdict verdict = Verdict::Undetermined;
    // What the verdict rests on, as the module said it: "LTE 2 (not registered, searching)".
    std::string verdictEvidence;
    // VerdictText and the evidence: "not registered on a network: LTE 2 (not registered, searching)".
    std::string verdictLine;
    ModuleIdentity identity;
};

// Queries stop after this many unanswered in a row: the device is gone, and each would wait its time-out.
inline constexpr int kUnansweredBeforeGivingUp = 3;

// recordApn: the APN the unit's record holds (GBK bytes as stored; ends at a zero byte), compared with the
// module's contexts; empty to skip that check.
// language: the words of names, meanings and the verdict line (values and raw answers are the module's).
Diagnosis RunDiagnosis(IModuleLink& link, std::string_view recordApn,
                       ModemLanguage language = ModemLanguage::English);

// Whether two APNs name the same network: without regard to case, and with the operator part
// ".mncNNN.mccNNN.gprs" that some modules add left off.
bool SameApn(std::string_view a, std::string_view b);
