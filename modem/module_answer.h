// The module's answer to one AT command, as the device passes it on: "+CONFIG CMD:" and then whatever the
// module sent, which is information lines, perhaps the command's echo and unsolicited lines ("RDY",
// "+CREG: 1") mixed in, and one final result code (OK, ERROR, +CME ERROR: n). SplitAnswer cuts that text
// into trimmed lines and the final result; the query parsers read the lines. Everything from the module
// is data: EscapeModuleText makes it safe to show anywhere.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "modem/modem_words.h"

inline constexpr std::string_view kModuleCommandPrefix = "DTU+CONFIG=CMD:";
inline constexpr std::string_view kModuleAnswerMarker = "+CONFIG CMD:";

// The bytes that ask the device to pass atCommand to its module.
std::string ModuleCommandFrame(std::string_view atCommand);

// Whether bytes received after a module command hold the whole answer: a final result code line (OK,
// ERROR, +CME ERROR: ..., +CMS ERROR: ...), ended by CR or LF, after "+CONFIG CMD:". A code still without
// its line end may be cut ("+CME ERROR: 1" of 10), so the reader waits for it.
bool ModuleAnswerComplete(std::string_view received);

enum class FinalResult { None, Ok, Error, CmeError, CmsError };

struct SplitLines {
    // Blanks trimmed, empty lines, the echo of the command and everything after the final result dropped.
    std::vector<std::string> lines;
    FinalResult final = FinalResult::None;
    // +CME ERROR / +CMS ERROR: the number, given or looked up from the verbose text.
    std::optional<int> errorCode;
    // The final result line as sent, escaped (e.g. "+CME ERROR: SIM not inserted").
    std::string finalLine;
};

// Reads the text after the first "+CONFIG CMD:" (the whole text when there is none). Lines end at CR or
// LF in any mix; echo is a line equal to command, ignoring case.
SplitLines SplitAnswer(std::string_view answer, std::string_view command);

// The standard meaning of +CME ERROR: n (mobile termination and packet domain errors), empty when the
// number is not a standard one.
std::string_view CmeErrorMeaning(int code, ModemLanguage language = ModemLanguage::English);

// What a failed command's final result means to a reader: "+CME ERROR: 10" -> "SIM not inserted".
std::string ErrorMeaning(const SplitLines& split);
// The same told from a failed query's answer (its final line as read, escaped, and +CME ERROR's number),
// in the language given; "+CRSM: sw1,sw2" is the SIM refusing a file read.
std::string ErrorLineMeaning(std::string_view finalLine, std::optional<int> code, ModemLanguage language);

// Printable ASCII as it is; backslash doubled; CR, LF, tab as \r \n \t; other control bytes and bytes
// that form no GBK character as \xNN; GBK characters as UTF-8.
std::string EscapeModuleText(std::string_view bytes);
