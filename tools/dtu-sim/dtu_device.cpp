#include "tools/dtu-sim/dtu_device.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace {

void SetText(std::span<uint8_t> field, std::string_view text) {
    std::fill(field.begin(), field.end(), uint8_t{0});
    std::copy_n(text.begin(), std::min(text.size(), field.size() - 1), field.begin());
}

std::string Hex8(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02x", value & 0xFFu);
    return text;
}

}  // namespace

std::string Printable(std::string_view text) {
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else if (byte < 0x20 || byte >= 0x7F || c == '"' || c == '\\') {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", byte);
            out += hex;
        } else {
            out += c;
        }
    }
    return out;
}

DeviceParams FactoryRecord(bool nbiot, bool tempHumidity) {
    DeviceParams r;
    r.firmware_version.Set(nbiot ? uint16_t{0x0C01} : uint16_t{0x0101});
    r.status = STATUS_ONLINE | STATUS_LINK1;
    r.reboot_period = 24;
    if (tempHumidity) {
        // This device reads the two period fields as its report period and its bus address, and shows
        // its IMEI where a DTU shows its ID.
        r.heartbeat_period.Set(300);
        r.netcheck_period.Set(1);
        SetText(r.device_id, "861234567890123");
    } else {
        r.heartbeat_period.Set(60);
        r.netcheck_period.Set(120);
        SetText(r.device_id, "DTU0001234");
    }
    SetText(r.apn, "CMNET");
    SetText(r.local_ip, "10.64.23.118");
    r.dev_baud.Set(9600);
    r.dev_data_bits = '8';
    r.dev_parity = 'N';
    r.dev_stop_bits = '1';
    r.pack_max_len.Set(1024);
    r.pack_max_time.Set(50);
    SetText(r.remote_addr[0], "iot.example.com");
    r.remote_port[0].Set(5000);
    SetText(r.dns, "114.114.114.114");
    r.dns_period.Set(3600);
    r.flags = tempHumidity ? FLAG_TEMP_HUMIDITY : uint8_t{0};
    r.comm_type = 0;
    r.checksum = RecordChecksum(r);
    return r;
}

std::string ChatterLine(int tenthsCelsius, int humidityPercent, unsigned seq) {
    char line[64];
    std::snprintf(line, sizeof line, "T=%d.%dC H=%d%% seq=%u\r\n", tenthsCelsius / 10, tenthsCelsius % 10,
                  humidityPercent, seq);
    return line;
}

std::string LogLine(std::size_t size) {
    size = std::clamp(size, kLogLineMin, kLogLineMax);
    std::string line = "[log] parameters stored, link restarting";
    line.resize(size - 2, '.');
    return line + "\r\n";
}

namespace {

DeviceParams FactoryFor(const DtuSettings& settings) {
    DeviceParams record = FactoryRecord(settings.nbiot, settings.tempHumidity);
    if (settings.deviceId) {
        SetText(record.device_id, *settings.deviceId);
        record.checksum = RecordChecksum(record);
    }
    return record;
}

// What a command was, for the log of a device that does not carry it out.
std::string Describe(const DtuCommand& command) {
    switch (command.kind) {
        case DtuCommandKind::Read:
            return "DTU+CONFIG\\r (read)";
        case DtuCommandKind::Save:
            return "DTU+CONFIG= and 440 bytes (save)";
        case DtuCommandKind::Defaults:
            return "DTU+CONFIG=DEFAULT\\r";
        case DtuCommandKind::Reset:
            return "DTU+CONFIG=RESET\\r";
        case DtuCommandKind::Cmd:
            return "DTU+CONFIG=CMD:" + Printable(command.text) + "\\r";
    }
    return {};
}

}  // namespace

CDtuDevice::CDtuDevice(const DtuSettings& settings, TimePoint now)
    : m_settings(settings),
      m_factory(FactoryFor(settings)),
      m_record(m_factory),
      m_random(settings.seed),
      m_signalRandom(static_cast<uint32_t>(settings.seed ^ IdentityHash(settings))),
      m_identity(ModuleIdentityFor(settings)),
      m_runStart(now),
      m_lastByte(now),
      m_quietUntil(now),
      m_nextChatter(now + kChatterPeriod),
      m_lastDrift(now) {}

std::vector<std::string> CDtuDevice::Receive(std::span<const uint8_t> bytes, TimePoint now) {
    if (bytes.empty()) {
        return {};
    }
    m_lastByte = now;
    m_quietUntil = std::max(m_quietUntil, now + kChatterQuiet);
    // The line's echo goes out ahead of any answer the bytes bring.
    if (m_settings.echo) {
        Queue(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), now);
    }
    std::vector<std::string> log;
    for (const DtuCommand& command : m_parser.Feed(bytes)) {
        if (m_settings.silent) {
            if (command.kind == DtuCommandKind::Save) {
                m_lastSaved = command.record;
                ++m_saveCount;
            }
            log.push_back(Describe(command) + " -> silent, no answer");
        } else {
            log.push_back(Answer(command, now));
        }
    }
    return log;
}

std::string CDtuDevice::Answer(const DtuCommand& command, TimePoint now) {
    const TimePoint due = now + m_settings.latency;
    switch (command.kind) {
        case DtuCommandKind::Read: {
            std::string answer(kAnswerRecordPrefix);
            const auto record = m_record.Bytes();
            answer.append(record.begin(), record.end());
            const std::string flipped = MaybeFlipBit(answer);
            QueueAnswer(answer, due, true);
            return "DTU+CONFIG\\r (read) -> +CONFIG= and the 440-byte record, checksum " +
                   Hex8(m_record.checksum) + flipped;
        }
        case DtuCommandKind::Save: {
            m_lastSaved = command.record;
            ++m_saveCount;
            const DeviceParams received = DeviceParams::FromBytes(command.record);
            const uint8_t sum = RecordChecksum(received);
            const std::string apn = Printable(FieldText(received.apn));
            if (received.checksum != sum) {
                QueueAnswer(kAnswerConfigError, due);
                return "DTU+CONFIG= and 440 bytes (save), checksum " + Hex8(received.checksum) +
                       " but the bytes sum to " + Hex8(sum) + " -> +CONFIG ERROR";
            }
            if (m_settings.failSave) {
                QueueAnswer(kAnswerConfigError, due);
                return "DTU+CONFIG= and 440 bytes (save), apn \"" + apn + "\" -> not stored (--fail-save), " +
                       "+CONFIG ERROR";
            }
            // The device reports its own firmware, state and address whatever the tool sends there.
            DeviceParams stored = received;
            stored.firmware_version = m_record.firmware_version;
            stored.status = m_record.status;
            stored.local_ip = m_record.local_ip;
            stored.checksum = RecordChecksum(stored);
            m_record = stored;
            QueueAnswer(kAnswerConfigOk, due);
            if (m_settings.logAfterOk > 0) {
                Queue(LogLine(m_settings.logAfterOk), due);
            }
            return "DTU+CONFIG= and 440 bytes (save), checksum " + Hex8(sum) + " right, apn \"" + apn +
                   "\" -> stored, +CONFIG OK" +
                   (m_settings.logAfterOk > 0
                        ? " and a " + std::to_string(m_settings.logAfterOk) + "-byte log line"
                        : "");
        }
        case DtuCommandKind::Defaults:
            m_record = m_factory;
            QueueAnswer(kAnswerDefaultsOk, due);
            return "DTU+CONFIG=DEFAULT\\r -> factory record restored, +CONFIG DEFAULT OK";
        case DtuCommandKind::Reset:
            QueueAnswer(kAnswerResetOk, due + kResetPause);
            return "DTU+CONFIG=RESET\\r -> +CONFIG RESET OK after " + std::to_string(kResetPause.count()) +
                   " ms";
        case DtuCommandKind::Cmd: {
            const auto [answer, summary] = ModuleReply(command.text, now);
            QueueAnswer(answer, due);
            return "DTU+CONFIG=CMD:" + Printable(command.text) + "\\r -> " + summary;
        }
    }
    return {};
}

void CDtuDevice::QueueAnswer(std::string_view answer, TimePoint due, bool record) {
    std::vector<std::pair<std::size_t, Clock::duration>> cuts;
    if (record && m_settings.split.count() > 0) {
        cuts.emplace_back(kSplitAt, m_settings.split);
    }
    if (m_settings.stall.count() > 0) {
        cuts.emplace_back(kStallFirstCut, m_settings.stall);
        cuts.emplace_back(answer.size() / 2, m_settings.stall);
    }
    std::sort(cuts.begin(), cuts.end());
    std::size_t from = 0;
    Clock::duration gap{};
    for (const auto& [at, pause] : cuts) {
        if (at <= from || at >= answer.size()) {
            continue;
        }
        Queue(answer.substr(from, at - from), due, gap);
        from = at;
        gap = pause;
    }
    Queue(answer.substr(from), due, gap);
}

std::string CDtuDevice::MaybeFlipBit(std::string& answer) {
    bool flip = false;
    switch (m_settings.flipBit) {
        case FlipBit::Never:
            break;
        case FlipBit::Once:
            flip = !m_flippedOnce;
            break;
        case FlipBit::Always:
            flip = true;
            break;
        case FlipBit::AfterSave:
            flip = m_saveCount > 0;
            break;
    }
    if (!flip) {
        return {};
    }
    m_flippedOnce = true;
    const std::size_t byte = m_random() % kDeviceParamsSize;
    const unsigned bit = m_random() % 8;
    answer[kAnswerRecordPrefix.size() + byte] ^= static_cast<char>(1u << bit);
    return ", sent with bit " + std::to_string(bit) + " of byte " + std::to_string(byte) + " flipped";
}

// Pieces leave in the order they were queued; a piece never overtakes one queued before it.
void CDtuDevice::Queue(std::string_view bytes, TimePoint notBefore, Clock::duration gap, bool chatter) {
    Piece piece{notBefore, gap, std::vector<uint8_t>(bytes.begin(), bytes.end())};
    piece.chatter = chatter;
    m_out.push_back(std::move(piece));
}

CDtuDevice::Clock::duration CDtuDevice::RunTime(std::size_t count) const {
    if (!m_settings.pacing) {
        return Clock::duration::zero();
    }
    return std::chrono::duration_cast<Clock::duration>(LineTime(count, m_line));
}

CDtuDevice::TimePoint CDtuDevice::LineFreeAt() const {
    return m_runStart + RunTime(m_runBytes);
}

CDtuDevice::TimePoint CDtuDevice::PieceStart(const Piece& piece) const {
    Clock::duration gap = piece.gap;
    if (m_lastWasChatter && !piece.chatter) {
        gap = std::max<Clock::duration>(gap, kAfterChatterGap);
    }
    return std::max(piece.notBefore, LineFreeAt() + gap);
}

void CDtuDevice::Release(TimePoint now, std::vector<uint8_t>& out) {
    while (!m_out.empty()) {
        Piece& piece = m_out.front();
        if (!piece.started) {
            const TimePoint start = PieceStart(piece);
            if (start > now) {
                return;
            }
            // After a quiet line a new run begins; a piece right behind the last one continues its run.
            if (start > LineFreeAt()) {
                m_runStart = start;
                m_runBytes = 0;
            }
            piece.started = true;
        }
        const std::size_t before = piece.sent;
        while (piece.sent < piece.bytes.size() && m_runStart + RunTime(m_runBytes + 1) <= now) {
            out.push_back(piece.bytes[piece.sent++]);
            ++m_runBytes;
        }
        if (!piece.chatter && piece.sent > before) {
            m_quietUntil = std::max(m_quietUntil, LineFreeAt() + kChatterQuiet);
        }
        if (piece.sent < piece.bytes.size()) {
            return;
        }
        m_lastWasChatter = piece.chatter;
        m_out.pop_front();
    }
}

void CDtuDevice::SetLine(const LineFraming& line) {
    if (line == m_line || line.baud <= 0) {
        return;
    }
    // Bytes already sent keep the old rate's times.
    m_runStart = LineFreeAt();
    m_runBytes = 0;
    m_line = line;
}

int CDtuDevice::Step(int value, int low, int high) {
    return Step(m_random, value, low, high);
}

int CDtuDevice::Step(std::minstd_rand& random, int value, int low, int high) {
    const int step = static_cast<int>(random() % 3) - 1;
    return std::clamp(value + step, low, high);
}

// One step of at most 1 per second passed, so two queries close together read the same or nearly.
int CDtuDevice::DriftSignal(TimePoint now) {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(now - m_lastDrift).count();
    for (long long i = 0; i < std::min<long long>(seconds, 10); ++i) {
        m_rssi = Step(m_signalRandom, m_rssi, kRssiMin, kRssiMax);
    }
    m_lastDrift += std::chrono::seconds(seconds);
    return m_rssi;
}

CDtuDevice::Due CDtuDevice::TakeDue(TimePoint now) {
    Due due;
    if (m_parser.HasPending() && now - m_lastByte >= kPartialTimeout) {
        m_parser.Reset();
        due.log.push_back("dropped an unfinished command after " + std::to_string(kPartialTimeout.count()) +
                          " ms of silence");
    }
    Release(now, due.bytes);
    if (m_settings.chatter && m_out.empty() && now >= LineFreeAt() && now >= m_nextChatter &&
        now >= m_quietUntil) {
        m_tenthsCelsius = Step(m_tenthsCelsius, 200, 280);
        m_humidity = Step(m_humidity, 35, 65);
        Queue(ChatterLine(m_tenthsCelsius, m_humidity, ++m_seq), now, {}, true);
        m_nextChatter = now + kChatterPeriod;
        Release(now, due.bytes);
    }
    return due;
}

std::optional<CDtuDevice::TimePoint> CDtuDevice::NextWake() const {
    std::optional<TimePoint> wake;
    const auto earliest = [&wake](TimePoint t) { wake = wake ? std::min(*wake, t) : t; };
    if (!m_out.empty()) {
        const Piece& piece = m_out.front();
        TimePoint runStart = m_runStart;
        std::size_t runBytes = m_runBytes;
        if (!piece.started) {
            const TimePoint start = PieceStart(piece);
            if (start > LineFreeAt()) {
                runStart = start;
                runBytes = 0;
            }
        }
        earliest(runStart + RunTime(runBytes + 1));
    } else if (m_settings.chatter) {
        earliest(std::max({m_nextChatter, m_quietUntil, LineFreeAt()}));
    }
    if (m_parser.HasPending()) {
        earliest(m_lastByte + kPartialTimeout);
    }
    return wake;
}
