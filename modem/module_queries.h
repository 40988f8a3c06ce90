// The queries of the AT command set for the UE that tell why a unit is offline and which unit it is, and
// a parser for each answer. Parsers are pure: they take the answer text as the device passed it on and
// return the value, the module's error (ERROR, +CME ERROR: n) or "unreadable". They are tolerant of what
// modules really send (blanks, quotes or none, CR/LF in any mix, echo, unsolicited lines between) and
// strict about values: a number outside its range makes the answer unreadable, never a guessed value.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "modem/modem_words.h"

enum class AnswerStatus { Ok, ModuleError, Unreadable };

template <class T>
struct QueryAnswer {
    AnswerStatus status = AnswerStatus::Unreadable;
    T value{};
    // ModuleError: the final result line as sent (escaped), its standard meaning, and +CME ERROR's number.
    std::string error;
    std::string errorMeaning;
    std::optional<int> errorCode;

    bool Ok() const { return status == AnswerStatus::Ok; }
};

inline constexpr std::string_view kQuerySim = "AT+CPIN?";
inline constexpr std::string_view kQueryImei = "AT+CGSN";
inline constexpr std::string_view kQueryIccid = "AT+CCID";
inline constexpr std::string_view kQueryIccidAlt = "AT+ICCID";
// Restricted SIM access: READ BINARY (176) of EF ICCID (12258 = 0x2FE2), 10 bytes.
inline constexpr std::string_view kQueryIccidSim = "AT+CRSM=176,12258,0,0,10";
inline constexpr std::string_view kQueryImsi = "AT+CIMI";
inline constexpr std::string_view kQueryManufacturer = "AT+CGMI";
inline constexpr std::string_view kQueryModel = "AT+CGMM";
inline constexpr std::string_view kQueryFirmware = "AT+CGMR";
inline constexpr std::string_view kQueryOperator = "AT+COPS?";
inline constexpr std::string_view kQueryCsRegistration = "AT+CREG?";
inline constexpr std::string_view kQueryGprsRegistration = "AT+CGREG?";
inline constexpr std::string_view kQueryEpsRegistration = "AT+CEREG?";
inline constexpr std::string_view kQueryCsq = "AT+CSQ";
inline constexpr std::string_view kQueryCesq = "AT+CESQ";
inline constexpr std::string_view kQueryContexts = "AT+CGDCONT?";

enum class SimState { Ready, PinRequired, PukRequired, Pin2Required, NotInserted, NotReady };

struct SimStatus {
    SimState state = SimState::NotReady;
    std::string code;  // as sent: "READY", "SIM PIN", "PH-NET PIN", ...
};
std::string_view SimStateMeaning(SimState state, ModemLanguage language = ModemLanguage::English);

struct Imei {
    std::string digits;  // 15 digits
    bool checkDigitOk = false;
};

struct Operator {
    int mode = 0;               // 0 automatic, 1 manual, 2 deregistered, 3 format only, 4 manual/automatic
    std::optional<int> format;  // 0 long, 1 short, 2 numeric; absent when no operator is selected
    std::string name;           // escaped
    std::optional<int> accessTechnology;
};
std::string_view OperatorModeMeaning(int mode, ModemLanguage language = ModemLanguage::English);
std::string_view OperatorFormatMeaning(int format, ModemLanguage language = ModemLanguage::English);
// "E-UTRAN (LTE)", ...; empty for a number the standard does not list.
std::string_view AccessTechnologyMeaning(int act, ModemLanguage language = ModemLanguage::English);

struct Registration {
    int mode = 0;  // n: which unsolicited reports the module sends
    int stat = 0;
    std::string area;  // LAC or TAC, hex as sent, escaped; empty when not reported
    std::string cell;
    std::optional<int> accessTechnology;
};
// 0 not registered, not searching; 1 registered, home network; ... 10.
std::string_view RegistrationMeaning(int stat, ModemLanguage language = ModemLanguage::English);
bool IsRegistered(int stat);

struct Csq {
    int rssi = 99;
    int ber = 99;
};

struct Cesq {
    int rxlev = 99;
    int ber = 99;
    int rscp = 255;
    int ecno = 255;
    int rsrq = 255;
    int rsrp = 255;
};

struct PdpContext {
    int cid = 0;
    std::string type;  // "IP", "IPV6", "IPV4V6", ...; escaped
    std::string apn;   // escaped; may be empty
};

QueryAnswer<SimStatus> ParseSimStatus(std::string_view answer);
QueryAnswer<Imei> ParseImei(std::string_view answer);
// AT+CCID and AT+ICCID (any of the "+CCID:", "+ICCID:", "+QCCID:", "^ICCID:" prefixes, or none).
QueryAnswer<std::string> ParseIccid(std::string_view answer, std::string_view command);
// AT+CRSM=176,12258,0,0,10: the file's bytes in hex, each byte's two digits swapped.
QueryAnswer<std::string> ParseIccidFromSim(std::string_view answer);
QueryAnswer<std::string> ParseImsi(std::string_view answer);
// AT+CGMI, AT+CGMM, AT+CGMR: the first line of text that is not an unsolicited one; escaped.
QueryAnswer<std::string> ParseIdentityText(std::string_view answer, std::string_view command);
QueryAnswer<Operator> ParseOperator(std::string_view answer);
// command is kQueryCsRegistration, kQueryGprsRegistration or kQueryEpsRegistration.
QueryAnswer<Registration> ParseRegistration(std::string_view answer, std::string_view command);
QueryAnswer<Csq> ParseCsq(std::string_view answer);
QueryAnswer<Cesq> ParseCesq(std::string_view answer);
QueryAnswer<std::vector<PdpContext>> ParseContexts(std::string_view answer);

bool LuhnValid(std::string_view digits);
