// Throughput with a capture to a file running beside the display: the capture is started as the menu's
// dialog starts it, and afterwards the file is read back against the very stream the feeder wrote.
#include <QString>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <vector>

#include "app/capture_control.h"
#include "app/quendal_dlg.h"
#include "bench/benches.h"

bool StartBenchCapture(CQuendalDlg& dlg, const std::string& format, const std::string& path) {
    if (format != "raw" && format != "text") {
        std::fprintf(stderr, "--log is raw or text\n");
        return false;
    }
    CaptureRequest request;
    request.path = QString::fromStdString(path);
    request.options.format = format == "raw" ? CaptureOptions::Format::Raw : CaptureOptions::Format::Text;
    return dlg.Capture().Start(request);
}

std::uint64_t CaptureShortfall(const std::string& format, const std::string& path, StreamKind kind,
                               std::uint64_t total) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    std::string file = all.str();
    if (format == "text") {
        // Each line's "[date time] " off, and the line end the stop adds to an open last line.
        std::string bytes;
        for (std::size_t at = 0; at < file.size();) {
            at = std::min(at + 26, file.size());
            const std::size_t end = std::min(file.find('\n', at), file.size() - 1) + 1;
            bytes.append(file, at, end - at);
            at = end;
        }
        file = std::move(bytes);
    }
    StreamSource source(kind);
    std::vector<std::uint8_t> chunk(64 * 1024);
    std::uint64_t same = 0;
    for (std::uint64_t at = 0; at < total; at += chunk.size()) {
        source.Fill(chunk);
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), total - at));
        for (std::size_t i = 0; i < n && at + i < file.size(); ++i) {
            if (static_cast<std::uint8_t>(file[at + i]) != chunk[i]) {
                std::fprintf(stderr, "the log differs from the stream at byte %llu\n",
                             static_cast<unsigned long long>(at + i));
                return total - same;
            }
            ++same;
        }
    }
    const bool endsOpen = format == "text" && file.size() == total + 1 && file.back() == '\n';
    if (file.size() != total && !endsOpen) {
        std::fprintf(stderr, "the log holds %zu bytes of the stream's %llu\n", file.size(),
                     static_cast<unsigned long long>(total));
    }
    return total - same;
}
