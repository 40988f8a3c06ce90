#include "tools/dtu-sim/dtu_device.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace {

void SetText(std::span<uint8_t> field, std::string_view text) {
    std::fill(field.begin(), field.end(), uint8_t{0});
    std::copy_n(text.begin(), std::min(text.size(), field.size() - 1), field.begin());
}

// Command text as one log-safe line: control and non-ASCII bytes as \r, \n or \xNN.
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

std::string Hex8(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02x", value & 0xFFu);
    return text;
}

}  // namespace

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

std::string SignalAnswer(int rssi) {
    return "+CONFIG CMD:\r\n+CSQ: " + std::to_string(rssi) + ",99\r\n\r\nOK\r\n";
}

std::string ModuleAnswer(const std::vector<std::string>& lines) {
    std::string answer = "+CONFIG CMD:";
    for (const std::string& line : lines) {
        answer += "\r\n" + line + "\r\n";
    }
    return answer + "\r\nOK\r\n";
}

std::string ModuleFailure(std::string_view final) {
    return "+CONFIG CMD:\r\n" + std::string(final) + "\r\n";
}

namespace {

uint64_t Fnv1a(std::string_view text) {
    uint64_t hash = 0xcbf29ce484222325ull;
    for (const char c : text) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3ull;
    }
    return hash;
}

uint64_t SplitMix(uint64_t& state) {
    uint64_t z = (state += 0x9e3779b97f4a7c15ull);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return z ^ (z >> 31);
}

std::string RandomDigits(uint64_t& state, std::size_t count) {
    std::string digits;
    for (std::size_t i = 0; i < count; ++i) {
        digits += static_cast<char>('0' + SplitMix(state) % 10);
    }
    return digits;
}

// The digit that makes payload and it pass the Luhn check.
char LuhnCheckDigit(std::string_view payload) {
    int sum = 0;
    bool twice = true;  // the check digit itself is the undoubled rightmost one
    for (auto it = payload.rbegin(); it != payload.rend(); ++it) {
        int d = *it - '0';
        if (twice) {
            d = d * 2 > 9 ? d * 2 - 9 : d * 2;
        }
        sum += d;
        twice = !twice;
    }
    return static_cast<char>('0' + (10 - sum % 10) % 10);
}

std::string IdentityKey(const DtuSettings& settings) {
    return settings.deviceId ? "id:" + *settings.deviceId : "COM" + std::to_string(settings.com);
}

// The EF ICCID's bytes in hex as AT+CRSM gives them: BCD with each byte's two digits swapped.
std::string SwappedNibbles(std::string_view digits) {
    std::string hex;
    for (std::size_t i = 0; i + 1 < digits.size(); i += 2) {
        hex += digits[i + 1];
        hex += digits[i];
    }
    return hex;
}

std::string Upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return out;
}

// The 27.007 registration state each --registration stands for.
int RegistrationStat(NetworkState network) {
    switch (network) {
        case NetworkState::Home:
            return 1;
        case NetworkState::Roaming:
            return 5;
        case NetworkState::Searching:
            return 2;
        case NetworkState::Denied:
            return 3;
        case NetworkState::Unknown:
            return 4;
    }
    return 0;
}

}  // namespace

ModuleIdentityDigits ModuleIdentityFor(const DtuSettings& settings) {
    uint64_t state = Fnv1a(IdentityKey(settings));
    ModuleIdentityDigits id;
    id.imei = "86451000" + RandomDigits(state, 6);
    id.imei += LuhnCheckDigit(id.imei);
    id.iccid = "898600" + RandomDigits(state, 13);
    id.iccid += LuhnCheckDigit(id.iccid);
    id.imsi = "46000" + RandomDigits(state, 10);
    return id;
}

std::string_view ModuleModel(bool nbiot) {
    return nbiot ? "QS-NB1" : "QS-4G1";
}

std::string_view ModuleFirmware(bool nbiot) {
    return nbiot ? "QSNB1R01A03" : "QS4G1R02A05";
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
      m_signalRandom(static_cast<uint32_t>(settings.seed ^ Fnv1a(IdentityKey(settings)))),
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

std::pair<std::string, std::string> CDtuDevice::ModuleReply(std::string_view atCommand, TimePoint now) {
    const std::string command = Upper(atCommand);
    const bool simReady = m_settings.sim == SimCard::Ready;
    const bool simThere = m_settings.sim != SimCard::Absent;
    std::optional<std::string> failure;
    std::vector<std::string> lines;
    const auto quoted = [](std::string_view text) { return "\"" + std::string(text) + "\""; };

    if (command == "AT") {
    } else if (command == "AT+CGMI") {
        lines.emplace_back(kModuleManufacturer);
    } else if (command == "AT+CGMM") {
        lines.emplace_back(ModuleModel(m_settings.nbiot));
    } else if (command == "AT+CGMR") {
        lines.emplace_back(ModuleFirmware(m_settings.nbiot));
    } else if (command == "AT+CGSN") {
        lines.push_back(m_identity.imei);
    } else if (command == "AT+CPIN?") {
        if (!simThere) {
            failure = "+CME ERROR: 10";
        } else {
            lines.emplace_back(simReady ? "+CPIN: READY" : "+CPIN: SIM PIN");
        }
    } else if (command == "AT+CCID" || command == "AT+ICCID") {
        // The ICCID is on the card outside the PIN's lock.
        if (m_settings.noCcid) {
            failure = "ERROR";
        } else if (!simThere) {
            failure = "+CME ERROR: 10";
        } else {
            lines.push_back((command == "AT+CCID" ? "+CCID: " : "+ICCID: ") + m_identity.iccid);
        }
    } else if (command.starts_with("AT+CRSM=")) {
        if (!simThere) {
            failure = "+CME ERROR: 10";
        } else if (command == "AT+CRSM=176,12258,0,0,10") {
            lines.push_back("+CRSM: 144,0," + quoted(SwappedNibbles(m_identity.iccid)));
        } else {
            lines.emplace_back("+CRSM: 106,130");  // file not found: the card has only the ICCID to give
        }
    } else if (command == "AT+CIMI") {
        if (!simThere) {
            failure = "+CME ERROR: 10";
        } else if (!simReady) {
            failure = "+CME ERROR: 11";
        } else {
            lines.push_back(m_identity.imsi);
        }
    } else if (command == "AT+COPS?") {
        const bool registered = simReady && (m_settings.network == NetworkState::Home ||
                                             m_settings.network == NetworkState::Roaming);
        if (!registered) {
            lines.emplace_back("+COPS: 0");
        } else {
            const int act = m_settings.lte ? (m_settings.nbiot ? 9 : 7) : 0;
            const std::string_view network = m_settings.network == NetworkState::Roaming ? "45400" : "46000";
            lines.push_back("+COPS: 0,2," + quoted(network) + "," + std::to_string(act));
        }
    } else if (command == "AT+CREG?" || command == "AT+CGREG?" || command == "AT+CEREG?") {
        // Without a usable SIM the module does not try to register.
        const int stat = simReady ? RegistrationStat(m_settings.network) : 0;
        lines.push_back(command.substr(2, command.size() - 3) + ": 0," + std::to_string(stat));
    } else if (command == "AT+CSQ") {
        const int rssi = DriftSignal(now);
        lines.push_back(m_settings.lte ? "+CSQ: 99,99" : "+CSQ: " + std::to_string(rssi) + ",99");
    } else if (command == "AT+CESQ") {
        // The same level as AT+CSQ's: rxlev on GSM, RSRP some 20 dB under the RSSI on LTE.
        const int rssi = DriftSignal(now);
        lines.push_back(m_settings.lte ? "+CESQ: 99,99,255,255," + std::to_string(rssi - 5) + "," +
                                             std::to_string(2 * rssi + 7)
                                       : "+CESQ: " + std::to_string(2 * rssi - 3) + ",99,255,255,255,255");
    } else if (command == "AT+CGDCONT?") {
        lines.push_back("+CGDCONT: 1,\"IP\"," + quoted(FieldText(m_record.apn)) + ",\"0.0.0.0\",0,0");
    } else {
        failure = "ERROR";
    }

    if (failure) {
        return {ModuleFailure(*failure), *failure};
    }
    std::string summary;
    for (const std::string& line : lines) {
        summary += (summary.empty() ? "" : " | ") + Printable(line);
    }
    return {ModuleAnswer(lines), summary.empty() ? "OK" : summary};
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
