#include "cli/operations.h"

#include <algorithm>
#include <span>
#include <string_view>
#include <thread>

#include "cli/port_run.h"
#include "modem/module_queries.h"

using namespace port_run;

namespace {

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
    if (!run.ReadUnit()) {
        return run.Result();
    }
    PortResult& result = run.Result();
    ProfileExport exported = ProfileFromRecord(*result.record);
    result.profile = std::move(exported.profile);
    result.problems = std::move(exported.problems);
    return run.Finish(Outcome::Ok,
                      result.problems.empty() ? "read" : "read; some fields left out of the profile");
}

PortResult RunWrite(const PortTarget& target, const RunSettings& settings, const Profile& profile,
                    IProgress& progress) {
    CPortRun run("write", target, settings, progress);
    if (!run.ReadUnit()) {
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
    if (!run.ReadUnit()) {
        return run.Result();
    }
    PortResult& result = run.Result();
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
    if (!run.ReadUnit()) {
        return run.Result();
    }
    PortResult& result = run.Result();
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
