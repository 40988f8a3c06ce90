#include "cli/operations.h"

#include <span>
#include <string_view>

#include "cli/device_session.h"
#include "protocol/command_exchange.h"
#include "protocol/number_text.h"

namespace {

using Status = ExchangeOutcome::Status;

// The largest answers each command may get: the record behind "+CONFIG=", a short frame otherwise.
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

    // Reads the device's record, retrying a read that got no answer.
    bool ReadRecord(const std::string& what) {
        for (int attempt = 0; attempt <= m_settings.retries; ++attempt) {
            if (Stopped("before " + what)) {
                return false;
            }
            Step(attempt == 0 ? what : what + ", again (" + std::to_string(attempt + 1) + ")");
            const ExchangeOutcome out =
                m_session.Exchange(Bytes(kCmdReadParams), kRecordAnswerBytes, {ResponseKind::Record});
            if (out.status == Status::Answered) {
                m_result.record = DeviceParams::FromBytes(out.result.record);
                return true;
            }
            if (out.status == Status::PortLost) {
                return Lost();
            }
        }
        Finish(Outcome::NoAnswer,
               "no parameter record in answer to " + std::to_string(m_settings.retries + 1) + " reads");
        return false;
    }

    // Asks for the signal once (or with retries, when the signal is what was asked for).
    std::optional<ExchangeOutcome> QuerySignal(int retries) {
        for (int attempt = 0; attempt <= retries; ++attempt) {
            if (m_progress.Stopping()) {
                return std::nullopt;
            }
            Step("asking for the signal");
            const ExchangeOutcome out =
                m_session.Exchange(Bytes(kCmdSignalQuery), kShortAnswerBytes, {ResponseKind::Signal});
            if (out.status == Status::Answered) {
                m_result.signal = out.result.signal;
                return out;
            }
            if (out.status == Status::PortLost) {
                Lost();
                return out;
            }
        }
        return std::nullopt;
    }

    // Sends a command that changes the device, once.
    ExchangeOutcome SendOnce(std::span<const uint8_t> command, std::initializer_list<ResponseKind> wanted) {
        return m_session.Exchange(command, kShortAnswerBytes, wanted);
    }

    bool Lost() {
        const std::string why =
            m_session.Errors().empty() ? std::string() : ": " + Flatten(m_session.Errors().back());
        Finish(Outcome::PortError, "the device went away" + why);
        return false;
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
            return 0;
        case Outcome::Refused:
        case Outcome::VerifyFailed:
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
    }
    return "";
}

std::string CsqMeaning(std::string_view csq) {
    while (!csq.empty() && csq.front() == ' ') {
        csq.remove_prefix(1);
    }
    if (csq.empty() || csq.find_first_not_of("0123456789") != std::string_view::npos) {
        return "not a CSQ value";
    }
    const int n = Atoi32(csq);
    if (n == 99) {
        return "not known";
    }
    if (n == 0) {
        return "-113 dBm or less";
    }
    if (n == 31) {
        return "-51 dBm or more";
    }
    if (n > 31) {
        return "not a CSQ value";
    }
    return std::to_string(-113 + 2 * n) + " dBm";
}

PortResult RunRead(const PortTarget& target, const RunSettings& settings, IProgress& progress) {
    CPortRun run("read", target, settings, progress);
    if (!run.Open() || !run.ReadRecord("reading")) {
        return run.Result();
    }
    run.QuerySignal(0);
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
    const ExchangeOutcome saved = run.SendOnce(frame, {ResponseKind::ConfigOk, ResponseKind::ConfigError});
    if (saved.status == Status::PortLost) {
        run.Lost();
        return run.Result();
    }
    if (saved.status == Status::NoAnswer) {
        return run.Finish(Outcome::NoAnswer, "no answer to the save; it was not sent again");
    }
    if (saved.result.kind == ResponseKind::ConfigError) {
        return run.Finish(Outcome::Refused, "the device answered +CONFIG ERROR to the save");
    }
    if (run.Stopped("after the save (the device answered +CONFIG OK), before reading it back") ||
        !run.ReadRecord("reading back")) {
        return run.Result();
    }
    PortResult& result = run.Result();
    result.differences = CompareRecords(sent, *result.record);
    if (!result.differences.empty()) {
        return run.Finish(Outcome::VerifyFailed,
                          "saved, but read back " + DifferenceText(result.differences));
    }
    return run.Finish(Outcome::Ok, "written and verified");
}

PortResult RunVerify(const PortTarget& target, const RunSettings& settings, const Profile& profile,
                     IProgress& progress) {
    CPortRun run("verify", target, settings, progress);
    if (!run.Open() || !run.ReadRecord("reading")) {
        return run.Result();
    }
    run.QuerySignal(0);
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

PortResult RunOneCommand(const char* name, const char* doing, std::string_view command, ResponseKind answer,
                         const char* done, const PortTarget& target, const RunSettings& settings,
                         IProgress& progress) {
    CPortRun run(name, target, settings, progress);
    if (!run.Open() || run.Stopped("before the command; nothing was sent")) {
        return run.Result();
    }
    run.Step(doing);
    const ExchangeOutcome out = run.SendOnce(Bytes(command), {answer});
    if (out.status == Status::PortLost) {
        run.Lost();
        return run.Result();
    }
    if (out.status == Status::NoAnswer) {
        return run.Finish(Outcome::NoAnswer, "no answer; the command was not sent again");
    }
    return run.Finish(Outcome::Ok, done);
}

}  // namespace

PortResult RunDefaults(const PortTarget& target, const RunSettings& settings, IProgress& progress) {
    return RunOneCommand("default", "restoring factory settings", kCmdFactoryDefaults,
                         ResponseKind::DefaultsOk, "factory settings restored", target, settings, progress);
}

PortResult RunReboot(const PortTarget& target, const RunSettings& settings, IProgress& progress) {
    return RunOneCommand("reboot", "restarting the device", kCmdReboot, ResponseKind::ResetOk, "restarted",
                         target, settings, progress);
}

PortResult RunSignal(const PortTarget& target, const RunSettings& settings, IProgress& progress) {
    CPortRun run("signal", target, settings, progress);
    if (!run.Open()) {
        return run.Result();
    }
    const auto out = run.QuerySignal(settings.retries);
    if (run.Result().outcome != Outcome::Ok) {
        return run.Result();
    }
    if (!out && run.Stopped("before the signal was read")) {
        return run.Result();
    }
    if (!out) {
        return run.Finish(Outcome::NoAnswer,
                          "no signal answer to " + std::to_string(settings.retries + 1) + " queries");
    }
    if (!run.Result().signal) {
        return run.Finish(Outcome::Refused, "the module's answer held no CSQ value");
    }
    const std::string& csq = *run.Result().signal;
    return run.Finish(Outcome::Ok, "CSQ" + csq + ", " + CsqMeaning(csq));
}
