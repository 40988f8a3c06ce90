// The device's cellular module as the simulator plays it: the answers to "DTU+CONFIG=CMD:<AT command>",
// the unit's identity and its registration, kept apart from the device's own commands.
#include <algorithm>
#include <cstdio>

#include "tools/dtu-sim/dtu_device.h"

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

uint64_t IdentityHash(const DtuSettings& settings) {
    return Fnv1a(IdentityKey(settings));
}

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
