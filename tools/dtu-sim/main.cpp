// dtu-sim: a simulated DTU on a pseudo-terminal linked as COMn in the port directory, so the window can be
// tried without hardware. Options in kUsage; the device itself is CDtuDevice, the OS part sim_pty.h.

#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "serial/port_directory.h"
#include "serial/port_names.h"
#include "text/gbk.h"
#include "tools/dtu-sim/dtu_device.h"
#include "tools/dtu-sim/sim_pty.h"

namespace {

constexpr const char* kUsage =
    "Usage: dtu-sim [options]\n"
    "A simulated DTU on a pseudo-terminal, linked as COMn in the port directory\n"
    "($QUENDAL_PORT_DIR, else $XDG_RUNTIME_DIR/quendal/ports, else /tmp/quendal-<uid>/ports).\n"
    "It sends at the rate and framing the port was set to, as a real line would (10 bits a byte\n"
    "at 8N1: 448 bytes take about 467 ms at 9600 baud). Several can run at once on different numbers.\n"
    "\n"
    "  --com N            link as COMN (default 1)\n"
    "  --nbiot            NB-IoT module (firmware 0x0C01) instead of 4G (0x0101)\n"
    "  --temp-humidity    temperature/humidity device type in the factory record\n"
    "  --id TEXT          device ID in the factory record, at most 15 bytes in GBK\n"
    "                     (UTF-8 text is converted)\n"
    "  --latency MS       wait MS milliseconds before every answer (--delay MS is the same)\n"
    "  --split MS         pause MS milliseconds after the first 200 bytes of the record answer\n"
    "  --no-pacing        send at once instead of at the line's rate (for benchmarks)\n"
    "  --chatter          send a sensor line every second, paused around answers\n"
    "  --fail-save        answer every save frame with +CONFIG ERROR and store nothing\n"
    "  --silent           take in commands and log them, but never carry them out or answer\n"
    "  --record-out FILE  write the 440 bytes of every save frame received to FILE\n"
    "  --quiet            log nothing\n"
    "  --check-real N     print nothing; exit 0 if COMN is a real serial device, else 1\n"
    "  --port-dir         print the port directory (as above) and exit\n"
    "  --help             this text\n"
    "\n"
    "Misbehaving lines and units (for trying what the tools make of them):\n"
    "  --echo             send every received byte straight back, as an echoing line does\n"
    "  --log-after-ok N   send an N-byte log line (2 to 1000) right behind every +CONFIG OK\n"
    "  --flip-bit WHEN    flip one random bit of the record in read answers: once (the first),\n"
    "                     always, or after-save (every read after the first save frame)\n"
    "  --stall MS         send every answer in three pieces, MS milliseconds apart (the first\n"
    "                     cut inside its +CONFIG)\n"
    "\n"
    "The cellular module behind DTU+CONFIG=CMD:<AT command> (answers +CONFIG CMD: and the\n"
    "module's lines; ERROR for a command a module would not know). Its IMEI, ICCID and IMSI\n"
    "follow from --id, else from the port number, and are the same on every run:\n"
    "  --sim STATE        ready (default), pin (AT+CPIN? says SIM PIN, AT+CIMI +CME ERROR: 11)\n"
    "                     or absent (every SIM query answers +CME ERROR: 10)\n"
    "  --registration S   what AT+CREG?, AT+CGREG? and AT+CEREG? report: home (default),\n"
    "                     roaming, searching, denied or unknown\n"
    "  --lte              on LTE: AT+CSQ says 99,99 and AT+CESQ has RSRP and RSRQ (else on\n"
    "                     GSM: AT+CESQ has the RXLEV that matches AT+CSQ)\n"
    "  --no-ccid          AT+CCID and AT+ICCID answer ERROR; the ICCID only through\n"
    "                     AT+CRSM=176,12258,0,0,10\n"
    "  --seed N           start of the signal's drift (one step a second at most), so a run\n"
    "                     repeats; random by default\n"
    "AT+CGDCONT? reports the APN of the record the device holds.\n";

// Unread output beyond this means nobody has the port open; drop it as a real line would have.
constexpr std::size_t kStaleBacklog = 1024;
constexpr std::chrono::milliseconds kWriteTimeout{1000};

struct Options {
    int com = 1;
    DtuSettings settings;
    bool quiet = false;
    std::optional<int> checkReal;
    bool printPortDir = false;
    std::string recordOut;
    bool help = false;
};

std::optional<int> ParseNumber(std::string_view text, int low, int high) {
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < low || value > high) {
        return std::nullopt;
    }
    return value;
}

// Accepts "--opt value" and "--opt=value". Returns an error text, empty on success.
std::string ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        std::optional<std::string_view> inlineValue;
        if (const auto eq = arg.find('='); arg.starts_with("--") && eq != std::string_view::npos) {
            inlineValue = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
        }
        const auto value = [&]() -> std::optional<std::string_view> {
            if (inlineValue) {
                return inlineValue;
            }
            if (i + 1 < argc) {
                return std::string_view(argv[++i]);
            }
            return std::nullopt;
        };
        const auto number = [&](int low, int high) -> std::optional<int> {
            const auto text = value();
            return text ? ParseNumber(*text, low, high) : std::nullopt;
        };
        if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--nbiot") {
            options.settings.nbiot = true;
        } else if (arg == "--temp-humidity") {
            options.settings.tempHumidity = true;
        } else if (arg == "--chatter") {
            options.settings.chatter = true;
        } else if (arg == "--quiet") {
            options.quiet = true;
        } else if (arg == "--port-dir") {
            options.printPortDir = true;
        } else if (arg == "--no-pacing") {
            options.settings.pacing = false;
        } else if (arg == "--fail-save") {
            options.settings.failSave = true;
        } else if (arg == "--silent") {
            options.settings.silent = true;
        } else if (arg == "--echo") {
            options.settings.echo = true;
        } else if (arg == "--lte") {
            options.settings.lte = true;
        } else if (arg == "--no-ccid") {
            options.settings.noCcid = true;
        } else if (arg == "--sim") {
            const auto state = value();
            if (state == "ready") {
                options.settings.sim = SimCard::Ready;
            } else if (state == "pin") {
                options.settings.sim = SimCard::Pin;
            } else if (state == "absent") {
                options.settings.sim = SimCard::Absent;
            } else {
                return "--sim needs ready, pin or absent";
            }
        } else if (arg == "--registration") {
            const auto state = value();
            if (state == "home") {
                options.settings.network = NetworkState::Home;
            } else if (state == "roaming") {
                options.settings.network = NetworkState::Roaming;
            } else if (state == "searching") {
                options.settings.network = NetworkState::Searching;
            } else if (state == "denied") {
                options.settings.network = NetworkState::Denied;
            } else if (state == "unknown") {
                options.settings.network = NetworkState::Unknown;
            } else {
                return "--registration needs home, roaming, searching, denied or unknown";
            }
        } else if (arg == "--seed") {
            const auto text = value();
            uint32_t seed = 0;
            const auto [end, ec] = text ? std::from_chars(text->data(), text->data() + text->size(), seed)
                                        : std::from_chars_result{};
            if (!text || text->empty() || ec != std::errc() || end != text->data() + text->size()) {
                return "--seed needs a number from 0 to 4294967295";
            }
            options.settings.seed = seed;
        } else if (arg == "--flip-bit") {
            const auto when = value();
            if (when == "once") {
                options.settings.flipBit = FlipBit::Once;
            } else if (when == "always") {
                options.settings.flipBit = FlipBit::Always;
            } else if (when == "after-save") {
                options.settings.flipBit = FlipBit::AfterSave;
            } else {
                return "--flip-bit needs once, always or after-save";
            }
        } else if (arg == "--log-after-ok") {
            const auto size = number(static_cast<int>(kLogLineMin), static_cast<int>(kLogLineMax));
            if (!size) {
                return "--log-after-ok needs a byte count from " + std::to_string(kLogLineMin) + " to " +
                       std::to_string(kLogLineMax);
            }
            options.settings.logAfterOk = static_cast<std::size_t>(*size);
        } else if (arg == "--id") {
            const auto text = value();
            const auto gbk = text ? Utf8ToGbk(*text) : std::nullopt;
            if (!gbk || gbk->size() > kDeviceIdMaxBytes) {
                return "--id needs a text of at most " + std::to_string(kDeviceIdMaxBytes) +
                       " bytes in GBK (a Chinese character takes 2)";
            }
            options.settings.deviceId = *gbk;
        } else if (arg == "--com" || arg == "--check-real") {
            const auto n = number(1, 255);
            if (!n) {
                return std::string(arg) + " needs a port number from 1 to 255";
            }
            if (arg == "--com") {
                options.com = *n;
            } else {
                options.checkReal = *n;
            }
        } else if (arg == "--latency" || arg == "--delay" || arg == "--split" || arg == "--stall") {
            const auto ms = number(0, 60000);
            if (!ms) {
                return std::string(arg) + " needs milliseconds from 0 to 60000";
            }
            auto& setting = arg == "--split"   ? options.settings.split
                            : arg == "--stall" ? options.settings.stall
                                               : options.settings.latency;
            setting = std::chrono::milliseconds(*ms);
        } else if (arg == "--record-out") {
            const auto path = value();
            if (!path || path->empty()) {
                return "--record-out needs a file name";
            }
            options.recordOut = std::string(*path);
        } else {
            return "unknown option " + std::string(argv[i]);
        }
    }
    return {};
}

class CLog {
  public:
    CLog(bool quiet, int com) : m_quiet(quiet), m_prefix("dtu-sim COM" + std::to_string(com) + ": ") {}
    void Line(const std::string& text) const {
        if (!m_quiet) {
            std::fprintf(stderr, "%s%s\n", m_prefix.c_str(), text.c_str());
        }
    }

  private:
    bool m_quiet;
    std::string m_prefix;
};

// The record holds the APN password: never written through a link that someone placed at the name.
bool WriteRecordFile(const std::string& path, const std::array<uint8_t, kDeviceParamsSize>& record) {
    std::string error;
    return WriteFileReplacing(path, record, error);
}

std::string DescribeLine(const LineFraming& line) {
    return std::to_string(line.baud) + " baud, " + std::to_string(BitsPerByte(line)) + " bits a byte";
}

std::string_view SimText(SimCard sim) {
    switch (sim) {
        case SimCard::Ready:
            return "SIM ready";
        case SimCard::Pin:
            return "SIM asks for its PIN";
        case SimCard::Absent:
            break;
    }
    return "no SIM";
}

std::string_view NetworkText(NetworkState network) {
    switch (network) {
        case NetworkState::Home:
            return "home network";
        case NetworkState::Roaming:
            return "roaming";
        case NetworkState::Searching:
            return "searching";
        case NetworkState::Denied:
            return "registration denied";
        case NetworkState::Unknown:
            break;
    }
    return "registration unknown";
}

std::string Describe(const Options& options, const CDtuDevice& device) {
    const DeviceParams& record = device.Record();
    char version[16];
    std::snprintf(version, sizeof version, "V%.4x", record.firmware_version.Get());
    const DtuSettings& s = options.settings;
    return std::string(s.nbiot ? "NB-IoT" : "4G") + " module, firmware " + version +
           (s.tempHumidity ? ", temperature/humidity device" : ", DTU") + (s.chatter ? ", chatter on" : "") +
           (s.failSave ? ", refuses saves" : "") + (s.silent ? ", silent" : "") + (s.echo ? ", echoes" : "") +
           (s.logAfterOk > 0 ? ", logs " + std::to_string(s.logAfterOk) + " bytes after +CONFIG OK" : "") +
           (s.flipBit != FlipBit::Never ? ", flips a bit in read answers" : "") +
           (s.stall.count() > 0 ? ", stalls " + std::to_string(s.stall.count()) + " ms inside answers" : "") +
           (s.pacing ? ", paced at " + DescribeLine(device.Line()) : ", no pacing") + "; module IMEI " +
           device.Identity().imei + ", ICCID " + device.Identity().iccid + ", " +
           std::string(SimText(s.sim)) + ", " + std::string(NetworkText(s.network)) +
           (s.lte ? ", LTE" : ", GSM") + (s.noCcid ? ", no AT+CCID" : "");
}

int Run(const Options& options) {
    const CLog log(options.quiet, options.com);
    std::string error;
    CSignalPipe signals;
    CSimPty pty;
    if (!signals.Install(error) || !pty.Open(error)) {
        std::fprintf(stderr, "dtu-sim: %s\n", error.c_str());
        return 1;
    }
    CPortLink link;
    if (!link.Create(options.com, pty.SlavePath(), error)) {
        std::fprintf(stderr, "dtu-sim: %s\n", error.c_str());
        return 1;
    }

    using Clock = CDtuDevice::Clock;
    CDtuDevice device(options.settings, Clock::now());
    log.Line(link.Path() + " -> " + pty.SlavePath() + ", " + Describe(options, device));

    unsigned savesWritten = 0;
    std::vector<uint8_t> received;
    for (;;) {
        std::optional<std::chrono::milliseconds> timeout;
        if (const auto wake = device.NextWake()) {
            timeout = std::chrono::ceil<std::chrono::milliseconds>(*wake - Clock::now());
        }
        const WaitResult wait = WaitForWork(pty, signals, timeout);
        if (wait.signal) {
            if (const auto signal = signals.Take()) {
                log.Line("signal " + std::to_string(*signal) + ", removing " + link.Path());
                return 0;
            }
        }
        if (wait.failed) {
            std::fprintf(stderr, "dtu-sim: %s\n", wait.error.c_str());
            return 1;
        }
        if (wait.readable) {
            received.clear();
            if (!pty.ReadAvailable(received, error)) {
                std::fprintf(stderr, "dtu-sim: %s\n", error.c_str());
                return 1;
            }
            for (const std::string& line : device.Receive(received, Clock::now())) {
                log.Line(line);
            }
            if (!options.recordOut.empty() && device.SaveCount() != savesWritten) {
                savesWritten = device.SaveCount();
                if (!WriteRecordFile(options.recordOut, device.LastSavedBytes())) {
                    log.Line("could not write " + options.recordOut);
                }
            }
        }
        if (options.settings.pacing) {
            const auto line = ReadLineFraming(pty.MasterFd());
            if (line && *line != device.Line()) {
                device.SetLine(*line);
                log.Line("line now " + DescribeLine(*line));
            }
        }
        CDtuDevice::Due due = device.TakeDue(Clock::now());
        for (const std::string& line : due.log) {
            log.Line(line);
        }
        if (due.bytes.empty()) {
            continue;
        }
        if (pty.PortBacklog() > kStaleBacklog) {
            pty.DropPortBacklog();
        }
        if (!pty.WriteAll(due.bytes, kWriteTimeout, error)) {
            log.Line(error);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    options.settings.seed = std::random_device{}();
    options.settings.pacing = true;
    if (const std::string error = ParseOptions(argc, argv, options); !error.empty()) {
        std::fprintf(stderr, "dtu-sim: %s\n%s", error.c_str(), kUsage);
        return 2;
    }
    options.settings.com = options.com;
    if (options.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (options.printPortDir) {
        std::printf("%s\n", PortDirectory().c_str());
        return 0;
    }
    if (options.checkReal) {
        const PortResolution port = ResolvePort(*options.checkReal);
        return !port.refusal && IsRealDevice(port.path) ? 0 : 1;
    }
    return Run(options);
}
