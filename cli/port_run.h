// One port's run, shared by the operations on a device (operations.cpp) and on its module
// (module_operations.cpp): the session, the result being built, and the steps every operation takes.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "cli/device_session.h"
#include "cli/module_link.h"
#include "cli/operations.h"
#include "protocol/command_exchange.h"

namespace port_run {

using Status = ExchangeOutcome::Status;

// The largest answers each command may get, for their time on the line: the record behind "+CONFIG=", a
// short text otherwise.
constexpr std::size_t kRecordAnswerBytes = 8 + kDeviceParamsSize;
constexpr std::size_t kShortAnswerBytes = 99;

inline std::span<const uint8_t> Bytes(std::string_view text) {
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
    CDeviceSession& Session() { return m_session; }

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
    // The start every operation on a unit shares: the port opened, the record read, then the signal and
    // the unit's identity asked for. False when the run has ended already; its result says why.
    bool ReadUnit() {
        if (!Open() || !ReadRecord("reading")) {
            return false;
        }
        QuerySignal(0);
        AskIdentity();
        return m_result.outcome == Outcome::Ok;
    }

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

}  // namespace port_run
