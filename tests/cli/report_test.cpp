// What a device says reaches the operator's terminal and spreadsheet only as data.
#include "cli/report.h"

#include <gtest/gtest.h>

#include "cli/batch.h"
#include "cli/console.h"
#include "text/gbk.h"

namespace {

TEST(DeviceText, ControlCharactersAreShownNotObeyed) {
    const struct {
        std::string_view text;
        std::string shown;
    } cases[] = {
        {"DTU-0001 设备", "DTU-0001 设备"},
        {"\x1b]2;PWNED\a\x1b[1A", "\\x1b]2;PWNED\\x07\\x1b[1A"},
        {"\x1b[2J\x1b[H", "\\x1b[2J\\x1b[H"},
        {"a\r\nb\tc\x7f", "a\\x0d\\x0ab\\x09c\\x7f"},
        {"\xc2\x9b"
         "31m",
         "\\u009b31m"},  // CSI as a UTF-8 C1 character
        {"\x9b"
         "31m\xff",
         "\\x9b31m\\xff"},           // bytes that are no UTF-8
        {"\xe4\xb8", "\\xe4\\xb8"},  // a character cut short
        {std::string_view("a\0b", 3), "a\\x00b"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(VisibleText(c.text), c.shown) << c.shown;
    }

    // Progress lines, as a log or a line controller reads them.
    const PortTarget target{"COM1", "/dev/ttyUSB0", 1, std::nullopt};
    std::FILE* log = std::tmpfile();
    ASSERT_NE(log, nullptr);
    CProgressLines progress({target}, log, false);
    progress.Step(target, "reading \x1b]2;PWNED\a");
    std::rewind(log);
    char line[128] = {};
    ASSERT_NE(std::fgets(line, sizeof line, log), nullptr);
    std::fclose(log);
    EXPECT_STREQ(line, "COM1  reading \\x1b]2;PWNED\\x07 ...\n");
}

TEST(Report, CellsAreDefusedAndTheSignalIsTheParsedNumber) {
    const struct {
        std::string_view text;
        std::string cell;
    } cells[] = {
        {"=HYPERLINK(\"x\")", "'=HYPERLINK(\"x\")"},
        {"+1", "'+1"},
        {"-2+3", "'-2+3"},
        {"@SUM(A1)", "'@SUM(A1)"},
        {"\tx", "\\x09x"},
        {"\r=1", "\\x0d=1"},
        {"DTU=1", "DTU=1"},
        {"", ""},
    };
    for (const auto& c : cells) {
        EXPECT_EQ(DefusedCell(c.text), c.cell) << c.cell;
    }

    const struct {
        std::optional<CsqValue> csq;
        std::string text;
    } signals[] = {
        {std::nullopt, ""},
        {CsqValue{22}, "22 (-69 dBm)"},
        {CsqValue{0}, "0 (-113 dBm or less)"},
        {CsqValue{99}, "99 (not known)"},
    };
    for (const auto& s : signals) {
        EXPECT_EQ(SignalText(s.csq), s.text) << s.text;
    }

    // A whole row of a hostile device: its ID is a formula and its signal answer an escape sequence.
    PortResult result;
    result.command = "read";
    result.target = PortTarget{"COM1", "/dev/ttyUSB0", 1, std::nullopt};
    result.outcome = Outcome::Ok;
    result.message = "-read";
    DeviceParams record;
    const std::string id = "=1+2\x1b[1A";
    std::copy(id.begin(), id.end(), record.device_id.begin());
    result.record = record;
    // A hostile signal answer never becomes a value: only a parsed CSQ number reaches the row.
    result.signal = ParseCsqField("\x1b[2J");
    EXPECT_FALSE(result.signal);
    // Identity comes from the module: data like every device text.
    result.identity.imei = "864510007405254";
    result.identity.firmware = "=HYPERLINK(\"x\")";
    const CsvRow row = ReportRow(result, std::chrono::system_clock::now());
    const CsvRow header = ReportHeader();
    const auto cell = [&](std::string_view name) {
        return row.at(
            static_cast<std::size_t>(std::find(header.begin(), header.end(), name) - header.begin()));
    };
    EXPECT_EQ(cell("device_id"), "'=1+2\\x1b[1A");
    EXPECT_EQ(cell("signal"), "");
    EXPECT_EQ(cell("imei"), "864510007405254");
    EXPECT_EQ(cell("iccid"), "");
    EXPECT_EQ(cell("module_firmware"), "'=HYPERLINK(\"x\")");
    EXPECT_EQ(cell("message"), "'-read");
    EXPECT_EQ(cell("port"), "COM1");
    // The end-of-run line shows the same facts, escaped.
    EXPECT_EQ(VisibleText(ResultLine(result)), "ok: -read (=1+2\\x1b[1A)");
}

}  // namespace
