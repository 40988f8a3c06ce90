#include "bench/bench_support.h"

#include "tests/support/pty_fixture.h"
#include "text/gbk.h"

#include <poll.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string_view>

BenchArgs::BenchArgs(int argc, char** argv, int first) {
    for (int i = first; i < argc; ++i) {
        if (std::strncmp(argv[i], "--", 2) != 0) {
            continue;
        }
        const std::string key = argv[i] + 2;
        const bool hasValue = i + 1 < argc && std::strncmp(argv[i + 1], "--", 2) != 0;
        m_values.insert_or_assign(key, std::string(hasValue ? argv[++i] : "1"));
    }
}

std::string BenchArgs::Text(const std::string& key, const std::string& fallback) const {
    auto it = m_values.find(key);
    return it == m_values.end() ? fallback : it->second;
}

std::uint64_t BenchArgs::Number(const std::string& key, std::uint64_t fallback) const {
    auto it = m_values.find(key);
    return it == m_values.end() ? fallback : std::strtoull(it->second.c_str(), nullptr, 10);
}

bool BenchArgs::Flag(const std::string& key, bool fallback) const {
    auto it = m_values.find(key);
    if (it == m_values.end()) {
        return fallback;
    }
    return it->second == "1" || it->second == "on" || it->second == "yes";
}

std::optional<StreamKind> TextStreamNamed(const std::string& name) {
    if (name == "text") {
        return StreamKind::kText;
    }
    if (name == "gbk") {
        return StreamKind::kGbk;
    }
    if (name == "mixed") {
        return StreamKind::kMixed;
    }
    if (name == "log") {
        return StreamKind::kLog;
    }
    if (name == "blanks") {
        return StreamKind::kBlanks;
    }
    return std::nullopt;
}

StreamSource::StreamSource(StreamKind kind) : m_kind(kind) {
    const char* line = kind == StreamKind::kGbk ? "温度二十三点五度，湿度百分之四十一，设备在线。"
                       : kind == StreamKind::kMixed ? "T=23.5C 湿度41% state=在线 id=DTU0001234\tok"
                       : kind == StreamKind::kLog
                           ? "[12:00:01.250] 信号强度: -67dBm (良好), APN=cmnet; 心跳包周期=60s"
                           : nullptr;
    if (line != nullptr) {
        // Empty without the system's GBK table: the run refuses such a stream before it starts.
        const std::optional<std::string> gbk = Utf8ToGbk(line);
        m_line = gbk ? *gbk + "\r\n" : std::string();
    }
    if (kind == StreamKind::kBlanks) {
        for (const std::string_view blank : {" ", "\v", "\f", "\xA1\xA1"}) {  // the last: GBK's U+3000
            for (std::size_t n = 0; n < 2048; n += blank.size()) {
                m_line += blank;
            }
        }
        m_line += "w\r\n";
    }
}

void StreamSource::Fill(std::vector<std::uint8_t>& chunk) {
    if (m_kind == StreamKind::kBinary) {
        for (std::uint8_t& byte : chunk) {
            // xorshift64: cheap, and every byte value turns up.
            m_state ^= m_state << 13;
            m_state ^= m_state >> 7;
            m_state ^= m_state << 17;
            byte = static_cast<std::uint8_t>(m_state >> 24);
        }
        return;
    }
    constexpr std::size_t kDigits = 4;  // "seq=" before the six digits
    std::size_t at = 0;
    while (at < chunk.size()) {
        const std::size_t take = std::min(m_line.size() - m_lineAt, chunk.size() - at);
        std::memcpy(chunk.data() + at, m_line.data() + m_lineAt, take);
        at += take;
        m_lineAt += take;
        if (m_lineAt == m_line.size()) {
            m_lineAt = 0;
            if (m_kind != StreamKind::kText) {
                continue;
            }
            // The next number, modulo a million.
            for (std::size_t i = kDigits + 5; i + 1 > kDigits; --i) {
                if (m_line[i] != '9') {
                    ++m_line[i];
                    break;
                }
                m_line[i] = '0';
            }
        }
    }
}

CFeeder::CFeeder(int masterFd, StreamKind kind, std::uint64_t total) : m_fd(masterFd), m_total(total) {
    m_thread = std::thread([this, kind] { Run(kind); });
}

CFeeder::~CFeeder() {
    Stop();
}

void CFeeder::Stop() {
    m_stop = true;
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void CFeeder::Run(StreamKind kind) {
    StreamSource source(kind);
    std::vector<std::uint8_t> chunk(64 * 1024);
    std::size_t have = 0;  // bytes of chunk not yet written
    std::size_t offset = 0;
    std::uint64_t written = 0;
    while (written < m_total && !m_stop) {
        if (have == 0) {
            source.Fill(chunk);
            offset = 0;
            have = static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), m_total - written));
        }
        const ssize_t n = write(m_fd, chunk.data() + offset, have);
        if (n > 0) {
            offset += static_cast<std::size_t>(n);
            have -= static_cast<std::size_t>(n);
            written += static_cast<std::uint64_t>(n);
            m_written = written;
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            break;
        } else {
            pollfd p{m_fd, POLLOUT, 0};
            poll(&p, 1, 50);
        }
    }
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    m_cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                   static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    m_done = true;
}

double MonotonicSeconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

double ProcessCpuSeconds() {
    timespec cpu{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu);
    return static_cast<double>(cpu.tv_sec) + static_cast<double>(cpu.tv_nsec) / 1e9;
}

double ProcStatusMb(const char* key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(key) + ":";
    while (std::getline(status, line)) {
        if (line.rfind(prefix, 0) == 0) {
            return std::strtod(line.c_str() + prefix.size(), nullptr) * 1024.0 / 1e6;  // the line is in kB
        }
    }
    return 0;
}

void PrintRow(const BenchRow& row) {
    auto field = [](const std::optional<double>& value, const char* format) {
        char text[64] = "";
        if (value) {
            std::snprintf(text, sizeof text, format, *value);
        }
        return std::string(text);
    };
    const double rate = row.seconds > 0 ? static_cast<double>(row.bytes) / row.seconds : 0;
    std::printf("%s,%llu,%.6f,%.0f,%s,%s,%s,%s,%s\n", row.name.c_str(),
                static_cast<unsigned long long>(row.bytes), row.seconds, rate,
                field(row.maxStallMs, "%.2f").c_str(), field(row.rssMb, "%.1f").c_str(),
                field(row.hwmMb, "%.1f").c_str(), field(row.cpuPercent, "%.1f").c_str(),
                row.lost ? std::to_string(*row.lost).c_str() : "");
    std::fflush(stdout);
}

bool LinkPtyAsCom1(const CPortDirFixture& portDir, CPtyFixture& pty) {
    if (!pty.IsValid() || pty.LinkAs(portDir.Path(), 1).empty()) {
        std::fprintf(stderr, "pty: %s\n", pty.Error().c_str());
        return false;
    }
    return true;
}
