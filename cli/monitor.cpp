#include "cli/monitor.h"

#include "cli/console.h"
#include "cli/owner_file.h"
#include "cli/port_run.h"
#include "terminal/capture_writer.h"

namespace {

// How long a trailing UTF-8 sequence still lacks bytes: 0 when text ends on a whole character (or on
// bytes that will never make one, which are escaped at once).
std::size_t UnfinishedTail(std::string_view text) {
    for (std::size_t back = 1; back <= 3 && back <= text.size(); ++back) {
        const auto byte = static_cast<unsigned char>(text[text.size() - back]);
        if ((byte & 0xC0) == 0x80) {
            continue;
        }
        const std::size_t length = byte >= 0xC2 && byte <= 0xDF   ? 2
                                   : byte >= 0xE0 && byte <= 0xEF ? 3
                                   : byte >= 0xF0 && byte <= 0xF4 ? 4
                                                                  : 0;
        return length > back ? back : 0;
    }
    return 0;
}

std::string Plural(std::uint64_t n, const char* one) {
    return std::to_string(n) + " " + one + (n == 1 ? "" : "s");
}

}  // namespace

void CScreenText::Add(std::string_view text, std::string& out) {
    m_waiting.append(text);
    std::string line;
    std::size_t at = 0;
    for (; at < m_waiting.size(); ++at) {
        const char c = m_waiting[at];
        if (c == '\r' && at + 1 == m_waiting.size()) {
            break;  // its LF may be in the next piece
        }
        if (c == '\r' && m_waiting[at + 1] == '\n') {
            continue;
        }
        if (c == '\n') {
            out += VisibleText(line);
            out += '\n';
            line.clear();
            continue;
        }
        line += c;
    }
    const std::size_t tail = UnfinishedTail(line);
    out += VisibleText(std::string_view(line).substr(0, line.size() - tail));
    m_waiting = line.substr(line.size() - tail) + m_waiting.substr(at);
}

void CScreenText::End(std::string& out) {
    out += VisibleText(m_waiting);
    m_waiting.clear();
}

PortResult RunMonitor(const PortTarget& target, const RunSettings& settings, const MonitorSettings& monitor,
                      std::FILE* out, IProgress& progress) {
    port_run::CPortRun run("monitor", target, settings, progress);
    if (!run.Open()) {
        return run.Result();
    }
    std::unique_ptr<CCaptureWriter> writer;
    if (!monitor.log.empty()) {
        CaptureOptions options;
        options.format = monitor.hex          ? CaptureOptions::Format::Hex
                         : monitor.timestamps ? CaptureOptions::Format::Text
                                              : CaptureOptions::Format::Raw;
        options.timestamps = monitor.timestamps;
        options.append = monitor.append;
        std::string error;
        writer = CCaptureWriter::Start(PathFromUtf8(monitor.log), options, {}, error);
        if (!writer) {
            return run.Finish(Outcome::Refused, "--log: " + error);
        }
    }
    CCaptureLines lines(monitor.hex ? CCaptureLines::Body::Hex : CCaptureLines::Body::Text,
                        monitor.timestamps, false);
    CScreenText screen;
    std::string text;
    std::string shown;
    std::uint64_t received = 0;
    const auto put = [out](const std::string& bytes) {
        std::fwrite(bytes.data(), 1, bytes.size(), out);
        std::fflush(out);
    };
    const auto show = [&] {
        if (monitor.hex) {
            put(text);
        } else {
            shown.clear();
            screen.Add(text, shown);
            put(shown);
        }
        text.clear();
    };
    run.Session().SetReceiveTap([&](std::span<const std::uint8_t> bytes) {
        received += bytes.size();
        if (writer) {
            writer->Received(bytes);
            return;
        }
        lines.Add(CaptureDirection::Received, bytes, std::chrono::system_clock::now(), text);
        show();
    });
    run.Step(writer ? "logging to " + monitor.log + "; Ctrl-C ends it" : "monitoring; Ctrl-C ends it");
    bool lost = false;
    while (!progress.Stopping() && !lost && !(writer && writer->Failed())) {
        lost = !run.Session().Pump(std::chrono::steady_clock::now() + std::chrono::milliseconds(100));
    }
    // Runs already handed over still belong to the capture.
    lost = !run.Session().Pump(std::chrono::steady_clock::now()) || lost;
    std::string logError;
    if (writer) {
        logError = writer->Stop();
    } else {
        lines.End(text);
        show();
        shown.clear();
        screen.End(shown);
        put(shown);
    }
    std::string summary = Plural(received, "byte") + " received";
    if (writer) {
        summary += ", " + Plural(writer->BytesWritten(), "byte") + " written to " + monitor.log;
    }
    if (!logError.empty()) {
        return run.Finish(Outcome::Refused, "logging stopped: " + logError + " (" + summary + ")");
    }
    if (lost) {
        run.Lost();
        run.Result().message += " (" + summary + ")";
        return run.Result();
    }
    return run.Finish(Outcome::Ok, summary + "; stopped by interrupt");
}
