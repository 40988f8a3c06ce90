// The capture writer: the lines it makes of received and sent bytes (written by hand here), and that the
// file holds exactly the bytes handed over, however they were cut and however fast they came.
#include "terminal/capture_writer.h"

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::system_clock;
using Bytes = std::vector<std::uint8_t>;
using std::chrono::milliseconds;

Bytes B(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

// 2026-12-07 20:04:19 local time, plus ms.
Clock::time_point At(int ms) {
    std::tm local{};
    local.tm_year = 2026 - 1900;
    local.tm_mon = 11;
    local.tm_mday = 7;
    local.tm_hour = 20;
    local.tm_min = 4;
    local.tm_sec = 19;
    local.tm_isdst = -1;
    return Clock::from_time_t(std::mktime(&local)) + milliseconds(ms);
}

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

fs::path TempPath(const std::string& name) {
    const fs::path dir =
        fs::temp_directory_path() / ("quendal-capture-" + std::to_string(std::random_device{}()) + "-" +
                                     std::to_string(Clock::now().time_since_epoch().count()));
    fs::create_directories(dir);
    return dir / name;
}

TEST(CaptureLines, LinesStartWithTheirTimeAndSayTheirDirectionWhenMarked) {
    using Body = CCaptureLines::Body;
    constexpr auto RX = CaptureDirection::Received;
    constexpr auto TX = CaptureDirection::Sent;
    struct Step {
        CaptureDirection direction;
        int ms;
        std::string_view bytes;
    };
    struct Case {
        const char* name;
        Body body;
        bool timestamps;
        bool marked;
        std::vector<Step> steps;
        std::string_view want;
    };
    const Case cases[] = {
        {"text lines keep the bytes and end after LF",
         Body::Text,
         true,
         false,
         {{RX, 5, "AT\r\nO"}, {RX, 1234, "K\r\n\n"}},
         "[2026-12-07 20:04:19.005] AT\r\n[2026-12-07 20:04:19.005] OK\r\n[2026-12-07 20:04:20.234] \n"},
        {"a line open at the end is ended",
         Body::Text,
         true,
         false,
         {{RX, 0, "abc"}},
         "[2026-12-07 20:04:19.000] abc\n"},
        {"no times: the bytes alone", Body::Text, false, false, {{RX, 0, "a\nb"}}, "a\nb\n"},
        {"sent bytes interrupt a line and are marked",
         Body::Text,
         true,
         true,
         {{RX, 1, "OK"}, {TX, 2, "AT\r"}, {RX, 3, "\r\n"}},
         "[2026-12-07 20:04:19.001] RX OK\n[2026-12-07 20:04:19.002] TX AT\r\n"
         "[2026-12-07 20:04:19.003] RX \r\n"},
        {"hex: 16 to a line",
         Body::Hex,
         false,
         false,
         {{RX, 0, "0123456789abcdefXY"}},
         "30 31 32 33 34 35 36 37 38 39 61 62 63 64 65 66\n58 59\n"},
        {"hex: a quiet spell ends the line",
         Body::Hex,
         true,
         false,
         {{RX, 0, "\x01\x02"}, {RX, 99, "\xFF"}, {RX, 199, "\x0A"}},
         "[2026-12-07 20:04:19.000] 01 02 FF\n[2026-12-07 20:04:19.199] 0A\n"},
        {"hex: marked directions", Body::Hex, false, true, {{TX, 0, "A"}, {RX, 0, "B"}}, "TX 41\nRX 42\n"},
    };
    for (const Case& c : cases) {
        CCaptureLines lines(c.body, c.timestamps, c.marked);
        std::string out;
        for (const Step& step : c.steps) {
            lines.Add(step.direction, B(step.bytes), At(step.ms), out);
        }
        lines.End(out);
        EXPECT_EQ(out, c.want) << c.name;
    }
}

// Every line's "[date time] " taken off; false when a line does not start with one.
bool StripTimes(const std::string& text, std::string& bytes) {
    constexpr std::size_t kTime = 26;  // "[2026-12-07 20:04:19.123] "
    for (std::size_t at = 0; at < text.size();) {
        if (text.size() - at < kTime || text[at] != '[' || text.compare(at + kTime - 2, 2, "] ") != 0) {
            return false;
        }
        at += kTime;
        const std::size_t end = std::min(text.find('\n', at), text.size() - 1) + 1;
        bytes.append(text, at, end - at);
        at = end;
    }
    return true;
}

bool ParseHex(const std::string& text, Bytes& bytes) {
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.size() < 26) {
            return false;
        }
        std::istringstream pairs(line.substr(26));
        std::string pair;
        while (pairs >> pair) {
            bytes.push_back(static_cast<std::uint8_t>(std::stoul(pair, nullptr, 16)));
        }
    }
    return true;
}

TEST(CaptureWriter, TheFileHoldsExactlyTheBytesHandedOverInAnyPiecesAtAnySpeed) {
    for (const auto format :
         {CaptureOptions::Format::Raw, CaptureOptions::Format::Text, CaptureOptions::Format::Hex}) {
        std::mt19937 random(20261207u + static_cast<unsigned>(format));
        Bytes sent;
        const fs::path path = TempPath("capture.log");
        std::string error;
        CaptureOptions options;
        options.format = format;
        auto writer = CCaptureWriter::Start(path, options, {}, error);
        ASSERT_TRUE(writer) << error;
        // A flood: 4 MiB in pieces of 1 byte to 8 KiB, with line ends among them, as fast as the thread
        // can hand them over; the hex capture gets less, its file being three times larger.
        const std::size_t total = format == CaptureOptions::Format::Hex ? (1u << 20) : (4u << 20);
        while (sent.size() < total) {
            Bytes piece(1 + random() % (random() % 4 == 0 ? 8192 : 64));
            for (auto& byte : piece) {
                byte = static_cast<std::uint8_t>(random() % 8 == 0 ? '\n' : random());
            }
            sent.insert(sent.end(), piece.begin(), piece.end());
            writer->Received(piece);
        }
        EXPECT_EQ(writer->Stop(), "");
        const std::string file = ReadAll(path);
        EXPECT_EQ(writer->BytesWritten(), file.size());
        if (format == CaptureOptions::Format::Raw) {
            EXPECT_TRUE(file == std::string(sent.begin(), sent.end())) << "raw capture differs";
        } else if (format == CaptureOptions::Format::Text) {
            std::string bytes;
            ASSERT_TRUE(StripTimes(file, bytes));
            // The last line is ended for the file's sake.
            if (sent.back() != '\n') {
                sent.push_back('\n');
            }
            EXPECT_TRUE(bytes == std::string(sent.begin(), sent.end())) << "text capture differs";
        } else {
            Bytes bytes;
            ASSERT_TRUE(ParseHex(file, bytes));
            EXPECT_TRUE(bytes == sent) << "hex capture differs";
        }
        fs::remove_all(path.parent_path());
    }
}

TEST(CaptureWriter, SentBytesGoOnlyIntoLinesAndAnAppendKeepsWhatWasThere) {
    const fs::path path = TempPath("both.log");
    std::ofstream(path, std::ios::binary) << "before\n";
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write);
    std::string error;
    CaptureOptions raw;
    raw.includeSent = true;
    raw.append = true;
    auto writer = CCaptureWriter::Start(path, raw, {}, error);
    ASSERT_TRUE(writer) << error;
    writer->Received(B("in"));
    writer->Sent(B("out"));
    EXPECT_EQ(writer->Stop(), "");
    EXPECT_EQ(ReadAll(path), "before\nin");

    CaptureOptions text;
    text.format = CaptureOptions::Format::Text;
    text.timestamps = false;
    text.includeSent = true;
    writer = CCaptureWriter::Start(path, text, {}, error);
    ASSERT_TRUE(writer) << error;
    writer->Sent(B("AT\r"));
    writer->Received(B("OK\r\n"));
    EXPECT_EQ(writer->Stop(), "");
    EXPECT_EQ(ReadAll(path), "TX AT\r\nRX OK\r\n");
    fs::remove_all(path.parent_path());
}

}  // namespace
