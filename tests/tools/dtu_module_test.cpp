// The simulated device's cellular module: its answers to the AT queries, and the module library's own
// diagnosis run over it as the judge of whether it answers like a module.
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "modem/diagnosis.h"
#include "modem/module_answer.h"
#include "modem/module_queries.h"
#include "tests/support/bytes.h"
#include "tools/dtu-sim/dtu_device.h"

namespace {

using namespace std::chrono_literals;
using Clock = CDtuDevice::Clock;

// A device under a made-up clock that asks its module one command at a time.
class CModuleHarness : public IModuleLink {
  public:
    explicit CModuleHarness(const DtuSettings& settings)
        : m_now(Clock::time_point{} + 1h), m_device(settings, m_now) {}

    // The whole answer, read until its final result code, as a front end reads it; the clock moves
    // only as far as the answer needs.
    std::optional<std::string> Ask(std::string_view atCommand) override { return Exchange(atCommand, false); }
    // Every byte of the answer, up to the last.
    std::string Whole(std::string_view atCommand) { return Exchange(atCommand, true).value_or("(none)"); }
    std::optional<std::string> Exchange(std::string_view atCommand, bool whole) {
        m_device.Receive(ToBytes(ModuleCommandFrame(atCommand)), m_now);
        std::string received;
        const Clock::time_point end = m_now + 5s;
        for (;;) {
            received += ToText(m_device.TakeDue(m_now).bytes);
            const auto wake = m_device.NextWake();
            if ((!whole && ModuleAnswerComplete(received)) || !wake || *wake > end) {
                break;
            }
            m_now = std::max(*wake, m_now);
        }
        if (!ModuleAnswerComplete(received)) {
            return std::nullopt;
        }
        return received;
    }
    void Wait(Clock::duration span) { m_now += span; }
    CDtuDevice& Device() { return m_device; }

  private:
    Clock::time_point m_now;
    CDtuDevice m_device;
};

DtuSettings With(void (*change)(DtuSettings&)) {
    DtuSettings s;
    s.pacing = true;  // 9600 8N1, as the device starts
    change(s);
    return s;
}

const ModuleIdentityDigits kId = ModuleIdentityFor(DtuSettings{});

std::string Ok(std::string_view line) {
    return "+CONFIG CMD:\r\n" + std::string(line) + "\r\n\r\nOK\r\n";
}

TEST(DtuModuleTest, AnswersEachQueryAsTheOptionsSay) {
    const auto none = [](DtuSettings&) {};
    const auto lte = [](DtuSettings& s) { s.lte = true; };
    const auto pin = [](DtuSettings& s) { s.sim = SimCard::Pin; };
    const auto absent = [](DtuSettings& s) { s.sim = SimCard::Absent; };
    const auto noCcid = [](DtuSettings& s) { s.noCcid = true; };
    const auto roaming = [](DtuSettings& s) { s.network = NetworkState::Roaming; };
    const auto denied = [](DtuSettings& s) { s.network = NetworkState::Denied; };
    const auto searching = [](DtuSettings& s) { s.network = NetworkState::Searching; };
    const auto unknown = [](DtuSettings& s) { s.network = NetworkState::Unknown; };
    const auto nbiot = [](DtuSettings& s) {
        s.nbiot = true;
        s.lte = true;
    };
    // The module's ICCID file: 8986 00.. is read as 98 68 00.. .
    std::string swapped;
    for (std::size_t i = 0; i < kId.iccid.size(); i += 2) {
        swapped += {kId.iccid[i + 1], kId.iccid[i]};
    }
    struct Case {
        std::string_view command;
        void (*options)(DtuSettings&);
        std::string answer;
    };
    const std::string error = "+CONFIG CMD:\r\nERROR\r\n";
    const std::string noSim = "+CONFIG CMD:\r\n+CME ERROR: 10\r\n";
    const Case cases[] = {
        // The signal as the window has always read it: a fresh device starts at 22.
        {"AT+CSQ", none, SignalAnswer(22)},
        {"at+csq", none, SignalAnswer(22)},
        {"AT+CSQ", lte, Ok("+CSQ: 99,99")},
        {"AT+CESQ", none, Ok("+CESQ: 41,99,255,255,255,255")},
        {"AT+CESQ", lte, Ok("+CESQ: 99,99,255,255,17,51")},
        {"AT", none, "+CONFIG CMD:\r\nOK\r\n"},
        {"AT+CGMI", none, Ok("QUENDAL-SIM")},
        {"AT+CGMM", none, Ok("QS-4G1")},
        {"AT+CGMM", nbiot, Ok("QS-NB1")},
        {"AT+CGMR", none, Ok("QS4G1R02A05")},
        {"AT+CGMR", nbiot, Ok("QSNB1R01A03")},
        {"AT+CGSN", none, Ok(kId.imei)},
        {"AT+CGSN", absent, Ok(kId.imei)},
        {"AT+CPIN?", none, Ok("+CPIN: READY")},
        {"AT+CPIN?", pin, Ok("+CPIN: SIM PIN")},
        {"AT+CPIN?", absent, noSim},
        {"AT+CCID", none, Ok("+CCID: " + kId.iccid)},
        {"AT+ICCID", none, Ok("+ICCID: " + kId.iccid)},
        {"AT+CCID", pin, Ok("+CCID: " + kId.iccid)},
        {"AT+CCID", absent, noSim},
        {"AT+CCID", noCcid, error},
        {"AT+ICCID", noCcid, error},
        {"AT+CRSM=176,12258,0,0,10", noCcid, Ok("+CRSM: 144,0,\"" + swapped + "\"")},
        {"AT+CRSM=176,12258,0,0,10", absent, noSim},
        {"AT+CRSM=176,28423,0,0,9", none, Ok("+CRSM: 106,130")},
        {"AT+CIMI", none, Ok(kId.imsi)},
        {"AT+CIMI", pin, "+CONFIG CMD:\r\n+CME ERROR: 11\r\n"},
        {"AT+CIMI", absent, noSim},
        {"AT+COPS?", none, Ok("+COPS: 0,2,\"46000\",0")},
        {"AT+COPS?", lte, Ok("+COPS: 0,2,\"46000\",7")},
        {"AT+COPS?", nbiot, Ok("+COPS: 0,2,\"46000\",9")},
        {"AT+COPS?", roaming, Ok("+COPS: 0,2,\"45400\",0")},
        {"AT+COPS?", searching, Ok("+COPS: 0")},
        {"AT+COPS?", pin, Ok("+COPS: 0")},
        {"AT+CREG?", none, Ok("+CREG: 0,1")},
        {"AT+CGREG?", roaming, Ok("+CGREG: 0,5")},
        {"AT+CEREG?", searching, Ok("+CEREG: 0,2")},
        {"AT+CREG?", denied, Ok("+CREG: 0,3")},
        {"AT+CGREG?", unknown, Ok("+CGREG: 0,4")},
        {"AT+CEREG?", absent, Ok("+CEREG: 0,0")},
        {"AT+CGDCONT?", none, Ok("+CGDCONT: 1,\"IP\",\"CMNET\",\"0.0.0.0\",0,0")},
        // What a module does not know.
        {"ATI", none, error},
        {"AT+CSQ=?", none, error},
        {"AT+CFUN=0", none, error},
        {"", none, error},
    };
    for (const Case& c : cases) {
        CModuleHarness module(With(c.options));
        SCOPED_TRACE(std::string(c.command));
        EXPECT_EQ(module.Whole(c.command), c.answer);
    }
}

TEST(DtuModuleTest, IdentityHasValidCheckDigitsAndFollowsIdOrPort) {
    const auto identity = [](std::optional<std::string> id, int com) {
        DtuSettings s;
        s.deviceId = std::move(id);
        s.com = com;
        return ModuleIdentityFor(s);
    };
    std::set<std::string> imeis, iccids, imsis;
    for (const auto& [id, com] : {std::pair<std::optional<std::string>, int>{std::nullopt, 1},
                                  {std::nullopt, 2},
                                  {std::nullopt, 200},
                                  {"DTU0001234", 1},
                                  {"DTU0001235", 1},
                                  {"COM1", 1}}) {
        const ModuleIdentityDigits d = identity(id, com);
        SCOPED_TRACE(d.imei + " " + d.iccid + " " + d.imsi);
        EXPECT_EQ(d.imei.size(), 15u);
        EXPECT_TRUE(LuhnValid(d.imei));
        EXPECT_EQ(d.iccid.size(), 20u);
        EXPECT_TRUE(d.iccid.starts_with("89"));
        EXPECT_TRUE(LuhnValid(d.iccid));
        EXPECT_EQ(d.imsi.size(), 15u);
        EXPECT_TRUE(ParseImsi("+CONFIG CMD:\r\n" + d.imsi + "\r\nOK\r\n").Ok());
        imeis.insert(d.imei);
        iccids.insert(d.iccid);
        imsis.insert(d.imsi);
        // The same unit on every run; the port does not move an identity that --id gives.
        EXPECT_EQ(identity(id, com).imei, d.imei);
        if (id) {
            EXPECT_EQ(identity(id, com + 1).iccid, d.iccid);
        }
    }
    EXPECT_EQ(imeis.size(), 6u);
    EXPECT_EQ(iccids.size(), 6u);
    EXPECT_EQ(imsis.size(), 6u);
    // Without --id, the simulator's own default port gives the identity above.
    EXPECT_EQ(identity(std::nullopt, 1).imei, kId.imei);
}

// The signal wanders within its range, one step a second at most, the same for the same seed and unit,
// and AT+CSQ and AT+CESQ asked together report the same level.
TEST(DtuModuleTest, SignalWandersTheSameWayInCsqAndCesq) {
    const auto survey = [](DtuSettings s) {
        CModuleHarness module(s);
        std::vector<int> dbm;
        for (int i = 0; i < 300; ++i) {
            const auto csq = ParseCsq(module.Ask(kQueryCsq).value_or(""));
            const auto cesq = ParseCesq(module.Ask(kQueryCesq).value_or(""));
            EXPECT_TRUE(csq.Ok() && cesq.Ok());
            if (s.lte) {
                EXPECT_EQ(csq.value.rssi, 99);
                dbm.push_back(RsrpLevel(cesq.value.rsrp).tenths / 10 + 20);
                EXPECT_TRUE(RsrqLevel(cesq.value.rsrq).known);
            } else {
                const int level = CsqLevel(csq.value.rssi).tenths / 10;
                EXPECT_EQ(RxlevLevel(cesq.value.rxlev).tenths / 10, level);
                EXPECT_EQ(cesq.value.rsrp, 255);
                dbm.push_back(level);
            }
            module.Wait(1s);
        }
        return dbm;
    };
    DtuSettings gsm;
    DtuSettings lte;
    lte.lte = true;
    const std::vector<int> curve = survey(gsm);
    EXPECT_EQ(survey(lte), curve) << "the same walk, whichever radio reports it";
    std::set<int> levels(curve.begin(), curve.end());
    EXPECT_GE(levels.size(), 5u);
    for (std::size_t i = 0; i < curve.size(); ++i) {
        EXPECT_GE(curve[i], 2 * kRssiMin - 113);
        EXPECT_LE(curve[i], 2 * kRssiMax - 113);
        if (i > 0) {
            EXPECT_LE(std::abs(curve[i] - curve[i - 1]), 2);
        }
    }
    DtuSettings other;
    other.com = 2;
    EXPECT_NE(survey(other), curve) << "another unit draws another curve";
}

// The trusted oracle: the module library diagnoses the simulated device in each state it can be put in,
// and must find what the simulator was told to be.
TEST(DtuModuleTest, DiagnosisFindsTheStateAndIdentityTheSimulatorWasGiven) {
    struct Case {
        std::string name;
        void (*options)(DtuSettings&);
        Verdict verdict;
        bool iccid;
        bool imsi;
        std::string recordApn = "CMNET";
    };
    const Case cases[] = {
        {"ready, home", [](DtuSettings&) {}, Verdict::LooksFine, true, true},
        {"roaming", [](DtuSettings& s) { s.network = NetworkState::Roaming; }, Verdict::LooksFine, true,
         true},
        {"searching", [](DtuSettings& s) { s.network = NetworkState::Searching; }, Verdict::NotRegistered,
         true, true},
        {"unknown", [](DtuSettings& s) { s.network = NetworkState::Unknown; }, Verdict::NotRegistered, true,
         true},
        {"denied", [](DtuSettings& s) { s.network = NetworkState::Denied; }, Verdict::RegistrationDenied,
         true, true},
        {"no SIM", [](DtuSettings& s) { s.sim = SimCard::Absent; }, Verdict::NoSim, false, false},
        {"PIN", [](DtuSettings& s) { s.sim = SimCard::Pin; }, Verdict::PinNeeded, true, false},
        {"LTE", [](DtuSettings& s) { s.lte = true; }, Verdict::LooksFine, true, true},
        {"no CCID", [](DtuSettings& s) { s.noCcid = true; }, Verdict::LooksFine, true, true},
        {"no CCID, LTE, NB-IoT, roaming, own ID",
         [](DtuSettings& s) {
             s.noCcid = true;
             s.lte = true;
             s.nbiot = true;
             s.network = NetworkState::Roaming;
             s.deviceId = "SITE-7";
         },
         Verdict::LooksFine, true, true},
        {"another APN in the record", [](DtuSettings&) {}, Verdict::ApnDiffers, true, true, "iot.example"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const DtuSettings settings = With(c.options);
        const ModuleIdentityDigits id = ModuleIdentityFor(settings);
        CModuleHarness module(settings);
        const Diagnosis d = RunDiagnosis(module, c.recordApn);
        EXPECT_EQ(d.verdict, c.verdict) << d.verdictLine;
        EXPECT_EQ(d.identity.imei, id.imei);
        EXPECT_EQ(d.identity.iccid, c.iccid ? id.iccid : "");
        EXPECT_EQ(d.identity.imsi, c.imsi ? id.imsi : "");
        EXPECT_EQ(d.identity.firmware, ModuleFirmware(settings.nbiot));
        for (const DiagnosisItem& item : d.items) {
            // Every query had an answer, readable, or a module error the simulator chose to give.
            EXPECT_TRUE(item.status == ItemStatus::Ok || item.status == ItemStatus::ModuleError)
                << item.name << ": " << item.raw;
            if (item.name == "IMEI") {
                EXPECT_EQ(item.meaning, "check digit correct");
            }
            if (item.name == "ICCID" && c.iccid) {
                EXPECT_EQ(item.command.find("AT+CRSM") != std::string::npos, settings.noCcid) << item.command;
            }
            if (item.name == "Signal (CSQ)") {
                EXPECT_EQ(item.grade == SignalGrade::Unknown, settings.lte) << item.value;
            }
            if (item.name == "Signal (CESQ)") {
                EXPECT_EQ(item.grade != SignalGrade::Unknown, settings.lte) << item.value;
            }
        }
    }
}

}  // namespace
