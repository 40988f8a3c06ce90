// The command line's plan: the arguments as typed, through ParseArgs and BuildRunPlan, to a plan or the
// refusal that ends the program with 2. No port is opened: the ports named need not even exist. Linux
// only, as COM names resolve through a port directory of the test's own and ports are named by path too.
#include "cli/run_plan.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <variant>
#include <vector>

#include "protocol/record_view.h"
#include "tests/support/pty_fixture.h"

namespace {

namespace fs = std::filesystem;

class RunPlanTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_work = fs::path(m_ports.Path()) / "work";
        fs::create_directory(m_work);
    }

    std::string File(const std::string& name, std::string_view content = {}) const {
        const fs::path path = m_work / name;
        if (!content.empty()) {
            std::ofstream(path, std::ios::binary) << content;
        }
        return path.string();
    }

    static std::variant<RunPlan, PlanError> Plan(std::vector<std::string> args) {
        args.insert(args.begin(), "quendal-cli");
        const ParsedArgs parsed = ParseArgs(args);
        if (!parsed.args) {
            return PlanError{"parse ended with " + std::to_string(parsed.exitCode)};
        }
        return BuildRunPlan(*parsed.args);
    }

    static std::string ValueOf(const Profile& profile, std::string_view name) {
        const ProfileField* field = FindProfileField(name);
        const auto& value = profile.Value(static_cast<std::size_t>(field - ProfileFields().data()));
        if (!value) {
            return "(none)";
        }
        return std::holds_alternative<std::string>(*value) ? std::get<std::string>(*value)
                                                           : std::to_string(std::get<int64_t>(*value));
    }

    CPortDirFixture m_ports;
    fs::path m_work;
};

TEST_F(RunPlanTest, EveryRefusalIsAPlanErrorWithItsReason) {
    const std::string good = File("good.json", R"({"apn": "x"})");
    const std::string id = File("id.json", R"({"apn": "x", "device_id": "SAME"})");
    const std::string units = File("units.csv", "port,device_id\nCOM1,A\nCOM2,B\n");
    const std::string oneRow = File("one.csv", "port,device_id\nCOM1,A\n");
    const std::string twice = File("twice.csv", "port,device_id,device_id\nCOM1,A,B\nCOM2,C,D\n");
    const std::string longId = File("long.csv", "port,device_id\nCOM1,0123456789abcdef\n");
    const std::string link = (fs::path(m_ports.Path()) / "COM2").string();
    fs::create_symlink("/dev/null", link);
    fs::create_directory(File("folder"));
    const struct {
        std::string json;  // the profile, when the case has one
        std::vector<std::string> args;
        std::string message;  // a part of it
    } cases[] = {
        // The profile and what goes over it.
        {R"({"apn": "x", "colour": "red"})", {}, "colour: not a profile field"},
        {R"({"heartbeat_period": "60"})", {}, "heartbeat_period: must be a whole number"},
        {R"({"apn": "中中中中中中中中中中中中中中中中"})",
         {},
         "apn: 32 bytes in GBK; the field takes at most 31"},
        {R"({"remote1_port": 70000})", {}, "remote1_port: 70000 is outside 0 to 65535"},
        {R"({"apn": "x"})", {"--set", "remote3_port=70000"}, "remote3_port: 70000 is outside 0 to 65535"},
        {R"({"apn": "x"})", {"--set", "colour=red"}, "colour: not a profile field"},
        {"{\"apn\": ", {}, "not valid JSON"},
        // The command line itself.
        {"", {"write", "COM1", good, "--set", "apn=a", "--set", "apn=b"}, "--set apn is given twice"},
        {"", {"write", "COM1", good, "--set", "apn"}, "--set takes FIELD=VALUE, not \"apn\""},
        {"", {"write", "COM1", good, "--units", twice}, "column \"device_id\" is given twice"},
        {"",
         {"write", "COM1", good, "--units", longId},
         "row 2: device_id: 16 bytes in GBK; the field takes at most 15"},
        {"", {"write", "COM1", "COM2", good, "--units", oneRow}, oneRow + ": no row for COM2"},
        {"",
         {"write", "COM1", "COM2", id},
         "COM1 and COM2 would both get device_id \"SAME\"; give each unit"},
        {"", {"write", "COM1", "COM2", good, "--set", "device_id=SAME"}, "would both get device_id \"SAME\""},
        {"", {"write", "COM2", link, good}, "COM2 and " + link + " are one device"},
        {"", {"read", "COM1", "com1"}, "COM1 is given twice"},
        {"", {"write", "COM1", File("none.json")}, "cannot read " + File("none.json")},
        {"", {"write"}, "a profile file is needed"},
        {"", {"read"}, "no port given"},
        {"", {"read", "--parity", "X", "COM1"}, "--parity takes N, O, E, NONE, ODD or EVEN, not \"X\""},
        {"", {"signal", "COM256"}, "COM256: ports are COM1 to COM255"},
        {"", {"reboot", "tty1"}, "\"tty1\" is neither COMn nor a device path"},
        // The files the run would write.
        {"",
         {"write", "COM1", good, "--report", File("folder")},
         "--report: " + File("folder") + " is a folder, not a regular file; nothing was sent"},
        {"",
         {"write", "COM1", good, "--report", "/nonexistent/r.csv"},
         "--report: cannot write into /nonexistent"},
        {"", {"read", "COM1", "-o", "/dev/null"}, "-o: /dev/null is a device, not a regular file"},
        {"", {"read", "COM1", "COM2", "-o", File("none/{port}.json")}, "-o: cannot write into"},
        {"",
         {"read", "COM1,COM2", "-o", File("p.json")},
         "with several ports, -o needs {port} in the file name"},
        {"", {"read", "COM1", "COM2"}, "with several ports, read needs -o FILE with {port} in the name"},
        // A signal survey.
        {"", {"signal", "COM1", "--count", "3"}, "--count needs --watch SECONDS"},
        {"", {"signal", "COM1", "--log", File("s.csv")}, "--log needs --watch SECONDS"},
        {"", {"signal", "COM1", "COM2", "--watch", "1"}, "signal --watch surveys one port at a time"},
        {"", {"signal", "COM1", "--watch", "1", "--report", File("r.csv")}, "with --log, not --report"},
        {"",
         {"signal", "COM1", "--watch", "1", "--log", File("folder")},
         "--log: " + File("folder") + " is a folder, not a regular file; nothing was sent"},
        // A monitor.
        {"", {"monitor", "COM1", "COM2"}, "monitor watches one port at a time"},
        {"", {"monitor", "COM1", "--append"}, "--append needs --log FILE"},
        {"", {"monitor", "COM1", "--log", "/dev/null"}, "--log: /dev/null is a device, not a regular file"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = c.args;
        if (!c.json.empty()) {
            args = {"write", "COM1", "COM2", File("bad.json", c.json), "--units", units};
            args.insert(args.end(), c.args.begin(), c.args.end());
        }
        SCOPED_TRACE(c.message);
        const auto planned = Plan(args);
        ASSERT_TRUE(std::holds_alternative<PlanError>(planned));
        EXPECT_NE(std::get<PlanError>(planned).message.find(c.message), std::string::npos)
            << std::get<PlanError>(planned).message;
    }
    // Not the plan's but CLI11's: an option that is none ends the parse with 2.
    EXPECT_EQ(ParseArgs({"quendal-cli", "read", "COM1", "--colour"}).exitCode, kExitUsage);
}

TEST_F(RunPlanTest, AGoodPlanHoldsPortsProfilesAndOutputs) {
    const std::string profile = File("profile.json", R"({"apn": "line-apn", "heartbeat_period": 30})");
    const std::string units = File("units.csv", "port,device_id\nCOM3,U-3\nCOM1,U-1\n");
    const std::string report = File("report.csv");

    // Ports come from the units file when none are given; a device ID shared through --set is allowed
    // only with --same-id.
    auto planned = Plan({"write", profile, "--units", units, "--report", report, "--dry-run", "--parity",
                         "even", "--baud", "115200", "--timeout", "500", "--retries", "0", "-v"});
    ASSERT_TRUE(std::holds_alternative<RunPlan>(planned)) << std::get<PlanError>(planned).message;
    RunPlan plan = std::get<RunPlan>(planned);
    EXPECT_EQ(plan.command, Command::Write);
    ASSERT_EQ(plan.targets.size(), 2u);
    EXPECT_EQ(plan.targets[0].label, "COM1");
    EXPECT_EQ(plan.targets[1].label, "COM3");
    EXPECT_EQ(ValueOf(plan.profiles.at("COM3"), "device_id"), "U-3");
    EXPECT_EQ(ValueOf(plan.profiles.at("COM1"), "apn"), "line-apn");
    EXPECT_EQ(ValueOf(plan.profiles.at("COM1"), "heartbeat_period"), "30");
    EXPECT_TRUE(plan.dryRun);
    EXPECT_EQ(plan.report, report);
    EXPECT_EQ(plan.settings.line.baud, 115200);
    EXPECT_EQ(plan.settings.line.parity, 'E');
    EXPECT_EQ(plan.settings.answerTime, std::chrono::milliseconds(500));
    EXPECT_EQ(plan.settings.retries, 0);
    EXPECT_TRUE(plan.settings.verbose);
    EXPECT_FALSE(fs::exists(report));  // looked at, not made

    planned = Plan({"write", "COM2,COM4", profile, "-p", "COM5", "--set", "device_id=SAME", "--same-id"});
    ASSERT_TRUE(std::holds_alternative<RunPlan>(planned)) << std::get<PlanError>(planned).message;
    plan = std::get<RunPlan>(planned);
    ASSERT_EQ(plan.targets.size(), 3u);
    EXPECT_EQ(plan.targets[2].label, "COM5");
    EXPECT_EQ(ValueOf(plan.profiles.at("COM4"), "device_id"), "SAME");
    EXPECT_FALSE(plan.dryRun);

    // read: a file per port, named after it; a device path's slashes become underscores.
    planned = Plan({"read", "COM1,/dev/ttyQ9", "-o", File("{port}.json"), "--raw"});
    ASSERT_TRUE(std::holds_alternative<RunPlan>(planned)) << std::get<PlanError>(planned).message;
    plan = std::get<RunPlan>(planned);
    EXPECT_TRUE(plan.ToFiles());
    EXPECT_TRUE(plan.raw);
    EXPECT_TRUE(plan.profiles.empty());
    ASSERT_EQ(plan.targets.size(), 2u);
    EXPECT_EQ(plan.OutputFor(plan.targets[0]), File("COM1.json"));
    EXPECT_EQ(plan.OutputFor(plan.targets[1]), File("_dev_ttyQ9.json"));

    planned = Plan({"read", "COM7", "-o", "-"});
    ASSERT_TRUE(std::holds_alternative<RunPlan>(planned));
    EXPECT_FALSE(std::get<RunPlan>(planned).ToFiles());
}

}  // namespace
