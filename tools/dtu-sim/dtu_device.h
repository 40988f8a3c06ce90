// The simulated DTU's behaviour, without the OS: the program (main.cpp) reads bytes from its
// pseudo-terminal and hands them to Receive, which runs them through the protocol's DtuCommandParser and
// queues an answer with the time it is due; the program sleeps until NextWake, then writes what TakeDue
// gives. With pacing on, queued bytes leave one at a time, each when its last bit would have crossed a
// line of the framing SetLine gave (line_pacing.h), so an answer takes as long as on a real line and
// commands keep coming in while it goes out. The device holds one parameter record (the factory record
// until a save or a restore), a cellular module behind "DTU+CONFIG=CMD:" (its identity, SIM and
// registration as the settings say, a signal that drifts with time), and optional chatter lines for the
// terminal. All time comes in as an argument, so tests drive it with a made-up clock.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "protocol/command_exchange.h"
#include "protocol/device_params.h"
#include "serial/line_pacing.h"

enum class FlipBit { Never, Once, Always, AfterSave };
enum class SimCard { Ready, Pin, Absent };
enum class NetworkState { Home, Roaming, Searching, Denied, Unknown };

struct DtuSettings {
    bool nbiot = false;
    bool tempHumidity = false;
    std::chrono::milliseconds latency{0};  // from a command to its answer
    std::chrono::milliseconds split{0};    // inside the record answer, after kSplitAt bytes
    bool chatter = false;
    bool pacing = false;    // bytes leave at the line's rate; off, all at once when due
    bool failSave = false;  // every save frame is refused with +CONFIG ERROR and not stored
    bool silent = false;    // commands are taken in and logged, never carried out or answered
    // Misbehaviour of real lines and units, all off by default.
    bool echo = false;                    // every received byte goes back at once, as on an echoing line
    std::size_t logAfterOk = 0;           // bytes of a log line sent right behind every "+CONFIG OK"
    FlipBit flipBit = FlipBit::Never;     // read answers that carry one flipped record bit
    std::chrono::milliseconds stall{0};   // every answer in three pieces, this long apart
    std::optional<std::string> deviceId;  // GBK, at most kDeviceIdMaxBytes; else the factory one
    // Of the sensor drift and of where a bit flips; with the module's identity, of the signal's drift, so
    // units started with one seed still draw curves of their own.
    uint32_t seed = 1;
    // The cellular module behind the device.
    int com = 1;  // with deviceId, what the module's identity is derived from
    SimCard sim = SimCard::Ready;
    NetworkState network = NetworkState::Home;
    bool lte = false;     // on LTE: AT+CSQ says 99,99 and AT+CESQ carries RSRP and RSRQ; else on GSM
    bool noCcid = false;  // AT+CCID and AT+ICCID unknown, so only the SIM's own file gives the ICCID
};

// The module's identity: the same for the same --id (or, without one, the same port) on every run.
struct ModuleIdentityDigits {
    std::string imei;   // 15 digits, Luhn check digit
    std::string iccid;  // 20 digits from 89, Luhn check digit
    std::string imsi;   // 15 digits
};
// Command text as one log-safe line: control and non-ASCII bytes as \r, \n or \xNN.
std::string Printable(std::string_view text);
// A number that stands for the unit's identity, to seed what differs between units.
uint64_t IdentityHash(const DtuSettings& settings);
ModuleIdentityDigits ModuleIdentityFor(const DtuSettings& settings);

inline constexpr std::string_view kModuleManufacturer = "QUENDAL-SIM";
// AT+CGMM and AT+CGMR, by the module type --nbiot chooses.
std::string_view ModuleModel(bool nbiot);
std::string_view ModuleFirmware(bool nbiot);

// A text field keeps at least one NUL.
inline constexpr std::size_t kDeviceIdMaxBytes = std::tuple_size_v<decltype(DeviceParams::device_id)> - 1;

// The answers, each a frame of its own for the tool: textual ones stay within its 10-99 byte class.
inline constexpr std::string_view kAnswerConfigOk = "+CONFIG OK\r\n";
inline constexpr std::string_view kAnswerConfigError = "+CONFIG ERROR\r\n";
inline constexpr std::string_view kAnswerDefaultsOk = "+CONFIG DEFAULT OK\r\n";
inline constexpr std::string_view kAnswerResetOk = "+CONFIG RESET OK\r\n";
inline constexpr std::string_view kAnswerCmdError = "+CONFIG CMD:\r\nERROR\r\n";
inline constexpr std::string_view kAnswerRecordPrefix = "+CONFIG=";

// Where --split cuts the record answer: the first part alone is in neither of the tool's record or
// short-answer classes.
inline constexpr std::size_t kSplitAt = 200;
// Where --stall cuts every answer first, inside its "+CONFIG" (the second cut is at its middle).
inline constexpr std::size_t kStallFirstCut = 5;
inline constexpr std::size_t kLogLineMin = 2;
inline constexpr std::size_t kLogLineMax = 1000;
// A restart takes this long before the device reports it.
inline constexpr std::chrono::milliseconds kResetPause{300};
// No chatter within this time of a received byte or a sent answer, so it never joins an answer's frame.
inline constexpr std::chrono::milliseconds kChatterQuiet{1000};
inline constexpr std::chrono::milliseconds kChatterPeriod{1000};
// An answer right behind a chatter line waits this long, so the tool's 100 ms pause keeps them apart.
inline constexpr std::chrono::milliseconds kAfterChatterGap{150};
// A command that stops halfway is dropped after this much silence, so it cannot swallow the next one.
inline constexpr std::chrono::milliseconds kPartialTimeout{1000};

inline constexpr int kRssiMin = 18;
inline constexpr int kRssiMax = 26;

// The record a new device (or one just restored to factory settings) holds, checksum included.
DeviceParams FactoryRecord(bool nbiot, bool tempHumidity);

// "+CONFIG CMD:\r\n+CSQ: <rssi>,99\r\n\r\nOK\r\n": the module's AT+CSQ answer passed through.
std::string SignalAnswer(int rssi);
// "+CONFIG CMD:" and the module's answer: each information line framed by CR LF, then "\r\nOK\r\n".
std::string ModuleAnswer(const std::vector<std::string>& lines);
// "+CONFIG CMD:\r\n<final>\r\n" for a failed command: "ERROR", "+CME ERROR: 10".
std::string ModuleFailure(std::string_view final);

// "T=23.4C H=45% seq=17\r\n"; no comma and no "+CONFIG", so it cannot be taken for an answer.
std::string ChatterLine(int tenthsCelsius, int humidityPercent, unsigned seq);

// A unit's log line of size bytes (kLogLineMin to kLogLineMax), ending in CR LF, with no "+CONFIG" in it.
std::string LogLine(std::size_t size);

class CDtuDevice {
  public:
    using Clock = std::chrono::steady_clock;
    using TimePoint = Clock::time_point;

    CDtuDevice(const DtuSettings& settings, TimePoint now);

    // Bytes from the line, in pieces of any size. Queues the answer of every command they complete and
    // returns one readable log line per command.
    std::vector<std::string> Receive(std::span<const uint8_t> bytes, TimePoint now);

    struct Due {
        std::vector<uint8_t> bytes;    // to write now, in order
        std::vector<std::string> log;  // things worth a log line (a dropped partial command)
    };
    // What is due at now: the answer bytes (or, when nothing waits, chatter) that have crossed the line.
    Due TakeDue(TimePoint now);

    // The earliest time TakeDue has work, or nullopt when only new bytes can bring some.
    std::optional<TimePoint> NextWake() const;

    // The framing paced bytes follow from the next byte on; 9600 8N1 until set.
    void SetLine(const LineFraming& line);
    const LineFraming& Line() const { return m_line; }

    const DeviceParams& Record() const { return m_record; }
    const ModuleIdentityDigits& Identity() const { return m_identity; }
    // Every save frame's record as it came, good checksum or not; the count tells a new one.
    const std::array<uint8_t, kDeviceParamsSize>& LastSavedBytes() const { return m_lastSaved; }
    unsigned SaveCount() const { return m_saveCount; }

  private:
    // Bytes that go out together. A piece starts at notBefore, and never sooner than gap after the last
    // byte of the piece before it has left.
    struct Piece {
        TimePoint notBefore;
        Clock::duration gap{};
        std::vector<uint8_t> bytes;
        bool chatter = false;
        bool started = false;
        std::size_t sent = 0;
    };

    std::string Answer(const DtuCommand& command, TimePoint now);
    // What the module answers to atCommand: the text after "+CONFIG CMD:", and the log's short form.
    std::pair<std::string, std::string> ModuleReply(std::string_view atCommand, TimePoint now);
    // Queues an answer, cut where --split (a record) and --stall say.
    void QueueAnswer(std::string_view answer, TimePoint due, bool record = false);
    // One random bit of the record part of a read answer, when --flip-bit says so; the log line's note.
    std::string MaybeFlipBit(std::string& answer);
    void Queue(std::string_view bytes, TimePoint notBefore, Clock::duration gap = {}, bool chatter = false);
    // Moves the bytes that have left the line by now to out.
    void Release(TimePoint now, std::vector<uint8_t>& out);
    TimePoint PieceStart(const Piece& piece) const;
    // When the last byte released so far finished crossing the line.
    TimePoint LineFreeAt() const;
    // From the start of a run to the end of its count-th byte; zero without pacing.
    Clock::duration RunTime(std::size_t count) const;
    int DriftSignal(TimePoint now);
    // A random step of -1, 0 or +1 kept within low..high.
    int Step(int value, int low, int high);
    static int Step(std::minstd_rand& random, int value, int low, int high);

    DtuSettings m_settings;
    DeviceParams m_factory;
    DeviceParams m_record;
    std::array<uint8_t, kDeviceParamsSize> m_lastSaved{};
    unsigned m_saveCount = 0;
    bool m_flippedOnce = false;
    DtuCommandParser m_parser;
    std::deque<Piece> m_out;
    std::minstd_rand m_random;
    // The signal's own walk, so the same seed and identity draw the same curve whatever else is asked.
    std::minstd_rand m_signalRandom;
    ModuleIdentityDigits m_identity;

    // Bytes sent back to back since m_runStart at m_line's rate.
    LineFraming m_line;
    TimePoint m_runStart;
    std::size_t m_runBytes = 0;
    bool m_lastWasChatter = false;

    TimePoint m_lastByte;
    TimePoint m_quietUntil;
    TimePoint m_nextChatter;
    TimePoint m_lastDrift;
    int m_rssi = 22;
    int m_tenthsCelsius = 234;
    int m_humidity = 45;
    unsigned m_seq = 0;
};
