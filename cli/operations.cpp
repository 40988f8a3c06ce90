#include "cli/operations.h"

#include <algorithm>
#include <span>
#include <string_view>
#include <thread>

#include "cli/device_session.h"
#include "cli/module_link.h"
#include "modem/module_queries.h"
#include "protocol/command_exchange.h"

namespace {

using Status = ExchangeOutcome::Status;

// The largest answers each command may get, for their time on the line: the record behind "+CONFIG=", a
// short text otherwise.
constexpr std::size_t kRecordAnswerBytes = 8 + kDeviceParamsSize;
constexpr std::size_t kShortAnswerBytes = 99;

std::span<const uint8_t> Bytes(std::string_view text) {
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

// One port's run: the session, its result, and the steps every operation shares.
class CPortRun {
  public:
    CPortRun(const char* command, const PortTarget& target, const RunSettings& settings, IProgress& progress)
        : m_settings(settings), m_progress(progress), m_session(settings.line, settings.answerTime) {
        m_result.command = command;
        m_result.target = target;
    }

    PortResult& Result() { return m_result; }

    PortResult Finish(Outcome outcome, std::string message) {
        m_result.outcome = outcome;
        m_result.message = std::move(message);
        return m_result;
    }

    bool Open() {
        if (Stopped("before the port was opened; nothing was sent")) {
            return false;
        }
        Step("opening " + m_result.target.path);
        std::string error;
        if (m_session.Open(m_result.target.engineNumber, error)) {
            return true;
        }
        if (!m_session.Errors().empty()) {
            Finish(Outcome::PortError,
                   "the port refused its settings: " + Flatten(m_session.Errors().front()));
            return false;
        }
        const PortProbe probe = ProbePort(m_result.target);
        const Outcome outcome = probe.state == PortState::Missing ? Outcome::PortMissing
                                : probe.state == PortState::Held  ? Outcome::PortBusy
                                                                  : Outcome::PortError;
        Finish(outcome, m_result.target.path + ": " + PortProbeText(probe));
        return false;
    }

    enum class ReadEnd { Read, Failed, Lost, Stopped };

    // Reads the device's record, trying again after a read that brought no whole, intact record; why
    // says what the last failed attempt got.
    ReadEnd TryReadRecord(const std::string& what, std::string& why) {
        for (int attempt = 0; attempt <= m_settings.retries; ++attempt) {
            if (Stopped("before " + what)) {
                return ReadEnd::Stopped;
            }
            Step(attempt == 0 ? what : what + ", again (" + std::to_string(attempt + 1) + ")");
            const ExchangeOutcome out =
                m_session.Exchange(Bytes(kCmdReadParams), kRecordAnswerBytes, AnswerKind::Record);
            if (out.status == Status::Answered) {
                m_result.record = DeviceParams::FromBytes(out.answer.record);
                return ReadEnd::Read;
            }
            if (out.status == Status::PortLost) {
                why = LostText();
                return ReadEnd::Lost;
            }
            why = out.status == Status::Damaged ? out.answer.note
                                                : "no whole record in time, " + out.answer.note;
            if (m_settings.verbose && attempt < m_settings.retries) {
                Step(what + " failed: " + why + "; trying again");
            }
        }
        return ReadEnd::Failed;
    }

    bool ReadRecord(const std::string& what) {
        std::string why;
        switch (TryReadRecord(what, why)) {
            case ReadEnd::Read:
                return true;
            case ReadEnd::Lost:
                return Lost();
            case ReadEnd::Stopped:
                return false;
            case ReadEnd::Failed:
                break;
        }
        Finish(Outcome::NoAnswer,
               "no intact parameter record in answer to " + Reads() + " (the last: " + why + ")");
        return false;
    }

    // Asks for the signal once (or with retries, when the signal is what was asked for); the answer, or
    // nullopt when none came whole.
    std::optional<ScannedAnswer> QuerySignal(int retries) {
        for (int attempt = 0; attempt <= retries; ++attempt) {
            if (m_progress.Stopping()) {
                return std::nullopt;
            }
            Step(attempt == 0 ? "asking for the signal"
                              : "asking for the signal, again (" + std::to_string(attempt + 1) + ")");
            const ExchangeOutcome out =
                m_session.Exchange(Bytes(kCmdSignalQuery), kShortAnswerBytes, AnswerKind::Signal);
            if (out.status == Status::Answered) {
                m_result.signal = out.answer.csq;
                return out.answer;
            }
            if (out.status == Status::PortLost) {
                Lost();
                return std::nullopt;
            }
            if (m_settings.verbose && attempt < retries) {
                Step("the signal query failed: no whole answer in time, " + out.answer.note +
                     "; trying again");
            }
        }
        return std::nullopt;
    }

    // The module's identity for the report; a unit that does not answer keeps empty fields, never fails.
    void AskIdentity() {
        if (m_progress.Stopping() || m_result.outcome != Outcome::Ok) {
            return;
        }
        Step("asking the module who it is");
        CSessionModuleLink link = Link();
        m_result.identity = AskModuleIdentity(link);
    }

    CSessionModuleLink Link() {
        return CSessionModuleLink(m_session, [this] { return m_progress.Stopping(); });
    }

    // Sends a command that changes the device, once.
    ExchangeOutcome SendOnce(std::span<const uint8_t> command, AnswerKind wanted) {
        return m_session.Exchange(command, kShortAnswerBytes, wanted);
    }

    std::string LostText() const {
        const std::string why =
            m_session.Errors().empty() ? std::string() : ": " + Flatten(m_session.Errors().back());
        return "the device went away" + why;
    }

    bool Lost() {
        Finish(Outcome::PortError, LostText());
        return false;
    }

    std::string Reads() const {
        const int n = m_settings.retries + 1;
        return std::to_string(n) + (n == 1 ? " read" : " reads");
    }

    void Step(const std::string& text) { m_progress.Step(m_result.target, text); }

    // Ends the port's run as interrupted when the run is to stop; what is known so far stays.
    bool Stopped(const std::string& when) {
        if (!m_progress.Stopping()) {
            return false;
        }
        Finish(Outcome::Interrupted, "interrupted " + when);
        return true;
    }

  private:
    // The engine's error text spans lines; a report cell and a progress line want one.
    static std::string Flatten(std::string text) {
        for (char& c : text) {
            if (c == '\n') {
                c = ' ';
            }
        }
        while (!text.empty() && text.back() == ' ') {
            text.pop_back();
        }
        return text;
    }

    const RunSettings& m_settings;
    IProgress& m_progress;
    PortResult m_result;
    CDeviceSession m_session;
};

std::string DifferenceText(const std::vector<FieldDifference>& differences) {
    std::string text;
    for (const FieldDifference& d : differences) {
        text += (text.empty() ? "" : "; ") + std::string(d.field) + ": sent \"" + d.expected +
                "\", device holds \"" + d.actual + "\"";
    }
    return text;
}

}  // namespace

int ExitCodeOf(Outcome outcome) {
    switch (outcome) {
        case Outcome::Ok:
        case Outcome::DryRun:
            return 0;
        case Outcome::Refused:
        case Outcome::VerifyFailed:
        case Outcome::SavedUnverified:
        case Outcome::DeviceValue:
            return 1;
        case Outcome::PortMissing:
        case Outcome::PortBusy:
        case Outcome::PortError:
            return 3;
        case Outcome::NoAnswer:
            return 4;
        case Outcome::Interrupted:
            return 130;
    }
    return 1;
}

std::string_view OutcomeText(Outcome outcome) {
    switch (outcome) {
        case Outcome::Ok:
            return "ok";
        case Outcome::Refused:
            return "refused";
        case Outcome::VerifyFailed:
            return "differs";
        case Outcome::SavedUnverified:
            return "saved-unverified";
        case Outcome::DeviceValue:
            return "device-value";
        case Outcome::NoAnswer:
            return "no-answer";
        case Outcome::PortMissing:
            return "port-missing";
        case Outcome::PortBusy:
            return "port-busy";
        case Outcome::PortError:
            return "port-error";
        case Outcome::Interrupted:
            return "interrupted";
        case Outcome::DryRun:
            return "dry-run";
    }
    return "";
}

PortResult RunRead(const PortTarget& target, const RunSettings& settings, IProgress& progress) {
    CPortRun run("read", target, settings, progress);
    if (!run.Open() || !run.ReadRecord("reading")) {
        return run.Result();
    }
    run.QuerySignal(0);
    run.AskIdentity();
    PortResult& result = run.Result();
    if (result.outcome != Outcome::Ok) {
        return result;
    }
    ProfileExport exported = ProfileFromRecord(*result.record);
    result.profile = std::move(exported.profile);
    result.problems = std::move(exported.problems);
    return run.Finish(Outcome::Ok,
                      result.problems.empty() ? "read" : "read; some fields left out of the profile");
}

PortResult RunWrite(const PortTarget& target, const RunSettings& settings, const Profile& profile,
                    IProgress& progress) {
    CPortRun run("write", target, settings, progress);
    if (!run.Open() || !run.ReadRecord("reading")) {
        return run.Result();
    }
    run.QuerySignal(0);
    run.AskIdentity();
    if (run.Result().outcome != Outcome::Ok) {
        return run.Result();
    }
    DeviceParams sent;
    if (const auto error = BuildRecord(*run.Result().record, profile, sent)) {
        return run.Finish(Outcome::DeviceValue, error->Text() + "; nothing was sent");
    }
    if (run.Stopped("before the save; nothing was sent")) {
        return run.Result();
    }
    run.Step("saving");
    const auto frame = BuildSaveFrame(sent.Bytes());
    const ExchangeOutcome saved = run.SendOnce(frame, AnswerKind::SaveResult);
    if (saved.status == Status::PortLost) {
        run.Lost();
        return run.Result();
    }
    if (saved.status != Status::Answered) {
        return run.Finish(Outcome::NoAnswer,
                          "no answer to the save (" + saved.answer.note + "); it was not sent again");
    }
    if (!saved.answer.accepted) {
        return run.Finish(Outcome::Refused, "the device answered +CONFIG ERROR to the save");
    }
    if (run.Stopped("after the save (the device answered +CONFIG OK), before reading it back")) {
        run.Result().record = sent;
        return run.Result();
    }
    // The unit has the record now; a read-back that fails leaves that unconfirmed, not undone.
    std::string why;
    const CPortRun::ReadEnd readBack = run.TryReadRecord("reading back", why);
    if (readBack == CPortRun::ReadEnd::Stopped) {
        run.Result().record = sent;
        return run.Result();
    }
    if (readBack != CPortRun::ReadEnd::Read) {
        run.Result().record = sent;
        return run.Finish(Outcome::SavedUnverified,
                          "the device took the save (+CONFIG OK), but no intact record came back in " +
                              run.Reads() + " (the last: " + why + "); the values shown are those sent");
    }
    PortResult& result = run.Result();
    result.differences = CompareRecords(sent, *result.record);
    if (!result.differences.empty()) {
        return run.Finish(Outcome::VerifyFailed,
                          "saved, but read back " + DifferenceText(result.differences));
    }
    return run.Finish(Outcome::Ok, "written and verified");
}

PortResult RunDryRun(const PortTarget& target, const RunSettings& settings, const Profile& profile,
                     IProgress& progress) {
    CPortRun run("write", target, settings, progress);
    if (!run.Open() || !run.ReadRecord("reading")) {
        return run.Result();
    }
    run.QuerySignal(0);
    run.AskIdentity();
    PortResult& result = run.Result();
    if (result.outcome != Outcome::Ok) {
        return result;
    }
    DeviceParams sent;
    if (const auto error = BuildRecord(*result.record, profile, sent)) {
        return run.Finish(Outcome::DeviceValue, error->Text() + "; nothing was sent");
    }
    result.differences = CompareRecords(*result.record, sent);
    const std::size_t n = result.differences.size();
    return run.Finish(Outcome::DryRun, (n == 0   ? std::string("nothing would change")
                                        : n == 1 ? std::string("1 field would change")
                                                 : std::to_string(n) + " fields would change") +
                                           "; no save was sent");
}

PortResult RunVerify(const PortTarget& target, const RunSettings& settings, const Profile& profile,
                     IProgress& progress) {
    CPortRun run("verify", target, settings, progress);
    if (!run.Open() || !run.ReadRecord("reading")) {
        return run.Result();
    }
    run.QuerySignal(0);
    run.AskIdentity();
    PortResult& result = run.Result();
    if (result.outcome != Outcome::Ok) {
        return result;
    }
    DeviceParams expected;
    if (const auto error = BuildRecord(*result.record, profile, expected)) {
        return run.Finish(Outcome::DeviceValue, error->Text());
    }
    result.differences = CompareRecords(expected, *result.record);
    if (!result.differences.empty()) {
        std::string text;
        for (const FieldDifference& d : result.differences) {
            text += (text.empty() ? "" : "; ") + std::string(d.field) + ": profile \"" + d.expected +
                    "\", device holds \"" + d.actual + "\"";
        }
        return run.Finish(Outcome::VerifyFailed, text);
    }
    return run.Finish(Outcome::Ok, "verified");
}

namespace {

PortResult RunOneCommand(const char* name, const char* doing, std::string_view command, AnswerKind answer,
                         const char* done, const PortTarget& target, const RunSettings& settings,
                         IProgress& progress) {
    CPortRun run(name, target, settings, progress);
    if (!run.Open() || run.Stopped("before the command; nothing was sent")) {
        return run.Result();
    }
    run.Step(doing);
    const ExchangeOutcome out = run.SendOnce(Bytes(command), answer);
    if (out.status == Status::PortLost) {
        run.Lost();
        return run.Result();
    }
    if (out.status != Status::Answered) {
        return run.Finish(Outcome::NoAnswer,
                          "no answer (" + out.answer.note + "); the command was not sent again");
    }
    if (!out.answer.accepted) {
        return run.Finish(Outcome::Refused, "the device answered +CONFIG ERROR");
    }
    return run.Finish(Outcome::Ok, done);
}

}  // namespace

PortResult RunDefaults(const PortTarget& target, const RunSettings& settings, IProgress& progress) {
    return RunOneCommand("default", "restoring factory settings", kCmdFactoryDefaults, AnswerKind::DefaultsOk,
                         "factory settings restored", target, settings, progress);
}

PortResult RunReboot(const PortTarget& target, const RunSettings& settings, IProgress& progress) {
    return RunOneCommand("reboot", "restarting the device", kCmdReboot, AnswerKind::ResetOk, "restarted",
                         target, settings, progress);
}

PortResult RunSignal(const PortTarget& target, const RunSettings& settings, IProgress& progress) {
    CPortRun run("signal", target, settings, progress);
    if (!run.Open()) {
        return run.Result();
    }
    const auto answer = run.QuerySignal(settings.retries);
    if (run.Result().outcome != Outcome::Ok) {
        return run.Result();
    }
    if (!answer && run.Stopped("before the signal was read")) {
        return run.Result();
    }
    if (!answer) {
        return run.Finish(Outcome::NoAnswer,
                          "no signal answer to " + std::to_string(settings.retries + 1) + " queries");
    }
    if (!answer->csq) {
        return run.Finish(Outcome::Refused, answer->note);
    }
    return run.Finish(Outcome::Ok,
                      "CSQ " + std::to_string(answer->csq->rssi) + ", " + CsqMeaning(*answer->csq));
}

PortResult RunDiagnose(const PortTarget& target, const RunSettings& settings, IProgress& progress) {
    CPortRun run("diagnose", target, settings, progress);
    if (!run.Open() || !run.ReadRecord("reading the record for its APN")) {
        return run.Result();
    }
    if (run.Stopped("before the module was asked")) {
        return run.Result();
    }
    run.Step("asking the module");
    CSessionModuleLink link = run.Link();
    const auto& apn = run.Result().record->apn;
    Diagnosis diagnosis =
        RunDiagnosis(link, std::string_view(reinterpret_cast<const char*>(apn.data()), apn.size()));
    if (link.Lost()) {
        run.Lost();
        return run.Result();
    }
    if (run.Stopped("while the module was asked")) {
        return run.Result();
    }
    run.Result().identity = diagnosis.identity;
    std::string verdict = diagnosis.verdictLine;
    run.Result().diagnosis = std::move(diagnosis);
    return run.Finish(Outcome::Ok, verdict);
}

namespace {

SignalSample TakeSample(IModuleLink& link) {
    SignalSample sample;
    sample.when = std::chrono::system_clock::now();
    if (const auto raw = link.Ask(kQueryCsq)) {
        if (const auto csq = ParseCsq(*raw); csq.Ok()) {
            sample.csq = csq.value.rssi;
            sample.dbm = CsqLevel(csq.value.rssi);
            sample.grade = CsqGrade(csq.value.rssi);
        }
    }
    if (const auto raw = link.Ask(kQueryCesq)) {
        if (const auto cesq = ParseCesq(*raw); cesq.Ok()) {
            sample.rsrp = RsrpLevel(cesq.value.rsrp);
            sample.rsrq = RsrqLevel(cesq.value.rsrq);
            // On LTE the CSQ often says 99; the RSRP then grades the signal.
            if (sample.grade == SignalGrade::Unknown && sample.rsrp.known) {
                sample.grade = RsrpGrade(sample.rsrp);
            }
        }
    }
    return sample;
}

}  // namespace

PortResult RunSignalWatch(const PortTarget& target, const RunSettings& settings,
                          std::chrono::seconds interval, int count, const SampleSink& sink,
                          IProgress& progress) {
    CPortRun run("signal", target, settings, progress);
    if (!run.Open()) {
        return run.Result();
    }
    CSessionModuleLink link = run.Link();
    auto next = std::chrono::steady_clock::now();
    int unanswered = 0;
    while (count == 0 || run.Result().samples < count) {
        // Waits in short steps so that Ctrl-C ends the survey at once.
        while (!progress.Stopping() && std::chrono::steady_clock::now() < next) {
            std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
                next - std::chrono::steady_clock::now(), std::chrono::milliseconds(100)));
        }
        if (progress.Stopping()) {
            break;
        }
        next += interval;
        run.Step("sample " + std::to_string(run.Result().samples + 1));
        const SignalSample sample = TakeSample(link);
        if (link.Lost()) {
            run.Lost();
            return run.Result();
        }
        if (!sample.csq && !sample.rsrp.known) {
            // Stopped between the wait and the queries: nothing was asked, so there is no sample.
            if (progress.Stopping()) {
                break;
            }
            if (++unanswered >= kUnansweredBeforeGivingUp) {
                return run.Finish(Outcome::NoAnswer,
                                  "no signal answer to " + std::to_string(unanswered) + " samples in a row");
            }
        } else {
            unanswered = 0;
        }
        ++run.Result().samples;
        if (const std::string error = sink(target, sample); !error.empty()) {
            return run.Finish(Outcome::Refused, "the survey stopped: " + error);
        }
    }
    const int n = run.Result().samples;
    // Ctrl-C is how a survey without --count ends: what was taken is the result.
    return run.Finish(Outcome::Ok, std::to_string(n) + (n == 1 ? " sample" : " samples") +
                                       (progress.Stopping() ? "; stopped by interrupt" : ""));
}
