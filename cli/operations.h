// What the command line does to one device, each operation run on the thread of its port: open the port,
// exchange commands one at a time through a CDeviceSession, and end in one PortResult. Reads and signal
// queries are retried, and a record whose checksum is wrong counts as a failed read: it is never kept,
// written out or built on. A save, a factory reset and a restart are sent once and never again blindly.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cli/answer_scan.h"
#include "cli/port_target.h"
#include "modem/diagnosis.h"
#include "protocol/device_params.h"
#include "protocol/profile.h"
#include "serial/mode_text.h"

enum class Outcome {
    Ok,
    Refused,          // the device answered "+CONFIG ERROR", or gave no value
    VerifyFailed,     // the device holds other values than it should
    SavedUnverified,  // the device took the save, but no intact record came back to show what it holds
    DeviceValue,      // the device's own record holds a value the form cannot take
    NoAnswer,         // nothing recognisable within the time the line allows
    PortMissing,
    PortBusy,
    PortError,    // no permission, settings refused, device lost
    Interrupted,  // the run was asked to stop (Ctrl-C, SIGTERM) before this port was done
    DryRun,       // write --dry-run: the unit was read and what a write would change is known; no save sent
};

// The documented exit codes: 0 done and verified (or, for a dry run, read), 1 refused or not verified (a save
// taken but not read back included: that the unit holds what it should is not confirmed), 3 port missing or
// held, 4 no answer in time, 130 interrupted (2, bad usage or profile, is decided before any port is opened).
int ExitCodeOf(Outcome outcome);
std::string_view OutcomeText(Outcome outcome);

struct RunSettings {
    LineSettings line;
    std::chrono::milliseconds answerTime{2000};
    int retries = 2;
    bool verbose = false;  // a progress step tells why a read is tried again
};

struct PortResult {
    std::string command;
    PortTarget target;
    Outcome outcome = Outcome::Ok;
    std::string message;
    // The device's record as last read, intact; for saved-unverified the record it took with +CONFIG OK.
    std::optional<DeviceParams> record;
    std::optional<CsqValue> signal;  // the module's CSQ value, when it gave one
    // read, write, verify: the unit's identity as its module gives it; never part of a profile.
    ModuleIdentity identity;
    std::optional<Diagnosis> diagnosis;  // diagnose, once it ran
    int samples = 0;                     // signal --watch: how many were taken
    // verify and write: expected is what was sent or profiled, actual what the device holds; a dry run:
    // expected is what the device holds, actual what the write would send.
    std::vector<FieldDifference> differences;
    Profile profile;  // read: what the device holds, as a profile
    std::vector<ProfileError> problems;
};

// Where an operation tells how it is getting on; called from the port's thread.
class IProgress {
  public:
    virtual ~IProgress() = default;
    virtual void Step(const PortTarget& target, const std::string& text) = 0;
    // True once the run is to stop: no new exchange starts, the one in flight ends within its bound.
    virtual bool Stopping() const { return false; }
};

PortResult RunRead(const PortTarget& target, const RunSettings& settings, IProgress& progress);
PortResult RunWrite(const PortTarget& target, const RunSettings& settings, const Profile& profile,
                    IProgress& progress);
// A write up to the record it would send, which is compared with the device's; no save is sent.
PortResult RunDryRun(const PortTarget& target, const RunSettings& settings, const Profile& profile,
                     IProgress& progress);
PortResult RunVerify(const PortTarget& target, const RunSettings& settings, const Profile& profile,
                     IProgress& progress);
PortResult RunDefaults(const PortTarget& target, const RunSettings& settings, IProgress& progress);
PortResult RunReboot(const PortTarget& target, const RunSettings& settings, IProgress& progress);
PortResult RunSignal(const PortTarget& target, const RunSettings& settings, IProgress& progress);
// Reads the record for its APN (retried like every read), then asks the module the diagnosis' queries.
PortResult RunDiagnose(const PortTarget& target, const RunSettings& settings, IProgress& progress);

// One sample of a signal survey; a level is unknown where the module gave none.
struct SignalSample {
    std::chrono::system_clock::time_point when;
    std::optional<int> csq;  // AT+CSQ's rssi, 99 included
    SignalLevel dbm;
    SignalGrade grade = SignalGrade::Unknown;
    SignalLevel rsrp;  // AT+CESQ, where the module answers it
    SignalLevel rsrq;
};
// Samples every interval until count samples were taken (0: no limit) or the run is to stop; each goes to
// sink as soon as it is taken; an error from sink (the log could not be written) ends the survey.
using SampleSink = std::function<std::string(const PortTarget&, const SignalSample&)>;
PortResult RunSignalWatch(const PortTarget& target, const RunSettings& settings,
                          std::chrono::seconds interval, int count, const SampleSink& sink,
                          IProgress& progress);
