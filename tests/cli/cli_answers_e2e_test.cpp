// quendal-cli end to end against simulated DTUs that misbehave as real lines and units do: an echoing line,
// a unit that logs right after "+CONFIG OK", answers split by stalls, a flipped bit in a read answer. Each
// test has a port directory of its own; simulator logs go to files there and tell what reached each device.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli/csv.h"
#include "tests/support/child_process_posix.h"
#include "tests/support/pty_fixture.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

const char* const kSimPath = QUENDAL_BINARY_DIR "/tools/dtu-sim/dtu-sim";
const char* const kCliPath = QUENDAL_BINARY_DIR "/cli/quendal-cli";

std::size_t Count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++n;
    }
    return n;
}

struct CliRun {
    int code = -1;
    std::string out;
    std::string err;
};

std::string Describe(const CliRun& run) {
    return "exit " + std::to_string(run.code) + "\nstdout:\n" + run.out + "\nstderr:\n" + run.err;
}

class CliAnswersE2E : public ::testing::Test {
  protected:
    fs::path File(const std::string& name) const { return fs::path(m_ports.Path()) / "work" / name; }

    void SetUp() override { fs::create_directory(fs::path(m_ports.Path()) / "work"); }

    void TearDown() override {
        for (const auto& [com, pid] : m_sims) {
            kill(pid, SIGTERM);
            int status = 0;
            waitpid(pid, &status, 0);
        }
    }

    void StartSim(int com, std::vector<std::string> extra) {
        std::vector<std::string> args = {kSimPath, "--com", std::to_string(com)};
        args.insert(args.end(), extra.begin(), extra.end());
        const pid_t pid = Spawn(args, "/dev/null", SimLogPath(com));
        ASSERT_GT(pid, 0);
        m_sims[com] = pid;
        const fs::path link = fs::path(m_ports.Path()) / ("COM" + std::to_string(com));
        const auto deadline = Clock::now() + milliseconds(5000);
        while (!fs::exists(link) && Clock::now() < deadline) {
            std::this_thread::sleep_for(milliseconds(10));
        }
        ASSERT_TRUE(fs::exists(link)) << SimLog(com);
    }

    fs::path SimLogPath(int com) const { return File("sim" + std::to_string(com) + ".log"); }
    std::string SimLog(int com) const { return ReadFile(SimLogPath(com)); }

    CliRun Run(std::vector<std::string> args) {
        args.insert(args.begin(), kCliPath);
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
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(File("out.txt")),
                ReadFile(File("err.txt"))};
    }

    // Report rows by port, each a map from column name to cell.
    std::map<std::string, std::map<std::string, std::string>> Report(const std::string& name) {
        std::string error;
        const auto rows = ParseCsv(ReadFile(File(name)), error);
        EXPECT_TRUE(rows && !rows->empty()) << error;
        std::map<std::string, std::map<std::string, std::string>> byPort;
        if (!rows || rows->empty()) {
            return byPort;
        }
        const CsvRow& header = rows->front();
        for (std::size_t r = 1; r < rows->size(); ++r) {
            std::map<std::string, std::string> cells;
            for (std::size_t c = 0; c < header.size() && c < (*rows)[r].size(); ++c) {
                cells[header[c]] = (*rows)[r][c];
            }
            byPort[cells["port"]] = cells;
        }
        return byPort;
    }

    CPortDirFixture m_ports;
    std::map<int, pid_t> m_sims;
};

// An echoing line, a unit that logs 110 bytes right after "+CONFIG OK", answers split by 300 ms stalls, and
// a first read answer with a flipped bit: each unit is written, verified and reported ok. The answer time is
// generous, so that only a failure to recognise an answer can fail the run, never a slow machine.
TEST_F(CliAnswersE2E, MisbehavingLinesAndUnitsAreStillWrittenAndVerified) {
    StartSim(1, {"--echo"});
    StartSim(2, {"--log-after-ok", "110"});
    StartSim(3, {"--stall", "300"});
    StartSim(4, {"--flip-bit", "once"});
    StartSim(5, {"--echo", "--log-after-ok", "110", "--stall", "300"});
    std::ofstream(File("profile.json")) << R"({"apn": "line-apn"})";
    std::ofstream(File("units.csv")) << "port,device_id\nCOM1,U-1\nCOM2,U-2\nCOM3,U-3\nCOM4,U-4\nCOM5,U-5\n";

    const CliRun write = Run({"write", File("profile.json").string(), "--units", File("units.csv").string(),
                              "--report", File("report.csv").string(), "-v", "--timeout", "5000"});
    ASSERT_EQ(write.code, 0) << Describe(write);
    auto rows = Report("report.csv");
    ASSERT_EQ(rows.size(), 5u);
    for (int com = 1; com <= 5; ++com) {
        const std::string port = "COM" + std::to_string(com);
        EXPECT_EQ(rows[port]["result"], "ok") << port << ": " << rows[port]["message"];
        EXPECT_EQ(rows[port]["device_id"], "U-" + std::to_string(com));
        EXPECT_EQ(Count(SimLog(com), "(save)"), 1u) << SimLog(com);
    }
    // The damaged record was retried, and -v said why.
    EXPECT_NE(SimLog(4).find("flipped"), std::string::npos) << SimLog(4);
    EXPECT_NE(write.err.find("COM4  reading failed: the record arrived damaged"), std::string::npos)
        << write.err;

    const CliRun verify = Run({"verify", File("profile.json").string(), "--units", File("units.csv").string(),
                               "--timeout", "5000"});
    EXPECT_EQ(verify.code, 0) << Describe(verify);
}

// A line that flips a bit in every read answer: nothing is written to a file or to the device.
TEST_F(CliAnswersE2E, ADamagedRecordIsNeverKeptOrBuiltOn) {
    StartSim(1, {"--flip-bit", "always"});
    const CliRun read = Run({"read", "COM1", "-o", File("golden.json").string(), "--retries", "1"});
    EXPECT_EQ(read.code, 4) << Describe(read);
    EXPECT_FALSE(fs::exists(File("golden.json")));
    EXPECT_NE(
        read.err.find("no-answer: no intact parameter record in answer to 2 reads (the last: the record "
                      "arrived damaged: its checksum is 0x"),
        std::string::npos)
        << read.err;
    EXPECT_EQ(Count(SimLog(1), "(read)"), 2u) << SimLog(1);

    std::ofstream(File("profile.json")) << R"({"apn": "x"})";
    const CliRun write = Run({"write", "COM1", File("profile.json").string()});
    EXPECT_EQ(write.code, 4) << Describe(write);
    EXPECT_EQ(SimLog(1).find("(save)"), std::string::npos) << SimLog(1);
}

// The unit takes the save, but every read-back is damaged: saved-unverified, exit 1, the report row
// carrying the record the unit took, and the save sent once.
TEST_F(CliAnswersE2E, ASaveTakenButNeverReadBackIsSavedUnverified) {
    StartSim(1, {"--flip-bit", "after-save"});
    std::ofstream(File("profile.json")) << R"({"apn": "after"})";
    const CliRun write = Run({"write", "COM1", File("profile.json").string(), "--set", "device_id=UNIT-0042",
                              "--report", File("report.csv").string()});
    EXPECT_EQ(write.code, 1) << Describe(write);
    auto rows = Report("report.csv");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows["COM1"]["result"], "saved-unverified");
    EXPECT_EQ(rows["COM1"]["device_id"], "UNIT-0042");
    EXPECT_NE(rows["COM1"]["message"].find("the device took the save (+CONFIG OK), but no intact record came "
                                           "back in 3 reads"),
              std::string::npos)
        << rows["COM1"]["message"];
    EXPECT_EQ(Count(SimLog(1), "(save)"), 1u);
    EXPECT_EQ(Count(SimLog(1), "(read)"), 4u) << SimLog(1);
}

}  // namespace
