#include "modem/module_answer.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <utility>

#include "text/gbk.h"

namespace {

struct CmeError {
    int code;
    std::string_view meaning;
};

// Mobile termination errors and packet domain errors as the AT command set for the UE lists them.
constexpr CmeError kCmeErrors[] = {
    {0, "phone failure"},
    {1, "no connection to phone"},
    {2, "phone-adaptor link reserved"},
    {3, "operation not allowed"},
    {4, "operation not supported"},
    {5, "PH-SIM PIN required"},
    {6, "PH-FSIM PIN required"},
    {7, "PH-FSIM PUK required"},
    {10, "SIM not inserted"},
    {11, "SIM PIN required"},
    {12, "SIM PUK required"},
    {13, "SIM failure"},
    {14, "SIM busy"},
    {15, "SIM wrong"},
    {16, "incorrect password"},
    {17, "SIM PIN2 required"},
    {18, "SIM PUK2 required"},
    {20, "memory full"},
    {21, "invalid index"},
    {22, "not found"},
    {23, "memory failure"},
    {24, "text string too long"},
    {25, "invalid characters in text string"},
    {26, "dial string too long"},
    {27, "invalid characters in dial string"},
    {30, "no network service"},
    {31, "network timeout"},
    {32, "network not allowed - emergency calls only"},
    {40, "network personalization PIN required"},
    {41, "network personalization PUK required"},
    {42, "network subset personalization PIN required"},
    {43, "network subset personalization PUK required"},
    {44, "service provider personalization PIN required"},
    {45, "service provider personalization PUK required"},
    {46, "corporate personalization PIN required"},
    {47, "corporate personalization PUK required"},
    {48, "hidden key required"},
    {49, "EAP method not supported"},
    {50, "incorrect parameters"},
    {51, "command implemented but currently disabled"},
    {52, "command aborted by user"},
    {53, "not attached to network due to MT functionality restrictions"},
    {54, "modem not allowed - MT restricted to emergency calls only"},
    {55, "operation not allowed because of MT functionality restrictions"},
    {56, "fixed dial number only allowed"},
    {57, "temporarily out of service due to other MT usage"},
    {58, "language/alphabet not supported"},
    {59, "unexpected data value"},
    {60, "system failure"},
    {61, "data missing"},
    {62, "call barred"},
    {63, "message waiting indication subscription failure"},
    {100, "unknown"},
    {103, "illegal MS"},
    {106, "illegal ME"},
    {107, "GPRS services not allowed"},
    {108, "GPRS services and non-GPRS services not allowed"},
    {111, "PLMN not allowed"},
    {112, "location area not allowed"},
    {113, "roaming not allowed in this location area"},
    {114, "GPRS services not allowed in this PLMN"},
    {115, "no suitable cells in location area"},
    {122, "congestion"},
    {125, "not authorized for this CSG"},
    {126, "insufficient resources"},
    {127, "missing or unknown APN"},
    {128, "unknown PDP address or PDP type"},
    {129, "user authentication failed"},
    {130, "activation rejected by GGSN, Serving GW or PDN GW"},
    {131, "activation rejected, unspecified"},
    {132, "service option not supported"},
    {133, "requested service option not subscribed"},
    {134, "service option temporarily out of order"},
    {140, "feature not supported"},
    {141, "semantic error in the TFT operation"},
    {142, "syntactical error in the TFT operation"},
    {143, "unknown PDP context"},
    {144, "semantic errors in packet filter(s)"},
    {145, "syntactical errors in packet filter(s)"},
    {146, "PDP context without TFT already activated"},
    {148, "unspecified GPRS error"},
    {149, "PDP authentication failure"},
    {150, "invalid mobile class"},
    {171, "last PDN disconnection not allowed"},
    {172, "semantically incorrect message"},
    {173, "mandatory information element error"},
    {174, "information element non-existent or not implemented"},
    {175, "conditional IE error"},
    {176, "protocol error, unspecified"},
    {177, "operator determined barring"},
    {178, "maximum number of PDP contexts reached"},
    {179, "requested APN not supported in current RAT and PLMN combination"},
};

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Lower(x) == Lower(y); });
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualNoCase(text.substr(0, prefix.size()), prefix);
}

std::string_view Trim(std::string_view s) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!s.empty() && blank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && blank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

std::string_view AfterMarker(std::string_view text) {
    const std::size_t at = text.find(kModuleAnswerMarker);
    return at == std::string_view::npos ? text : text.substr(at + kModuleAnswerMarker.size());
}

// The final result a line is, with what follows the colon of an error code.
std::pair<FinalResult, std::string_view> FinalOf(std::string_view line) {
    if (line == "OK") {
        return {FinalResult::Ok, {}};
    }
    if (line == "ERROR") {
        return {FinalResult::Error, {}};
    }
    if (StartsWithNoCase(line, "+CME ERROR:")) {
        return {FinalResult::CmeError, Trim(line.substr(11))};
    }
    if (StartsWithNoCase(line, "+CMS ERROR:")) {
        return {FinalResult::CmsError, Trim(line.substr(11))};
    }
    return {FinalResult::None, {}};
}

std::optional<int> SmallNumber(std::string_view digits) {
    if (digits.empty() || digits.size() > 5 ||
        digits.find_first_not_of("0123456789") != std::string_view::npos) {
        return std::nullopt;
    }
    int n = 0;
    for (const char c : digits) {
        n = n * 10 + (c - '0');
    }
    return n;
}

void AppendHex(std::string& out, uint8_t byte) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    out += "\\x";
    out += kDigits[byte >> 4];
    out += kDigits[byte & 0x0F];
}

}  // namespace

std::string ModuleCommandFrame(std::string_view atCommand) {
    std::string frame(kModuleCommandPrefix);
    frame += atCommand;
    frame += '\r';
    return frame;
}

bool ModuleAnswerComplete(std::string_view received) {
    const std::size_t at = received.find(kModuleAnswerMarker);
    if (at == std::string_view::npos) {
        return false;
    }
    std::string_view rest = received.substr(at + kModuleAnswerMarker.size());
    while (true) {
        const std::size_t end = rest.find_first_of("\r\n");
        if (end == std::string_view::npos) {
            return false;
        }
        if (FinalOf(Trim(rest.substr(0, end))).first != FinalResult::None) {
            return true;
        }
        rest.remove_prefix(end + 1);
    }
}

SplitLines SplitAnswer(std::string_view answer, std::string_view command) {
    SplitLines split;
    std::string_view rest = AfterMarker(answer);
    const std::string_view echo = Trim(command);
    while (!rest.empty()) {
        const std::size_t end = std::min(rest.find_first_of("\r\n"), rest.size());
        const std::string_view line = Trim(rest.substr(0, end));
        rest.remove_prefix(std::min(end + 1, rest.size()));
        if (line.empty() || (!echo.empty() && EqualNoCase(line, echo))) {
            continue;
        }
        const auto [final, detail] = FinalOf(line);
        if (final == FinalResult::None) {
            split.lines.emplace_back(line);
            continue;
        }
        split.final = final;
        split.finalLine = EscapeModuleText(line);
        if (final == FinalResult::CmeError || final == FinalResult::CmsError) {
            split.errorCode = SmallNumber(detail);
            if (!split.errorCode && final == FinalResult::CmeError) {
                for (const CmeError& e : kCmeErrors) {
                    if (EqualNoCase(detail, e.meaning)) {
                        split.errorCode = e.code;
                        break;
                    }
                }
            }
        }
        break;
    }
    return split;
}

std::string_view CmeErrorMeaning(int code, ModemLanguage language) {
    if (language == ModemLanguage::Chinese) {
        for (const CodedText& e : kTextsCmeErrorZh) {
            if (e.code == code) {
                return e.text.utf8;
            }
        }
        return {};
    }
    for (const CmeError& e : kCmeErrors) {
        if (e.code == code) {
            return e.meaning;
        }
    }
    return {};
}

std::string ErrorMeaning(const SplitLines& split) {
    switch (split.final) {
        case FinalResult::Error:
            return "the module refused the command or does not know it";
        case FinalResult::CmeError:
            if (split.errorCode) {
                const std::string_view meaning = CmeErrorMeaning(*split.errorCode);
                if (!meaning.empty()) {
                    return std::string(meaning);
                }
                return "module error " + std::to_string(*split.errorCode) + " (not a standard number)";
            }
            // A verbose text the table does not hold: the module's own words are the best meaning.
            return "module error: " + std::string(Trim(std::string_view(split.finalLine).substr(11)));
        case FinalResult::CmsError:
            return split.errorCode ? "message service error " + std::to_string(*split.errorCode)
                                   : "message service error";
        case FinalResult::Ok:
        case FinalResult::None:
            break;
    }
    return {};
}

std::string EscapeModuleText(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto byte = static_cast<uint8_t>(bytes[i]);
        if (byte == '\\') {
            out += "\\\\";
        } else if (byte == '\r') {
            out += "\\r";
        } else if (byte == '\n') {
            out += "\\n";
        } else if (byte == '\t') {
            out += "\\t";
        } else if (byte >= 0x20 && byte < 0x7F) {
            out += static_cast<char>(byte);
        } else if (byte >= 0x80 && IsGbkLead(byte) && i + 1 < bytes.size() &&
                   IsGbkTrail(static_cast<uint8_t>(bytes[i + 1]))) {
            const char16_t code = GbkPairCode(byte, static_cast<uint8_t>(bytes[i + 1]));
            // A pair that is no character, or one that is a control, stays two escaped bytes.
            if (code >= 0xA0) {
                AppendUtf8(code, out);
                ++i;
            } else {
                AppendHex(out, byte);
            }
        } else {
            AppendHex(out, byte);
        }
    }
    return out;
}

std::string ErrorLineMeaning(std::string_view finalLine, std::optional<int> code, ModemLanguage language) {
    const auto number = [&] { return code ? std::to_string(*code) : std::string(); };
    if (finalLine.starts_with("+CRSM:")) {
        const std::string status(Trim(finalLine.substr(6)));
        return language == ModemLanguage::Chinese ? std::string("SIM卡拒绝读取（状态 ") + status + "）"
                                                  : "the SIM refused the read (status " + status + ")";
    }
    SplitLines split;
    split.finalLine = finalLine;
    split.errorCode = code;
    split.final = finalLine.starts_with("+CME ERROR")   ? FinalResult::CmeError
                  : finalLine.starts_with("+CMS ERROR") ? FinalResult::CmsError
                                                        : FinalResult::Error;
    if (language != ModemLanguage::Chinese) {
        return ErrorMeaning(split);
    }
    switch (split.final) {
        case FinalResult::CmeError:
            if (code) {
                const std::string_view meaning = CmeErrorMeaning(*code, language);
                return meaning.empty() ? std::string(kTextModemError.utf8) + " " + number() +
                                             std::string(kTextModemNotStandard.utf8)
                                       : std::string(meaning);
            }
            return std::string(kTextModemError.utf8) + "：" +
                   std::string(Trim(std::string_view(split.finalLine)
                                        .substr(std::min<std::size_t>(11, finalLine.size()))));
        case FinalResult::CmsError:
            return std::string(kTextModemSmsError.utf8) + (code ? " " + number() : std::string());
        default:
            break;
    }
    return std::string(kTextModemRefused.utf8);
}
