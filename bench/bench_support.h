// Shared pieces of the benchmark program: command-line options, the byte streams fed into the pty, the
// feeder thread that writes them as fast as the reader takes them, process figures from /proc, and the
// one CSV row each measurement prints. Every measurement runs in a fresh process of its own, so the
// figures of one never carry the allocations or caches of another.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

// "--key value" pairs after the subcommand; a key without a value is "1".
class BenchArgs {
  public:
    BenchArgs(int argc, char** argv, int first);
    std::string Text(const std::string& key, const std::string& fallback) const;
    std::uint64_t Number(const std::string& key, std::uint64_t fallback) const;
    bool Flag(const std::string& key, bool fallback) const;

  private:
    std::map<std::string, std::string> m_values;
};

enum class StreamKind {
    kText,    // "seq=000123 the quick brown fox\r\n", numbered lines
    kBinary,  // every byte value, pseudo-random
    // What Chinese devices print, in GBK, one line after another with CR LF:
    kGbk,    // "温度二十三点五度，湿度百分之四十一，设备在线。"
    kMixed,  // "T=23.5C 湿度41% state=在线 id=DTU0001234<TAB>ok"
    kLog,    // "[12:00:01.250] 信号强度: -67dBm (良好), APN=cmnet; 心跳包周期=60s"
    // Long runs of blanks (space, vertical tab, form feed, the ideographic space) that hang past the edge:
    // 8 KB of them, then a word.
    kBlanks,
};
// The stream named by a throughput run's --lines (text, gbk, mixed, log or blanks); nullopt for another name.
std::optional<StreamKind> TextStreamNamed(const std::string& name);

// Produces the stream in pieces, so that even 100 MB never sit in the measuring process.
class StreamSource {
  public:
    explicit StreamSource(StreamKind kind);
    void Fill(std::vector<std::uint8_t>& chunk);

  private:
    StreamKind m_kind;
    // The current line, its number counted up in place (text) or the same every time: the writer must cost
    // far less than what it feeds.
    std::string m_line = "seq=000000 the quick brown fox\r\n";
    std::size_t m_lineAt = 0;  // how much of the line the last chunk took
    std::uint64_t m_state = 0x9E3779B97F4A7C15ull;
};

// Writes total bytes of a stream into a non-blocking pty master on a thread of its own, each write as large
// as the master takes.
class CFeeder {
  public:
    CFeeder(int masterFd, StreamKind kind, std::uint64_t total);
    ~CFeeder();
    CFeeder(const CFeeder&) = delete;
    CFeeder& operator=(const CFeeder&) = delete;

    std::uint64_t Written() const { return m_written; }
    bool Done() const { return m_done; }
    // CPU seconds the feeder's own thread used, known once it is done; subtracted from process figures.
    double CpuSeconds() const { return m_cpuSeconds; }
    void Stop();

  private:
    void Run(StreamKind kind);

    int m_fd;
    std::uint64_t m_total;
    std::atomic<std::uint64_t> m_written{0};
    std::atomic<bool> m_done{false};
    std::atomic<bool> m_stop{false};
    std::atomic<double> m_cpuSeconds{0.0};
    std::thread m_thread;
};

double MonotonicSeconds();
// CPU seconds (user + system) of the whole process so far.
double ProcessCpuSeconds();
// A VmRSS / VmHWM style line of /proc/self/status in MB (10^6 bytes); 0 when absent.
double ProcStatusMb(const char* key);

// One measurement's figures. An empty optional prints as an empty CSV field (not measured).
struct BenchRow {
    std::string name;
    std::uint64_t bytes = 0;
    double seconds = 0;
    std::optional<double> maxStallMs;
    std::optional<double> rssMb;
    std::optional<double> hwmMb;
    std::optional<double> cpuPercent;
    std::optional<std::uint64_t> lost;
};

// The header of the rows; the ./bench script finds its columns by these names.
constexpr const char* kRowHeader = "name,bytes,seconds,bytes_per_s,max_stall_ms,rss_mb,hwm_mb,cpu_pct,lost";
void PrintRow(const BenchRow& row);

class CPortDirFixture;
class CPtyFixture;
// Links the pty as COM1 in the port directory; says why on stderr when it cannot.
bool LinkPtyAsCom1(const CPortDirFixture& portDir, CPtyFixture& pty);

// Waits until done() holds, giving up when progress() has not moved for noProgressSeconds.
template <class Done, class Progress>
bool WaitWhileProgressing(Done done, Progress progress, double noProgressSeconds);

template <class Done, class Progress>
bool WaitWhileProgressing(Done done, Progress progress, double noProgressSeconds) {
    double lastProgress = MonotonicSeconds();
    auto last = progress();
    while (!done()) {
        const double now = MonotonicSeconds();
        if (progress() != last) {
            last = progress();
            lastProgress = now;
        } else if (now - lastProgress > noProgressSeconds) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}
