// The module's answers read: parsers over answers in the standard shapes and as real modules send them,
// signal levels and grades, the completeness test for a reader, and the diagnosis over a scripted link.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "modem/diagnosis.h"
#include "modem/module_answer.h"
#include "modem/module_queries.h"
#include "modem/signal_quality.h"
#include "text/gbk.h"

namespace {

std::string Opt(const std::optional<int>& n) {
    return n ? std::to_string(*n) : "-";
}

std::string Show(const SimStatus& s) {
    return s.code + " (" + std::string(SimStateMeaning(s.state)) + ")";
}
std::string Show(const Imei& i) {
    return i.digits + (i.checkDigitOk ? " check ok" : " check wrong");
}
std::string Show(const std::string& s) {
    return s;
}
std::string Show(const Operator& o) {
    return std::to_string(o.mode) + "," + Opt(o.format) + "," + o.name + "," + Opt(o.accessTechnology);
}
std::string Show(const Registration& r) {
    return std::to_string(r.mode) + "," + std::to_string(r.stat) + "," + r.area + "," + r.cell + "," +
           Opt(r.accessTechnology);
}
std::string Show(const Csq& c) {
    return std::to_string(c.rssi) + "," + std::to_string(c.ber);
}
std::string Show(const Cesq& c) {
    return std::to_string(c.rxlev) + "," + std::to_string(c.ber) + "," + std::to_string(c.rscp) + "," +
           std::to_string(c.ecno) + "," + std::to_string(c.rsrq) + "," + std::to_string(c.rsrp);
}
std::string Show(const std::vector<PdpContext>& contexts) {
    std::string out;
    for (const PdpContext& c : contexts) {
        out += out.empty() ? "" : ";";
        out += std::to_string(c.cid) + " " + c.type + " " + c.apn;
    }
    return out;
}

template <class T>
std::string Show(const QueryAnswer<T>& a) {
    switch (a.status) {
        case AnswerStatus::Ok:
            return "ok " + Show(a.value);
        case AnswerStatus::ModuleError:
            return "error " + a.error + " = " + a.errorMeaning;
        case AnswerStatus::Unreadable:
            break;
    }
    return "unreadable";
}

using Parser = std::function<std::string(std::string_view)>;

template <class F>
Parser P(F f) {
    return [f](std::string_view answer) { return Show(f(answer)); };
}

TEST(ModemParseTest, AnswersInStandardAndRealShapes) {
    const Parser sim = P(ParseSimStatus);
    const Parser imei = P(ParseImei);
    const Parser ccid = P([](std::string_view a) { return ParseIccid(a, kQueryIccid); });
    const Parser iccid = P([](std::string_view a) { return ParseIccid(a, kQueryIccidAlt); });
    const Parser crsm = P(ParseIccidFromSim);
    const Parser imsi = P(ParseImsi);
    const Parser cgmi = P([](std::string_view a) { return ParseIdentityText(a, kQueryManufacturer); });
    const Parser cgmr = P([](std::string_view a) { return ParseIdentityText(a, kQueryFirmware); });
    const Parser cops = P(ParseOperator);
    const Parser creg = P([](std::string_view a) { return ParseRegistration(a, kQueryCsRegistration); });
    const Parser cgreg = P([](std::string_view a) { return ParseRegistration(a, kQueryGprsRegistration); });
    const Parser cereg = P([](std::string_view a) { return ParseRegistration(a, kQueryEpsRegistration); });
    const Parser csq = P(ParseCsq);
    const Parser cesq = P(ParseCesq);
    const Parser contexts = P(ParseContexts);
    struct Case {
        const Parser& parser;
        std::string_view answer;
        std::string_view expected;
    };
    const Case cases[] = {
        {sim, "+CONFIG CMD:\r\n+CPIN: READY\r\n\r\nOK\r\n", "ok READY (SIM ready)"},
        {sim, "\r\n+CPIN: SIM PIN\r\n\r\nOK\r\n", "ok SIM PIN (SIM locked: PIN required)"},
        {sim, "+CPIN:\"SIM PUK\"\rOK\r", "ok SIM PUK (SIM blocked: PUK required)"},
        {sim, "+CPIN: NOT INSERTED\n\nOK\n", "ok NOT INSERTED (no SIM inserted)"},
        {sim, "+CONFIG CMD:AT+CPIN?\r\r\n+CPIN: NOT READY\r\nRDY\r\n+CPIN: READY\r\n\r\nOK\r\n",
         "ok READY (SIM ready)"},
        {sim, "+CONFIG CMD:\r\n+CME ERROR: 10\r\n", "error +CME ERROR: 10 = SIM not inserted"},
        {sim, "+CONFIG CMD:\r\n+CME ERROR: sim not inserted\r\n",
         "error +CME ERROR: sim not inserted = SIM not inserted"},
        {sim, "+CONFIG CMD:\r\nERROR\r\n",
         "error ERROR = the module refused the command or does not know it"},
        {sim, "+CME ERROR: 999\r\n", "error +CME ERROR: 999 = module error 999 (not a standard number)"},
        {sim, "+CME ERROR: it broke\x1b[2J\r\n",
         "error +CME ERROR: it broke\\x1B[2J = module error: it broke\\x1B[2J"},
        {sim, "+CPIN: BANANA\r\nOK\r\n", "unreadable"},
        {sim, "+CPIN: READY\x1b[2J\r\nOK\r\n", "unreadable"},
        {sim, "", "unreadable"},

        {imei, "\r\n490154203237518\r\n\r\nOK\r\n", "ok 490154203237518 check ok"},
        {imei, "+CGSN: \"490154203237517\"\r\nOK\r\n", "ok 490154203237517 check wrong"},
        {imei, "RDY\r\n+CREG: 1\r\n 490154203237518 \r\nOK\r\n", "ok 490154203237518 check ok"},
        {imei, "4901542032375189\r\nOK\r\n", "unreadable"},
        {imei, "12345\r\nOK\r\n", "unreadable"},

        {ccid, "+CCID: 89860012345678901234\r\nOK\r\n", "ok 89860012345678901234"},
        {ccid, "\"89860318245730144657\"\r\n\r\nOK\r\n", "ok 89860318245730144657"},
        {ccid, "+CCID: 12345678901234567890\r\nOK\r\n", "unreadable"},
        {iccid, "+ICCID: 8986001234567890123f\r\nOK\r\n", "ok 8986001234567890123"},
        {iccid, "+QCCID: 898600b1234567890123\r\nOK\r\n", "ok 898600B1234567890123"},
        {crsm, "+CRSM: 144,0,\"98684010325476981032\"\r\n\r\nOK\r\n", "ok 89860401234567890123"},
        {crsm, "+CRSM: 144, 0, \"986840103254769810F2\"\r\nOK\r\n", "ok 8986040123456789012"},
        {crsm, "+CRSM: 106,130\r\nOK\r\n",
         "error +CRSM: 106,130 = the SIM refused the read (status 106,130)"},
        {crsm, "+CRSM: 144,0,\"9868401032547698103\"\r\nOK\r\n", "unreadable"},

        {imsi, "460001234567890\r\nOK\r\n", "ok 460001234567890"},
        {imsi, "+CIMI: 460011234567890\r\n\r\nOK\r\n", "ok 460011234567890"},
        {imsi, "+CME ERROR: 10\r\n", "error +CME ERROR: 10 = SIM not inserted"},

        {cgmi, "\r\nQuectel\r\n\r\nOK\r\n", "ok Quectel"},
        {cgmi, "+CGMI: \"SIMCOM INCORPORATED\"\r\nOK\r\n", "ok SIMCOM INCORPORATED"},
        {cgmi, "EVIL\x1b]2;PWNED\x07\r\nOK\r\n", "ok EVIL\\x1B]2;PWNED\\x07"},
        {cgmr, "RDY\r\n+CFUN: 1\r\nRevision: EC20CEFAR06A03M4G\r\n\r\nOK\r\n",
         "ok Revision: EC20CEFAR06A03M4G"},
        {cgmr, "+CGMR: LE20B04SIM7600M22\r\nOK\r\n", "ok LE20B04SIM7600M22"},
        {cgmr, "OK\r\n", "unreadable"},

        {cops, "+COPS: 0,0,\"CHINA MOBILE\",7\r\n\r\nOK\r\n", "ok 0,0,CHINA MOBILE,7"},
        {cops, "+COPS: 0\r\nOK\r\n", "ok 0,-,,-"},
        {cops, "+COPS: 1,2,46001,2\r\nOK\r\n", "ok 1,2,46001,2"},
        {cops, "+COPS:  0 , 0 , \"A,B\" , 9\r\nOK\r\n", "ok 0,0,A,B,9"},
        {cops, "+COPS: 7,0,\"X\"\r\nOK\r\n", "unreadable"},
        {cops, "+COPS: 0,0,\"unterminated\r\nOK\r\n", "unreadable"},
        {cops, "+COPS: (1,\"X\")\r\nOK\r\n", "unreadable"},

        {creg, "+CREG: 0,1\r\n\r\nOK\r\n", "ok 0,1,,,-"},
        {creg, "+CREG: 1\r\n+CREG: 2,5,\"1A2B\",\"00C3\",7\r\nOK\r\n", "ok 2,5,1A2B,00C3,7"},
        {creg, "+CREG: 1,\"1A2B\",\"00C3\"\r\n+CREG: 0 , 3 \r\n\r\nOK\r\n", "ok 0,3,,,-"},
        {creg, "+CREG: 0,11\r\nOK\r\n", "unreadable"},
        {creg, "+CREG: 1\r\nOK\r\n", "unreadable"},
        {cgreg, "+CGREG: 2,1,\"1A2B\",\"01C3D4E\",7,\"00\"\r\nOK\r\n", "ok 2,1,1A2B,01C3D4E,7"},
        {cereg, "+CREG: 0,1\r\n+CEREG: 0,4\r\nOK\r\n", "ok 0,4,,,-"},

        {csq, "+CONFIG CMD:\r\n+CSQ: 23,99\r\n\r\nOK\r\n", "ok 23,99"},
        {csq, "+CSQ:99,99\nOK\n", "ok 99,99"},
        {csq, "+CSQ: 45,99\r\nOK\r\n", "unreadable"},
        {csq, "+CSQ: 23\r\nOK\r\n", "unreadable"},
        {csq, "+CSQ: -1,99\r\nOK\r\n", "unreadable"},
        {csq, "+CSQ: 2a,99\r\nOK\r\n", "unreadable"},
        {cesq, "+CESQ: 99,99,255,255,20,45\r\nOK\r\n", "ok 99,99,255,255,20,45"},
        {cesq, "+CESQ: 99,99,255,255,35,45\r\nOK\r\n", "unreadable"},
        {cesq, "+CESQ: 99,99,255,255,20,98\r\nOK\r\n", "unreadable"},

        {contexts,
         "+CGDCONT: 1,\"IP\",\"CMNET\",\"0.0.0.0\",0,0\r\n+CGDCONT: "
         "2,\"IPV4V6\",\"ims\",\"\",0,0\r\n\r\nOK\r\n",
         "ok 1 IP CMNET;2 IPV4V6 ims"},
        {contexts, "+CGDCONT: 1,\"IP\",\"\"\r\nOK\r\n", "ok 1 IP "},
        {contexts, "OK\r\n", "ok "},
        {contexts, "+CGDCONT: 1,\"IP\",\"a\"\r\n+CGDCONT: x,\"IP\",\"b\"\r\nOK\r\n", "unreadable"},
        {contexts, "", "unreadable"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.parser(c.answer), c.expected) << EscapeModuleText(c.answer);
    }
}

TEST(ModemParseTest, ReaderKnowsWhenTheAnswerIsWhole) {
    struct Case {
        std::string_view received;
        bool complete;
    };
    const Case cases[] = {
        {"", false},
        {"+CONFIG CMD:", false},
        {"+CONFIG CMD:\r\n+CSQ: 23,99\r\n\r\nOK", false},
        {"+CONFIG CMD:\r\n+CSQ: 23,99\r\n\r\nOK\r\n", true},
        {"+CONFIG CMD:\r\n+CME ERROR: 1", false},
        {"+CONFIG CMD:\r\n+CME ERROR: 10\r", true},
        {"+CONFIG CMD:ERROR\n", true},
        {"OK\r\n", false},
        {"OK\r\n+CONFIG CMD:\r\n+CSQ: 1,2\r\n", false},
        {"+CONFIG CMD:\r\n+COPS: 0,0,\"OK\"\r\nBOOK\r\n", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ModuleAnswerComplete(c.received), c.complete) << EscapeModuleText(c.received);
    }
    // Split over reads: whole only once the final line has ended.
    const std::string answer = "+CONFIG CMD:\r\nAT+CGMR\r\r\nOK? no: Revision 1\r\n\r\nOK\r\n";
    for (std::size_t n = 0; n < answer.size() - 1; ++n) {
        EXPECT_FALSE(ModuleAnswerComplete(std::string_view(answer).substr(0, n))) << n;
    }
    EXPECT_TRUE(ModuleAnswerComplete(answer));
    EXPECT_EQ(ModuleCommandFrame("AT+CSQ"), "DTU+CONFIG=CMD:AT+CSQ\r");
}

TEST(ModemParseTest, ModuleTextIsShownEscaped) {
    EXPECT_EQ(EscapeModuleText(std::string_view("a\\b\r\n\t\x1b\x7f\x80\xff\0z", 12)),
              "a\\\\b\\r\\n\\t\\x1B\\x7F\\x80\\xFF\\x00z");
    if (GbkAvailable()) {
        EXPECT_EQ(EscapeModuleText("\xD6\xD0\xB9\xFA"), "中国");
        EXPECT_EQ(EscapeModuleText("\xD6"), "\\xD6");
    }
}

TEST(ModemSignalTest, LevelsAndGrades) {
    struct Case {
        SignalLevel level;
        SignalGrade grade;
        std::string_view text;
        std::string_view gradeName;
    };
    const auto ungraded = SignalGrade::Unknown;
    const Case cases[] = {
        {CsqLevel(0), CsqGrade(0), "-113 dBm or less", "none"},
        {CsqLevel(1), CsqGrade(1), "-111 dBm", "none"},
        {CsqLevel(2), CsqGrade(2), "-109 dBm", "poor"},
        {CsqLevel(9), CsqGrade(9), "-95 dBm", "poor"},
        {CsqLevel(10), CsqGrade(10), "-93 dBm", "fair"},
        {CsqLevel(14), CsqGrade(14), "-85 dBm", "fair"},
        {CsqLevel(15), CsqGrade(15), "-83 dBm", "good"},
        {CsqLevel(19), CsqGrade(19), "-75 dBm", "good"},
        {CsqLevel(20), CsqGrade(20), "-73 dBm", "excellent"},
        {CsqLevel(31), CsqGrade(31), "-51 dBm or more", "excellent"},
        {CsqLevel(99), CsqGrade(99), "unknown", "unknown"},
        {CsqLevel(32), CsqGrade(32), "unknown", "unknown"},
        {RsrpLevel(0), RsrpGrade(RsrpLevel(0)), "-140 dBm or less", "poor"},
        {RsrpLevel(39), RsrpGrade(RsrpLevel(39)), "-101 dBm", "poor"},
        {RsrpLevel(40), RsrpGrade(RsrpLevel(40)), "-100 dBm", "fair"},
        {RsrpLevel(49), RsrpGrade(RsrpLevel(49)), "-91 dBm", "fair"},
        {RsrpLevel(50), RsrpGrade(RsrpLevel(50)), "-90 dBm", "good"},
        {RsrpLevel(59), RsrpGrade(RsrpLevel(59)), "-81 dBm", "good"},
        {RsrpLevel(60), RsrpGrade(RsrpLevel(60)), "-80 dBm", "excellent"},
        {RsrpLevel(96), RsrpGrade(RsrpLevel(96)), "-44 dBm", "excellent"},
        {RsrpLevel(97), RsrpGrade(RsrpLevel(97)), "-44 dBm or more", "excellent"},
        {RsrpLevel(255), RsrpGrade(RsrpLevel(255)), "unknown", "unknown"},
        {RsrqLevel(0), ungraded, "-19.5 dB or less", "unknown"},
        {RsrqLevel(1), ungraded, "-19 dB", "unknown"},
        {RsrqLevel(20), ungraded, "-9.5 dB", "unknown"},
        {RsrqLevel(33), ungraded, "-3 dB", "unknown"},
        {RsrqLevel(34), ungraded, "-3 dB or more", "unknown"},
        {RsrqLevel(35), ungraded, "unknown", "unknown"},
        {RxlevLevel(0), ungraded, "-110 dBm or less", "unknown"},
        {RxlevLevel(63), ungraded, "-48 dBm or more", "unknown"},
        {RscpLevel(95), ungraded, "-25 dBm", "unknown"},
        {RscpLevel(96), ungraded, "-25 dBm or more", "unknown"},
        {EcnoLevel(1), ungraded, "-23.5 dB", "unknown"},
        {EcnoLevel(48), ungraded, "0 dB", "unknown"},
        {EcnoLevel(49), ungraded, "0 dB or more", "unknown"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(LevelText(c.level), c.text);
        EXPECT_EQ(GradeName(c.grade), c.gradeName) << c.text;
    }
    const std::pair<SignalGrade, std::string_view> zh[] = {
        {SignalGrade::Excellent, "优"}, {SignalGrade::Good, "良"}, {SignalGrade::Fair, "中"},
        {SignalGrade::Poor, "差"},      {SignalGrade::None, "无"}, {SignalGrade::Unknown, "未知"},
    };
    for (const auto& [grade, text] : zh) {
        EXPECT_EQ(GradeNameZh(grade), text);
    }
}

// Answers by command; a command without one gets ERROR, a nullopt one no answer at all.
class ScriptedLink : public IModuleLink {
  public:
    explicit ScriptedLink(std::map<std::string, std::optional<std::string>> script)
        : m_script(std::move(script)) {}

    std::optional<std::string> Ask(std::string_view atCommand) override {
        m_asked.emplace_back(atCommand);
        const auto it = m_script.find(std::string(atCommand));
        return it == m_script.end() ? std::optional<std::string>("+CONFIG CMD:\r\nERROR\r\n") : it->second;
    }

    std::vector<std::string> m_asked;

  private:
    std::map<std::string, std::optional<std::string>> m_script;
};

std::string Wrap(std::string_view body) {
    return "+CONFIG CMD:\r\n" + std::string(body) + "\r\n\r\nOK\r\n";
}

// A unit on LTE that is online: the module echoes, chatters unsolicited lines, knows only the SIM-file
// ICCID query, and leaves the manufacturer query unanswered.
std::map<std::string, std::optional<std::string>> OnlineLteUnit() {
    return {
        {"AT+CPIN?", "+CONFIG CMD:\r\nAT+CPIN?\r\r\n+CPIN: READY\r\n\r\nOK\r\n"},
        {"AT+CGSN", Wrap("490154203237518")},
        {"AT+CCID", "+CONFIG CMD:\r\nERROR\r\n"},
        {"AT+ICCID", "+CONFIG CMD:\r\n+CME ERROR: 4\r\n"},
        {"AT+CRSM=176,12258,0,0,10", Wrap("+CRSM: 144,0,\"98684010325476981032\"")},
        {"AT+CIMI", Wrap("+CREG: 1\r\n460001234567890")},
        {"AT+CGMI", std::nullopt},
        {"AT+CGMM", Wrap("EC20F")},
        {"AT+CGMR", Wrap("Revision: EC20CEFAR06A03M4G")},
        {"AT+COPS?", Wrap("+COPS: 0,0,\"CHINA MOBILE\",7")},
        {"AT+CREG?", Wrap("+CREG: 0,1")},
        {"AT+CGREG?", "+CONFIG CMD:\r\nRDY\r\n+CGREG: 0,1\r\n\r\nOK\r\n"},
        {"AT+CEREG?", Wrap("+CEREG: 2,1,\"1A2B\",\"01A2B3C4\",7")},
        {"AT+CSQ", Wrap("+CSQ: 99,99")},
        {"AT+CESQ", Wrap("+CESQ: 99,99,255,255,20,50")},
        {"AT+CGDCONT?", Wrap("+CGDCONT: 1,\"IP\",\"CMNET.mnc000.mcc460.gprs\",\"0.0.0.0\",0,0")},
    };
}

const DiagnosisItem& ItemNamed(const Diagnosis& d, std::string_view name) {
    for (const DiagnosisItem& item : d.items) {
        if (item.name == name) {
            return item;
        }
    }
    static const DiagnosisItem missing;
    ADD_FAILURE() << "no item " << name;
    return missing;
}

TEST(ModemDiagnosisTest, AsksEachQueryInTurnAndReadsEveryAnswer) {
    ScriptedLink link(OnlineLteUnit());
    const Diagnosis d = RunDiagnosis(link, std::string_view("cmnet\0\0\0", 8));

    const std::vector<std::string> order = {
        "AT+CPIN?",   "AT+CGSN",   "AT+CCID",   "AT+ICCID", "AT+CRSM=176,12258,0,0,10",
        "AT+CIMI",    "AT+CGMI",   "AT+CGMM",   "AT+CGMR",  "AT+COPS?",
        "AT+CREG?",   "AT+CGREG?", "AT+CEREG?", "AT+CSQ",   "AT+CESQ",
        "AT+CGDCONT?"};
    EXPECT_EQ(link.m_asked, order);
    EXPECT_EQ(d.verdict, Verdict::LooksFine);
    EXPECT_EQ(d.verdictLine,
              "looks fine: CS 1 (registered, home network), GPRS 1 (registered, home network), "
              "LTE 1 (registered, home network); CSQ 99, RSRP -90 dBm");

    const DiagnosisItem& sim = ItemNamed(d, "SIM");
    EXPECT_EQ(sim.status, ItemStatus::Ok);
    EXPECT_EQ(sim.value, "READY");
    EXPECT_EQ(sim.raw, "+CONFIG CMD:\\r\\nAT+CPIN?\\r\\r\\n+CPIN: READY\\r\\n\\r\\nOK\\r\\n");

    const DiagnosisItem& iccid = ItemNamed(d, "ICCID");
    EXPECT_EQ(iccid.status, ItemStatus::Ok);
    EXPECT_EQ(iccid.value, "89860401234567890123");
    EXPECT_EQ(iccid.command, "AT+CCID, AT+ICCID, AT+CRSM=176,12258,0,0,10");
    EXPECT_EQ(iccid.raw,
              "+CONFIG CMD:\\r\\nERROR\\r\\n | +CONFIG CMD:\\r\\n+CME ERROR: 4\\r\\n | "
              "+CONFIG CMD:\\r\\n+CRSM: 144,0,\"98684010325476981032\"\\r\\n\\r\\nOK\\r\\n");
    EXPECT_EQ(iccid.meaning, "read from the SIM's file");

    const DiagnosisItem& maker = ItemNamed(d, "Manufacturer");
    EXPECT_EQ(maker.status, ItemStatus::NoAnswer);
    EXPECT_EQ(maker.meaning, "no answer");
    EXPECT_EQ(ItemNamed(d, "Model").value, "EC20F");

    EXPECT_EQ(ItemNamed(d, "Operator").value, "CHINA MOBILE");
    EXPECT_EQ(ItemNamed(d, "Operator").meaning, "automatic, long name, E-UTRAN (LTE)");
    EXPECT_EQ(ItemNamed(d, "Registration (LTE)").value, "1, area 1A2B, cell 01A2B3C4");
    EXPECT_EQ(ItemNamed(d, "Registration (LTE)").meaning, "registered, home network, E-UTRAN (LTE)");

    const DiagnosisItem& csq = ItemNamed(d, "Signal (CSQ)");
    EXPECT_EQ(csq.value, "unknown (CSQ 99)");
    EXPECT_EQ(csq.grade, SignalGrade::Unknown);
    const DiagnosisItem& cesq = ItemNamed(d, "Signal (CESQ)");
    EXPECT_EQ(cesq.value, "RSRP -90 dBm, RSRQ -9.5 dB");
    EXPECT_EQ(cesq.grade, SignalGrade::Good);
    EXPECT_EQ(cesq.meaning, "good");

    EXPECT_EQ(ItemNamed(d, "APN").value, "1: IP \"CMNET.mnc000.mcc460.gprs\"");
    EXPECT_EQ(ItemNamed(d, "APN").meaning, "the record's APN is among them");

    EXPECT_EQ(d.identity.imei, "490154203237518");
    EXPECT_EQ(d.identity.iccid, "89860401234567890123");
    EXPECT_EQ(d.identity.imsi, "460001234567890");
    EXPECT_EQ(d.identity.firmware, "Revision: EC20CEFAR06A03M4G");
}

TEST(ModemDiagnosisTest, VerdictNamesWhatKeepsTheUnitOffline) {
    using Script = std::map<std::string, std::optional<std::string>>;
    struct Case {
        std::string_view what;
        Script changes;
        std::string_view recordApn;
        Verdict verdict;
        std::string_view line;
    };
    const std::string cme10 = "+CONFIG CMD:\r\n+CME ERROR: 10\r\n";
    const Case cases[] = {
        {"no SIM",
         {{"AT+CPIN?", cme10}, {"AT+CIMI", cme10}, {"AT+CREG?", Wrap("+CREG: 0,0")}},
         "cmnet",
         Verdict::NoSim,
         "no usable SIM: +CME ERROR: 10 (SIM not inserted)"},
        {"SIM missing",
         {{"AT+CPIN?", Wrap("+CPIN: NOT INSERTED")}},
         "cmnet",
         Verdict::NoSim,
         "no usable SIM: +CPIN: NOT INSERTED"},
        {"PIN",
         {{"AT+CPIN?", Wrap("+CPIN: SIM PIN")}},
         "cmnet",
         Verdict::PinNeeded,
         "the SIM asks for its PIN: +CPIN: SIM PIN"},
        {"denied",
         {{"AT+CEREG?", Wrap("+CEREG: 0,3")}},
         "cmnet",
         Verdict::RegistrationDenied,
         "the network denies registration: LTE 3 (registration denied)"},
        {"searching",
         {{"AT+CREG?", Wrap("+CREG: 0,2")},
          {"AT+CGREG?", Wrap("+CGREG: 0,2")},
          {"AT+CEREG?", Wrap("+CEREG: 0,0")},
          {"AT+CSQ", Wrap("+CSQ: 12,99")}},
         "cmnet",
         Verdict::NotRegistered,
         "not registered on a network: CS 2 (not registered, searching), GPRS 2 (not registered, searching), "
         "LTE "
         "0 (not registered, not searching)"},
        {"no signal",
         {{"AT+CREG?", Wrap("+CREG: 0,2")},
          {"AT+CGREG?", "+CONFIG CMD:\r\nERROR\r\n"},
          {"AT+CEREG?", Wrap("+CEREG: 0,4")},
          {"AT+CSQ", Wrap("+CSQ: 1,99")}},
         "cmnet",
         Verdict::NoSignal,
         "no signal: CSQ 1, RSRP -90 dBm; CS 2 (not registered, searching), LTE 4 (unknown (e.g. out of "
         "coverage))"},
        {"APN",
         {},
         "iot.example",
         Verdict::ApnDiffers,
         "the module's APN differs from the record's: module \"CMNET.mnc000.mcc460.gprs\", record "
         "\"iot.example\""},
        {"no APN in the record", {}, "", Verdict::LooksFine, ""},
        {"roaming",
         {{"AT+CREG?", Wrap("+CREG: 0,5")},
          {"AT+CGREG?", Wrap("+CGREG: 0,5")},
          {"AT+CEREG?", Wrap("+CEREG: 0,5")},
          {"AT+CSQ", Wrap("+CSQ: 16,99")}},
         "CMNET",
         Verdict::LooksFine,
         "looks fine: CS 5 (registered, roaming), GPRS 5 (registered, roaming), LTE 5 (registered, roaming); "
         "CSQ 16, RSRP -90 dBm"},
        {"registration unreadable",
         {{"AT+CREG?", Wrap("+CREG: 0,42")}, {"AT+CGREG?", Wrap("+CGREG: 1")}, {"AT+CEREG?", std::nullopt}},
         "cmnet",
         Verdict::Undetermined,
         "cannot tell: no registration state could be read"},
    };
    for (const Case& c : cases) {
        Script script = OnlineLteUnit();
        for (const auto& [command, answer] : c.changes) {
            script[command] = answer;
        }
        ScriptedLink link(script);
        const Diagnosis d = RunDiagnosis(link, c.recordApn);
        EXPECT_EQ(d.verdict, c.verdict) << c.what;
        if (!c.line.empty()) {
            EXPECT_EQ(d.verdictLine, c.line) << c.what;
        }
        // An error never stops the run.
        EXPECT_EQ(link.m_asked.size(), 16u) << c.what;
    }
}

TEST(ModemDiagnosisTest, SilentModuleIsGivenUpOnAfterThreeQueries) {
    ScriptedLink link({{"AT+CPIN?", std::nullopt}, {"AT+CGSN", std::nullopt}, {"AT+CCID", std::nullopt}});
    const Diagnosis d = RunDiagnosis(link, "cmnet");
    EXPECT_EQ(link.m_asked, (std::vector<std::string>{"AT+CPIN?", "AT+CGSN", "AT+CCID"}));
    EXPECT_EQ(d.verdict, Verdict::ModuleSilent);
    EXPECT_EQ(d.verdictLine, "the module does not answer: no query got an answer");
    EXPECT_EQ(d.verdictEvidence, "no query got an answer");
    EXPECT_EQ(VerdictTextZh(d.verdict), "模块无应答");
    EXPECT_EQ(d.items.size(), 14u);
    EXPECT_EQ(d.items[0].status, ItemStatus::NoAnswer);
    EXPECT_EQ(d.items[2].name, "ICCID");
    EXPECT_EQ(d.items[2].status, ItemStatus::NoAnswer);
    EXPECT_EQ(d.items[2].command, "AT+CCID");
    EXPECT_EQ(d.items[3].status, ItemStatus::NotAsked);
    EXPECT_EQ(d.items.back().status, ItemStatus::NotAsked);
    EXPECT_EQ(d.items.back().meaning, "not asked: the module stopped answering");
    EXPECT_EQ(d.identity.imei, "");
}

}  // namespace

namespace {

// The window's diagnosis is told in Chinese: the names, meanings and verdict line hold none of the English
// the command line shows, whatever the module answered (values, errors, no answer, unreadable answers).
TEST(ModemDiagnosisTest, TheWindowsWordsAreChinese) {
    using Script = std::map<std::string, std::optional<std::string>>;
    const std::string cme = "+CONFIG CMD:\r\n+CME ERROR: ";
    struct Case {
        std::string_view what;
        Script changes;
        std::string_view recordApn;
        std::string_view line;  // empty: not compared
    };
    const Case cases[] = {
        {"online on LTE",
         {},
         "cmnet",
         "看起来正常：CS 1（已注册，本地网络），GPRS 1（已注册，本地网络），LTE 1（已注册，本地网络）；CSQ "
         "99，RSRP -90 dBm"},
        {"no SIM, errors of every kind, unreadable and GSM answers",
         {{"AT+CPIN?", cme + "10\r\n"},
          {"AT+CGSN", Wrap("12345")},
          {"AT+CRSM=176,12258,0,0,10", Wrap("+CRSM: 106,130")},
          {"AT+CIMI", cme + "999\r\n"},
          {"AT+CGMM", cme + "whatever happened\r\n"},
          {"AT+CGMR", "+CONFIG CMD:\r\n+CMS ERROR: 500\r\n"},
          {"AT+COPS?", Wrap("+COPS: 0")},
          {"AT+CREG?", Wrap("+CREG: 0,0")},
          {"AT+CEREG?", Wrap("+CEREG: 0,12")},
          {"AT+CSQ", Wrap("+CSQ: 0,99")},
          {"AT+CESQ", Wrap("+CESQ: 0,99,255,255,255,255")},
          {"AT+CGDCONT?", "+CONFIG CMD:\r\nOK\r\n"}},
         "cmnet",
         "未检测到可用的SIM卡：+CME ERROR: 10（未插入SIM卡）"},
        {"searching",
         {{"AT+CREG?", Wrap("+CREG: 0,2")},
          {"AT+CGREG?", Wrap("+CGREG: 0,2")},
          {"AT+CEREG?", Wrap("+CEREG: 0,0")},
          {"AT+CSQ", Wrap("+CSQ: 12,99")}},
         "cmnet",
         "未注册到网络：CS 2（未注册，正在搜索网络），GPRS 2（未注册，正在搜索网络），LTE "
         "0（未注册，未在搜索网络）"},
        {"another APN",
         {},
         "iot.example",
         "模块的APN与参数中的APN不一致：模块 \"CMNET.mnc000.mcc460.gprs\"，参数 \"iot.example\""},
        {"silent",
         {{"AT+CPIN?", std::nullopt}, {"AT+CGSN", std::nullopt}, {"AT+CCID", std::nullopt}},
         "cmnet",
         "模块无应答：所有查询均无应答"},
    };
    // Our English words; the module's own (CHINA MOBILE, ERROR, "whatever happened") are data.
    const std::string_view english[] = {
        "not ",      "registered", "answer",   "unknown",   "none",      "check",   "digit",
        "read ",     "country",    "area",     "cell",      "automatic", "numeric", "signal",
        "module",    "record",     "refused",  "excellent", "good",      "fair",    "poor",
        " or ",      "ready",      "locked",   "inserted",  "denied",    "roaming", "home",
        "searching", "access",     "standard", "differs",   "among",     "context", "looks",
        "cannot",    "service",    "failure",  "(",         ")",         "; ",      ", "};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Script script = OnlineLteUnit();
        for (const auto& [command, answer] : c.changes) {
            script[command] = answer;
        }
        ScriptedLink link(script);
        const Diagnosis d = RunDiagnosis(link, c.recordApn, ModemLanguage::Chinese);
        if (!c.line.empty()) {
            EXPECT_EQ(d.verdictLine, c.line);
        }
        // The same verdict as in English, only its words differ.
        ScriptedLink again(script);
        EXPECT_EQ(d.verdict, RunDiagnosis(again, c.recordApn).verdict);
        std::vector<std::string> texts = {d.verdictLine};
        for (const DiagnosisItem& item : d.items) {
            // A 2G level has no grade: RSRP's scale is not its, and "unknown" beside a known level misleads.
            if (item.command == kQueryCesq && item.value.starts_with("RXLEV")) {
                EXPECT_EQ(item.meaning, "");
            }
            texts.push_back(item.name);
            texts.push_back(item.meaning);
            if (item.status == ItemStatus::Ok &&
                item.command != kQuerySim) {  // "+CPIN: READY" is the module's
                texts.push_back(item.value);
            }
        }
        for (const std::string& text : texts) {
            std::string lower = text;
            for (char& ch : lower) {
                ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
            }
            // The module's operator and firmware, and the APNs, are its own words.
            for (const std::string_view data :
                 {"china mobile", "revision: ec20cefar06a03m4g", "\"cmnet.mnc000.mcc460.gprs\""}) {
                if (const auto at = lower.find(data); at != std::string::npos) {
                    lower.erase(at, data.size());
                }
            }
            for (const std::string_view word : english) {
                EXPECT_EQ(lower.find(word), std::string::npos) << "\"" << word << "\" in: " << text;
            }
        }
    }
}

}  // namespace
