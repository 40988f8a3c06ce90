// quendal-cli's operations on one port, with the test playing the device on a pseudo-terminal: what the
// module's signal answer turns into.
#include "cli/operations.h"

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>

#include "tests/support/pty_fixture.h"

namespace {

using namespace std::chrono_literals;

class CNoProgress final : public IProgress {
  public:
    void Step(const PortTarget&, const std::string&) override {}
};

TEST(OperationsPty, TheSignalIsOkOnlyWithACsqValue) {
    const struct {
        std::string answer;
        Outcome outcome;
        std::optional<int> rssi;
        std::string message;  // a part of it
    } cases[] = {
        {"+CONFIG CMD:\r\n+CSQ: 22,99\r\n\r\nOK\r\n", Outcome::Ok, 22, "CSQ 22, -69 dBm"},
        {"+CONFIG CMD:\r\n+CSQ: 99,99\r\n\r\nOK\r\n", Outcome::Ok, 99, "CSQ 99, not known"},
        {"+CONFIG CMD:\r\n+CSQ: abc,99\r\n\r\nOK\r\n", Outcome::Refused, std::nullopt,
         "+CSQ: line holds no CSQ value: \"abc,99\""},
        {"+CONFIG CMD:\r\n+CSQ: 40,99\r\n", Outcome::Refused, std::nullopt, "no CSQ value: \"40,99\""},
        {"+CONFIG CMD:\r\nERROR\r\n", Outcome::Refused, std::nullopt, "the module answered \"ERROR\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer);
        CPortDirFixture ports;
        CPtyFixture pty;
        ASSERT_TRUE(pty.IsValid()) << pty.Error();
        ASSERT_FALSE(pty.LinkAs(ports.Path(), 5).empty());
        std::string error;
        const auto target = ParsePortArgument("COM5", error);
        ASSERT_TRUE(target) << error;

        std::string query;
        std::thread device([&] {
            const auto bytes = pty.Read(22, 10s);
            query.assign(bytes.begin(), bytes.end());
            pty.Write(c.answer, 1s);
        });
        RunSettings settings;
        settings.retries = 0;
        CNoProgress progress;
        const PortResult result = RunSignal(*target, settings, progress);
        device.join();

        EXPECT_EQ(query, "DTU+CONFIG=CMD:AT+CSQ\r");
        EXPECT_EQ(result.outcome, c.outcome) << result.message;
        EXPECT_NE(result.message.find(c.message), std::string::npos) << result.message;
        ASSERT_EQ(result.signal.has_value(), c.rssi.has_value());
        if (result.signal) {
            EXPECT_EQ(result.signal->rssi, *c.rssi);
        }
    }
}

}  // namespace
