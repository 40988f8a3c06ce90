// quendal-cli end to end: the program against simulated DTUs on pseudo-terminals, at 9600 baud with the
// simulator answering at the line's speed. Each test has its own port directory (a fresh 0700 temporary
// folder) and gives each simulator its own COM number there, so test programs running side by side never
// meet. Simulator logs go to files, which tell what reached each device.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli/csv.h"
#include "cli/line_timing.h"
#include "modem/diagnosis.h"
#include "serial/port_names.h"
#include "serial/serial_os.h"
#include "tests/support/child_process_posix.h"
#include "tests/support/pty_fixture.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

const char* const kSimPath = QUENDAL_BINARY_DIR "/tools/dtu-sim/dtu-sim";
const char* const kCliPath = QUENDAL_BINARY_DIR "/cli/quendal-cli";

void WriteFile(const fs::path& path, std::string_view text) {
    std::ofstream(path, std::ios::binary) << text;
}

struct CliRun {
    int code = -1;
    std::string out;
    std::string err;
    milliseconds elapsed{0};
};

class SimProcess {
  public:
    SimProcess(const fs::path& dir, int com, std::vector<std::string> extra)
        : m_log(dir / ("sim" + std::to_string(com) + ".log")) {
        std::vector<std::string> args = {kSimPath, "--com", std::to_string(com)};
        args.insert(args.end(), extra.begin(), extra.end());
        m_pid = Spawn(args, "/dev/null", m_log);
    }
    ~SimProcess() {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            int status = 0;
            waitpid(m_pid, &status, 0);
        }
    }
    bool Started() const { return m_pid > 0; }
    std::string Log() const { return ReadFile(m_log); }

  private:
    fs::path m_log;
    pid_t m_pid = -1;
};

class CliE2E : public ::testing::Test {
  protected:
    fs::path Dir() const { return m_ports.Path(); }
    fs::path File(const std::string& name) const { return m_work / name; }

    void SetUp() override {
        m_work = fs::path(m_ports.Path()) / "work";
        fs::create_directory(m_work);
    }

    SimProcess& StartSim(int com, std::vector<std::string> extra = {}) {
        m_sims[com] = std::make_unique<SimProcess>(Dir(), com, std::move(extra));
        EXPECT_TRUE(m_sims[com]->Started());
        const fs::path link = Dir() / ("COM" + std::to_string(com));
        const auto deadline = Clock::now() + milliseconds(5000);
        while (!fs::exists(link) && Clock::now() < deadline) {
            std::this_thread::sleep_for(milliseconds(10));
        }
        EXPECT_TRUE(fs::exists(link))
            << "no COM" << com << " link; the simulator said: " << m_sims[com]->Log();
        return *m_sims[com];
    }
    SimProcess& Sim(int com) { return *m_sims.at(com); }

    // Runs the program to its end (killed after a minute, which fails the test).
    CliRun Run(std::vector<std::string> args) {
        args.insert(args.begin(), kCliPath);
        CliRun run;
        const auto start = Clock::now();
        const pid_t pid = Spawn(args, File("out.txt"), File("err.txt"));
        EXPECT_GT(pid, 0);
        int status = 0;
        while (waitpid(pid, &status, WNOHANG) == 0) {
            if (Clock::now() - start > std::chrono::seconds(60)) {
                kill(pid, SIGKILL);
                waitpid(pid, &status, 0);
                ADD_FAILURE() << "quendal-cli still running after a minute";
                break;
            }
            std::this_thread::sleep_for(milliseconds(5));
        }
        run.elapsed = std::chrono::duration_cast<milliseconds>(Clock::now() - start);
        run.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        run.out = ReadFile(File("out.txt"));
        run.err = ReadFile(File("err.txt"));
        return run;
    }

    std::vector<CsvRow> Report(const std::string& name) {
        std::string error;
        auto rows = ParseCsv(ReadFile(File(name)), error);
        EXPECT_TRUE(rows) << error;
        return rows ? *rows : std::vector<CsvRow>{};
    }

    // The column of a report row by its header name.
    static std::string Cell(const std::vector<CsvRow>& rows, std::size_t row, const std::string& column) {
        const CsvRow& header = rows.at(0);
        const auto at = std::find(header.begin(), header.end(), column);
        return rows.at(row).at(static_cast<std::size_t>(at - header.begin()));
    }

    CPortDirFixture m_ports;
    fs::path m_work;
    std::map<int, std::unique_ptr<SimProcess>> m_sims;
};

// The IMEI the simulator derived for itself, as its log's first line tells it.
std::string SimImei(const SimProcess& sim) {
    const std::string log = sim.Log();
    const auto at = log.find("module IMEI ");
    return at == std::string::npos ? std::string("(not in the log)") : log.substr(at + 12, 15);
}

std::string SimIccid(const SimProcess& sim) {
    const std::string log = sim.Log();
    const auto at = log.find(", ICCID ");
    return at == std::string::npos ? std::string("(not in the log)") : log.substr(at + 8, 20);
}

std::string Describe(const CliRun& run) {
    return "exit " + std::to_string(run.code) + "\nstdout:\n" + run.out + "\nstderr:\n" + run.err;
}

mode_t ModeOf(const fs::path& path) {
    struct stat st {};
    stat(path.c_str(), &st);
    return st.st_mode & 0777;
}

TEST_F(CliE2E, ReadWriteAndVerifyOneDevice) {
    StartSim(1, {"--id", "SIM-READ-1"});

    CliRun read = Run({"read", "COM1", "--raw"});
    ASSERT_EQ(read.code, 0) << Describe(read);
    EXPECT_NE(read.out.find("\"device_id\": \"SIM-READ-1\""), std::string::npos) << read.out;
    EXPECT_NE(read.out.find("\n0000: 01 01 "), std::string::npos) << read.out;  // 4G firmware 0x0101

    read = Run({"read", "COM1", "-o", File("golden.json").string()});
    ASSERT_EQ(read.code, 0) << Describe(read);
    EXPECT_EQ(ModeOf(File("golden.json")), 0600u);
    EXPECT_EQ(read.out, "");

    const CliRun write = Run({"write", "COM1", File("golden.json").string(), "--set", "apn=cmiot", "--set",
                              "device_id=UNIT-0042", "--set", "remote2_port=6001"});
    ASSERT_EQ(write.code, 0) << Describe(write);
    EXPECT_NE(write.err.find("ok: written and verified (UNIT-0042"), std::string::npos) << write.err;

    // A dry run reads the unit and tells what a write would change, and saves nothing.
    const CliRun dryRun = Run({"write", "COM1", File("golden.json").string(), "--set", "apn=other", "--set",
                               "device_id=UNIT-0042", "--dry-run", "--report", File("report.csv").string()});
    ASSERT_EQ(dryRun.code, 0) << Describe(dryRun);
    EXPECT_NE(dryRun.out.find("COM1 apn: \"cmiot\" -> \"other\"\n"), std::string::npos) << dryRun.out;
    EXPECT_NE(dryRun.out.find("COM1 remote2_port: \"6001\" -> \"0\"\n"), std::string::npos) << dryRun.out;
    EXPECT_EQ(dryRun.out.find("device_id"), std::string::npos) << dryRun.out;
    EXPECT_NE(dryRun.err.find("dry-run: 2 fields would change; no save was sent"), std::string::npos)
        << dryRun.err;
    EXPECT_TRUE(dryRun.err.ends_with("\n1 dry-run\n")) << dryRun.err;
    const auto rows = Report("report.csv");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(Cell(rows, 1, "result"), "dry-run");
    // Which unit this is, from its module; the profile never holds it.
    EXPECT_EQ(Cell(rows, 1, "imei"), SimImei(Sim(1)));
    EXPECT_EQ(Cell(rows, 1, "iccid").size(), 20u);
    EXPECT_EQ(Cell(rows, 1, "imsi").size(), 15u);
    EXPECT_FALSE(Cell(rows, 1, "module_firmware").empty());
    EXPECT_EQ(ReadFile(File("golden.json")).find(SimImei(Sim(1))), std::string::npos);
    EXPECT_EQ(Cell(rows, 1, "differences"), "apn \"cmiot\" -> \"other\"; remote2_port \"6001\" -> \"0\"");
    const std::string log = Sim(1).Log();
    EXPECT_EQ(log.find("(save)"), log.rfind("(save)")) << log;  // the write's one

    // The device named by its path this time.
    const std::string path = (Dir() / "COM1").string();
    CliRun verify = Run({"verify", path, File("golden.json").string(), "--set", "apn=cmiot", "--set",
                         "device_id=UNIT-0042", "--set", "remote2_port=6001"});
    EXPECT_EQ(verify.code, 0) << Describe(verify);
    verify = Run({"verify", "COM1", File("golden.json").string()});
    EXPECT_EQ(verify.code, 1) << Describe(verify);
    EXPECT_NE(verify.err.find("apn: profile \"CMNET\", device holds \"cmiot\""), std::string::npos)
        << verify.err;
    EXPECT_NE(verify.err.find("remote2_port: profile \"0\", device holds \"6001\""), std::string::npos)
        << verify.err;
}

TEST_F(CliE2E, DefaultRebootAndSignal) {
    StartSim(3);
    WriteFile(File("apn.json"), R"({"apn": "changed"})");
    ASSERT_EQ(Run({"write", "COM3", File("apn.json").string()}).code, 0);

    const CliRun defaults = Run({"default", "COM3"});
    EXPECT_EQ(defaults.code, 0) << Describe(defaults);
    const CliRun read = Run({"read", "COM3"});
    EXPECT_NE(read.out.find("\"apn\": \"CMNET\""), std::string::npos) << read.out;

    const CliRun reboot = Run({"reboot", "COM3"});
    EXPECT_EQ(reboot.code, 0) << Describe(reboot);
    EXPECT_NE(reboot.err.find("ok: restarted"), std::string::npos) << reboot.err;

    const CliRun signal = Run({"signal", "COM3"});
    ASSERT_EQ(signal.code, 0) << Describe(signal);
    // The simulator's signal stays within CSQ 18 to 26.
    int csq = 0;
    int dbm = 0;
    ASSERT_EQ(std::sscanf(signal.out.c_str(), "COM3 CSQ %d, %d dBm", &csq, &dbm), 2) << signal.out;
    EXPECT_EQ(dbm, -113 + 2 * csq);
}

TEST_F(CliE2E, DiagnoseTellsWhyAUnitIsOfflineAndWhichUnitItIs) {
    const struct {
        int com;
        std::vector<std::string> sim;
        Verdict verdict;
        bool iccid;  // the SIM gives its ICCID
    } cases[] = {
        {5, {"--sim", "pin"}, Verdict::PinNeeded, true},
        {6, {"--registration", "denied"}, Verdict::RegistrationDenied, true},
        {7, {"--lte"}, Verdict::LooksFine, true},
        {9, {"--sim", "absent"}, Verdict::NoSim, false},
        {10, {"--sim", "ready", "--registration", "home"}, Verdict::LooksFine, true},
        {11, {"--registration", "roaming"}, Verdict::LooksFine, true},
        {12, {"--registration", "searching"}, Verdict::NotRegistered, true},
        {13, {"--registration", "unknown"}, Verdict::NotRegistered, true},
        {14, {"--no-ccid"}, Verdict::LooksFine, true},
    };
    std::vector<std::string> args = {"diagnose"};
    for (const auto& c : cases) {
        StartSim(c.com, c.sim);
        args.push_back("COM" + std::to_string(c.com));
    }
    const CliRun table = Run(args);
    // Whatever the verdict, the diagnosis ran.
    ASSERT_EQ(table.code, 0) << Describe(table);
    EXPECT_NE(table.out.find("  IMEI  "), std::string::npos) << table.out;
    for (const auto& c : cases) {
        const std::string port = "COM" + std::to_string(c.com);
        SCOPED_TRACE(port);
        EXPECT_NE(table.out.find(port + " verdict: " + std::string(VerdictText(c.verdict))),
                  std::string::npos)
            << table.out;
        EXPECT_NE(table.out.find(SimImei(Sim(c.com))), std::string::npos) << table.out;
        EXPECT_EQ(table.out.find(SimIccid(Sim(c.com))) != std::string::npos, c.iccid) << table.out;
    }
    // Without AT+CCID the ICCID is read from the SIM's own file.
    EXPECT_NE(table.out.find("read from the SIM's file"), std::string::npos) << table.out;

    const CliRun json = Run({"diagnose", "COM6", "--json"});
    ASSERT_EQ(json.code, 0) << Describe(json);
    EXPECT_TRUE(json.out.starts_with("{\"port\":\"COM6\"")) << json.out;
    EXPECT_EQ(std::count(json.out.begin(), json.out.end(), '\n'), 1) << json.out;
    EXPECT_NE(json.out.find("\"verdict\":\"" + std::string(VerdictText(Verdict::RegistrationDenied)) + "\""),
              std::string::npos)
        << json.out;
    EXPECT_NE(json.out.find("\"imei\":\"" + SimImei(Sim(6)) + "\""), std::string::npos) << json.out;
}

TEST_F(CliE2E, ASignalSurveyPrintsAndLogsEverySample) {
    StartSim(8, {"--lte"});
    const CliRun survey =
        Run({"signal", "COM8", "--watch", "1", "--count", "3", "--log", File("survey.csv").string()});
    ASSERT_EQ(survey.code, 0) << Describe(survey);
    EXPECT_EQ(std::count(survey.out.begin(), survey.out.end(), '\n'), 3) << survey.out;
    // On LTE the CSQ is unknown and the RSRP grades the signal.
    EXPECT_NE(survey.out.find(" COM8 CSQ 99 (unknown) "), std::string::npos) << survey.out;
    EXPECT_NE(survey.out.find(" RSRP -"), std::string::npos) << survey.out;
    EXPECT_EQ(ModeOf(File("survey.csv")), 0600u);
    const auto rows = Report("survey.csv");
    ASSERT_EQ(rows.size(), 4u);
    for (std::size_t row = 1; row < rows.size(); ++row) {
        EXPECT_EQ(Cell(rows, row, "csq"), "99");
        EXPECT_EQ(Cell(rows, row, "rsrp_dbm").front(), '-');
        EXPECT_NE(Cell(rows, row, "grade"), "unknown");
    }

    // Without --count, Ctrl-C is how a survey ends: at once, cleanly, every sample printed also logged.
    const pid_t pid = Spawn({kCliPath, "signal", "COM8", "--watch", "1", "--log", File("ctrlc.csv").string()},
                            File("out.txt"), File("err.txt"));
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    while (ReadFile(File("out.txt")).find(" COM8 ") == std::string::npos && Clock::now() < deadline) {
        std::this_thread::sleep_for(milliseconds(10));
    }
    kill(pid, SIGINT);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << ReadFile(File("err.txt"));
    const std::string printed = ReadFile(File("out.txt"));
    const auto logged = Report("ctrlc.csv");
    EXPECT_GE(logged.size(), 2u);
    EXPECT_EQ(logged.size(), 1 + static_cast<std::size_t>(std::count(printed.begin(), printed.end(), '\n')))
        << printed;
    EXPECT_NE(ReadFile(File("err.txt")).find("stopped by interrupt"), std::string::npos);
}

TEST_F(CliE2E, FourDevicesInParallelEachWithItsOwnId) {
    for (int com = 1; com <= 4; ++com) {
        StartSim(com);
    }
    WriteFile(File("profile.json"), R"({"apn": "line-apn", "heartbeat_period": 30})");
    WriteFile(File("units.csv"),
              "port,device_id\nCOM1,LINE-0001\nCOM2,LINE-0002\nCOM3,LINE-0003\nCOM4,LINE-0004\n");

    const CliRun write = Run({"write", File("profile.json").string(), "--units", File("units.csv").string(),
                              "--report", File("report.csv").string()});
    ASSERT_EQ(write.code, 0) << Describe(write);
    EXPECT_EQ(ModeOf(File("report.csv")), 0600u);
    const auto rows = Report("report.csv");
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[0].at(0), "time");  // the byte order mark is not part of the first name
    for (std::size_t row = 1; row <= 4; ++row) {
        const std::string port = "COM" + std::to_string(row);
        EXPECT_EQ(Cell(rows, row, "port"), port);
        EXPECT_EQ(Cell(rows, row, "command"), "write");
        EXPECT_EQ(Cell(rows, row, "result"), "ok") << Cell(rows, row, "message");
        EXPECT_EQ(Cell(rows, row, "device_id"), "LINE-000" + std::to_string(row));
        EXPECT_EQ(Cell(rows, row, "module"), "4G模组");
        EXPECT_EQ(Cell(rows, row, "device_type"), "DTU");
        EXPECT_EQ(Cell(rows, row, "firmware"), "V0101");
        EXPECT_FALSE(Cell(rows, row, "signal").empty());
        EXPECT_EQ(Cell(rows, row, "differences"), "");
    }
    // Each device holds its own ID: checked against the units file, nothing sent but reads.
    const CliRun verify =
        Run({"verify", File("profile.json").string(), "--units", File("units.csv").string()});
    EXPECT_EQ(verify.code, 0) << Describe(verify);
    const CliRun mixedUp =
        Run({"verify", "COM1", File("profile.json").string(), "--set", "device_id=LINE-0002"});
    EXPECT_EQ(mixedUp.code, 1) << Describe(mixedUp);
}

TEST_F(CliE2E, BadProfilesSendNothingToAnyDevice) {
    StartSim(1);
    StartSim(2);
    WriteFile(File("units.csv"), "port,device_id\nCOM1,A\nCOM2,B\n");
    const struct {
        std::string json;
        std::vector<std::string> extra;
        std::string message;
    } cases[] = {
        {R"({"apn": "x", "colour": "red"})", {}, "colour: not a profile field"},
        {R"({"apn": "x"})", {"--set", "remote3_port=70000"}, "remote3_port: 70000 is outside 0 to 65535"},
    };
    for (const auto& c : cases) {
        WriteFile(File("bad.json"), c.json);
        std::vector<std::string> args = {
            "write", "COM1", "COM2", File("bad.json").string(), "--units", File("units.csv").string()};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        const CliRun run = Run(args);
        EXPECT_EQ(run.code, 2) << c.json << "\n" << Describe(run);
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    }
    // Refusals of the command line itself, each before any device is touched (every refusal of the plan,
    // with its message, is in run_plan_posix_test).
    WriteFile(File("good.json"), R"({"apn": "x"})");
    WriteFile(File("id.json"), R"({"apn": "x", "device_id": "SAME"})");
    fs::create_directory(File("folder"));
    const std::string good = File("good.json").string();
    const std::string link = (Dir() / "COM2").string();
    const struct {
        std::vector<std::string> args;
        std::string message;
    } usage[] = {
        {{"write", "COM1", good, "--set", "apn=a", "--set", "apn=b"}, "--set apn is given twice"},
        {{"write", "COM1", "COM2", File("id.json").string()},
         "COM1 and COM2 would both get device_id \"SAME\"; give each unit its ID in a units file"},
        {{"write", "COM2", link, good}, "COM2 and " + link + " are one device"},
        {{"write", "COM1", good, "--report", File("folder").string()},
         "--report: " + File("folder").string() + " is a folder, not a regular file; nothing was sent"},
        {{"read", "COM1", "-o", "/dev/null"}, "-o: /dev/null is a device, not a regular file"},
    };
    for (const auto& c : usage) {
        const CliRun run = Run(c.args);
        EXPECT_EQ(run.code, 2) << c.message << "\n" << Describe(run);
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    }
    EXPECT_TRUE(S_ISCHR([] {
        struct stat st {};
        stat("/dev/null", &st);
        return st.st_mode;
    }()));

    WriteFile(File("units.csv"), "port,device_id\nCOM1,0123456789abcdef\n");
    EXPECT_EQ(Run({"write", "COM1", File("good.json").string(), "--units", File("units.csv").string()}).code,
              2);
    WriteFile(File("units.csv"), "port,device_id\nCOM1,A\n");
    EXPECT_EQ(
        Run({"write", "COM1", "COM2", File("good.json").string(), "--units", File("units.csv").string()})
            .code,
        2);  // COM2 has no row

    // The simulators log every command they receive; none came.
    for (int com : {1, 2}) {
        EXPECT_EQ(Sim(com).Log().find("DTU+CONFIG"), std::string::npos) << Sim(com).Log();
    }
    // Meant to share it: said so.
    const CliRun same = Run({"write", "COM1", "COM2", File("id.json").string(), "--same-id"});
    EXPECT_EQ(same.code, 0) << Describe(same);
}

TEST_F(CliE2E, AHostileDeviceIdReachesNeitherTerminalNorSpreadsheet) {
    StartSim(1, {"--id", "=1+2\x1b]2;X\a"});
    const CliRun read = Run({"read", "COM1", "-o", "-", "--report", File("report.csv").string()});
    ASSERT_EQ(read.code, 0) << Describe(read);
    EXPECT_NE(read.out.find("\"device_id\": \"=1+2\\u001b]2;X\\u0007\""), std::string::npos) << read.out;
    EXPECT_FALSE(fs::exists("-"));
    EXPECT_EQ(read.err.find('\x1b'), std::string::npos) << read.err;
    EXPECT_NE(read.err.find("ok: read (=1+2\\x1b]2;X\\x07, signal "), std::string::npos) << read.err;
    const auto rows = Report("report.csv");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(Cell(rows, 1, "device_id"), "'=1+2\\x1b]2;X\\x07");
    EXPECT_NE(Cell(rows, 1, "signal").find(" dBm)"), std::string::npos) << Cell(rows, 1, "signal");
}

TEST_F(CliE2E, InterruptedRunsReportEveryPortAndLeaveNoTemporaryFile) {
    StartSim(1);
    StartSim(2, {"--silent"});
    WriteFile(File("apn.json"), R"({"apn": "stopped"})");
    // The run's port directory goes where this test can look for it.
    fs::create_directory(File("tmp"));
    struct TempDirFor {
        explicit TempDirFor(const fs::path& dir) {
            if (const char* old = std::getenv("TMPDIR")) {
                previous = old;
            }
            setenv("TMPDIR", dir.c_str(), 1);
        }
        ~TempDirFor() { previous ? setenv("TMPDIR", previous->c_str(), 1) : unsetenv("TMPDIR"); }
        std::optional<std::string> previous;
    } tempDir(File("tmp"));
    const auto runUntilInterrupted = [&](int signals) {
        const pid_t pid = Spawn({kCliPath, "write", "COM1", "COM2", File("apn.json").string(), "--timeout",
                                 "4000", "--retries", "2", "--report", File("report.csv").string()},
                                File("out.txt"), File("err.txt"));
        // COM1 is done and COM2 waits for its silent device.
        const auto deadline = Clock::now() + std::chrono::seconds(20);
        while (ReadFile(File("err.txt")).find("COM1  ok:") == std::string::npos && Clock::now() < deadline) {
            std::this_thread::sleep_for(milliseconds(10));
        }
        const auto sent = Clock::now();
        for (int i = 0; i < signals; ++i) {
            kill(pid, i == 0 ? SIGINT : SIGTERM);
            std::this_thread::sleep_for(milliseconds(50));
        }
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 130) << ReadFile(File("err.txt"));
        EXPECT_TRUE(fs::is_empty(File("tmp")));
        return Clock::now() - sent;
    };

    // One signal: the read in flight ends within its bound, no new one starts, every port has its row.
    runUntilInterrupted(1);
    const auto rows = Report("report.csv");
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(Cell(rows, 1, "result"), "ok");
    EXPECT_EQ(Cell(rows, 2, "port"), "COM2");
    EXPECT_EQ(Cell(rows, 2, "result"), "interrupted");
    EXPECT_EQ(Cell(rows, 2, "message"), "interrupted before reading");
    EXPECT_EQ(Sim(2).Log().find("(save)"), std::string::npos);

    // A second signal ends the run at once, well within the read's bound.
    fs::remove(File("report.csv"));
    EXPECT_LT(runUntilInterrupted(2), std::chrono::seconds(3));
    EXPECT_FALSE(fs::exists(File("report.csv")));
}

TEST_F(CliE2E, ARefusedSaveIsOne) {
    StartSim(5, {"--fail-save"});
    WriteFile(File("apn.json"), R"({"apn": "refused"})");
    const CliRun run =
        Run({"write", "COM5", File("apn.json").string(), "--report", File("report.csv").string()});
    EXPECT_EQ(run.code, 1) << Describe(run);
    const auto rows = Report("report.csv");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(Cell(rows, 1, "result"), "refused");
    // One save, never sent again.
    const std::string log = Sim(5).Log();
    std::size_t saves = 0;
    for (std::size_t at = log.find("(save)"); at != std::string::npos; at = log.find("(save)", at + 1)) {
        ++saves;
    }
    EXPECT_EQ(saves, 1u) << log;
}

TEST_F(CliE2E, ASilentDeviceIsFourWithinTheTimeout) {
    StartSim(6, {"--silent"});
    constexpr int kAnswerMs = 300;
    constexpr int kRetries = 1;
    const CliRun run = Run({"read", "COM6", "--timeout", std::to_string(kAnswerMs), "--retries",
                            std::to_string(kRetries), "--report", File("report.csv").string()});
    EXPECT_EQ(run.code, 4) << Describe(run);
    const auto rows = Report("report.csv");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(Cell(rows, 1, "result"), "no-answer");
    // Two reads, each given what the line and the answer time allow, and no more than that by far.
    const milliseconds perRead = ExchangeDeadline({9600, 'N', 8, 1}, 11, 448, milliseconds(kAnswerMs));
    EXPECT_GE(run.elapsed, (kRetries + 1) * perRead);
    EXPECT_LT(run.elapsed, (kRetries + 1) * perRead + milliseconds(3000));
}

TEST_F(CliE2E, ABusyPortIsThreeAndTheOthersAreStillDone) {
    for (int com = 1; com <= 3; ++com) {
        StartSim(com);
    }
    // Held the way another program would hold it.
    OsPort* held = nullptr;
    ASSERT_EQ(OsOpenPort(DevicePathText(2), held), 0);
    WriteFile(File("apn.json"), R"({"apn": "busy-test"})");
    const CliRun run = Run({"write", "COM1,COM2,COM3", "COM9", File("apn.json").string(), "--report",
                            File("report.csv").string()});
    OsClosePort(held);
    EXPECT_EQ(run.code, 3) << Describe(run);
    const auto rows = Report("report.csv");
    ASSERT_EQ(rows.size(), 5u);
    const std::map<std::string, std::string> want = {
        {"COM1", "ok"}, {"COM2", "port-busy"}, {"COM3", "ok"}, {"COM9", "port-missing"}};
    for (std::size_t row = 1; row < rows.size(); ++row) {
        EXPECT_EQ(Cell(rows, row, "result"), want.at(Cell(rows, row, "port"))) << Cell(rows, row, "message");
    }
    EXPECT_EQ(Sim(2).Log().find("DTU+CONFIG"), std::string::npos);
    // The run closes with one line for all ports.
    EXPECT_TRUE(run.err.ends_with("\n2 ok, 1 port-missing, 1 port-busy\n")) << run.err;
}

// The user's port map names ports for the command line as for the window; `ports` lists its names and
// tells its wrong lines, whose names are refused.
TEST_F(CliE2E, ThePortMapNamesPorts) {
    StartSim(1);
    const fs::path map = fs::path(std::getenv("XDG_CONFIG_HOME")) / "quendal" / "ports.conf";
    fs::create_directories(map.parent_path());
    WriteFile(map, "COM40 = " + (Dir() / "COM1").string() + "\nCOM41 = tty\nnonsense\n");
    fs::permissions(map, fs::perms::owner_read | fs::perms::owner_write);

    const CliRun signal = Run({"signal", "COM40"});
    EXPECT_EQ(signal.code, 0) << Describe(signal);
    EXPECT_TRUE(signal.out.starts_with("COM40 CSQ ")) << signal.out;

    const CliRun ports = Run({"ports"});
    EXPECT_EQ(ports.code, 0) << Describe(ports);
    EXPECT_NE(
        ports.err.find("quendal-cli: " + map.string() + " line 2: COM41: \"tty\" is not an absolute path\n"),
        std::string::npos)
        << ports.err;
    EXPECT_NE(ports.err.find(" line 3: \"nonsense\" is not \"COMn = device path\""), std::string::npos)
        << ports.err;
    EXPECT_NE(ports.out.find("COM40  free"), std::string::npos) << ports.out;
    EXPECT_NE(ports.out.find("COM41  refused"), std::string::npos) << ports.out;
}

}  // namespace

TEST_F(CliE2E, MonitorShowsOrLogsEveryByteUntilCtrlCAndEndsWithZero) {
    CPtyFixture device;
    ASSERT_TRUE(device.IsValid()) << device.Error();
    ASSERT_FALSE(device.LinkAs(Dir(), 9).empty());
    std::string flood(256 * 1024, '\0');
    std::mt19937 random(23);
    for (char& c : flood) {
        c = static_cast<char>(random());
    }
    const struct {
        std::vector<std::string> options;
        std::string sent;
        std::string want;  // on stdout, or in the log when one is given
        std::size_t held;  // how much of it only the stop brings: an unfinished line's end
        int signal;
    } cases[] = {
        // Device text escaped, CR LF shown as a line end; a character cut between reads stays whole.
        {{},
         "AT\r\nOK\r\n\x1b]2;X\a \xE4\xB8\xAD\xE6",
         "AT\nOK\n\\x1b]2;X\\x07 \xE4\xB8\xAD\\xe6\n",
         5,
         SIGINT},
        {{"--hex"}, std::string("\x01\xFF\x00", 3), "01 FF 00\n", 1, SIGTERM},
        {{"--log", File("flood.bin").string()}, flood, flood, 0, SIGINT},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {kCliPath, "monitor", "COM9"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const pid_t pid = Spawn(args, File("out.txt"), File("err.txt"));
        ASSERT_GT(pid, 0);
        const bool logging = c.options.size() == 2;
        const fs::path result = logging ? File("flood.bin") : File("out.txt");
        auto deadline = Clock::now() + std::chrono::seconds(20);
        while (ReadFile(File("err.txt")).find("Ctrl-C ends it") == std::string::npos &&
               Clock::now() < deadline) {
            std::this_thread::sleep_for(milliseconds(10));
        }
        ASSERT_TRUE(device.Write(c.sent, milliseconds(20000)));
        const std::size_t shown = c.want.size() - c.held;
        deadline = Clock::now() + std::chrono::seconds(20);
        while (ReadFile(result).size() < shown && Clock::now() < deadline) {
            std::this_thread::sleep_for(milliseconds(10));
        }
        kill(pid, c.signal);
        int status = 0;
        waitpid(pid, &status, 0);
        const std::string err = ReadFile(File("err.txt"));
        ASSERT_TRUE(WIFEXITED(status)) << err;
        EXPECT_EQ(WEXITSTATUS(status), 0) << err;
        EXPECT_TRUE(ReadFile(result) == c.want)
            << "got " << ReadFile(result).size() << " bytes of " << c.want.size() << ":\n"
            << ReadFile(result).substr(0, 200);
        EXPECT_NE(err.find(std::to_string(c.sent.size()) + " bytes received"), std::string::npos) << err;
        EXPECT_NE(err.find("stopped by interrupt"), std::string::npos) << err;
        if (logging) {
            EXPECT_EQ(ModeOf(result), 0600u);
            EXPECT_EQ(ReadFile(File("out.txt")), "");
        }
    }
}
