// What the command line asks of a device's cellular module, through the device: the diagnosis and the
// signal survey, on the same port runs as the device's own operations.
#include <thread>

#include "cli/operations.h"
#include "cli/port_run.h"
#include "modem/module_queries.h"

using namespace port_run;

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
