// The pieces every query's parser reads an answer with: fields split at commas and quotes, numbers within
// a range, the text of prefixed lines, and the start of an answer that a module error fills. Shared by the
// identity/SIM parsers (module_queries.cpp) and the network/signal ones (module_queries_network.cpp).
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "modem/module_answer.h"
#include "modem/module_queries.h"

namespace query_fields {

// Longest text from the module taken as a value; more is not a name, model or APN but noise.
inline constexpr std::size_t kMaxTextValue = 100;

inline constexpr std::string_view kDigits = "0123456789";
inline constexpr std::string_view kHexDigits = "0123456789ABCDEFabcdef";

char Upper(char c);
bool StartsWithNoCase(std::string_view text, std::string_view prefix);
std::string_view Trim(std::string_view s);
bool AllOf(std::string_view s, std::string_view chars);

struct Field {
    std::string_view text;
    bool quoted = false;
};

// Comma-separated fields, each trimmed, quotes taken off; commas inside quotes belong to the field.
// nullopt for an unclosed quote or text after a closing quote.
std::optional<std::vector<Field>> SplitFields(std::string_view body);
std::optional<int> Number(const Field& field);
std::optional<int> NumberIn(const Field& field, int lowest, int highest);
// Whether n is in [lowest, highest] or is the "not known" value.
std::optional<int> IndexIn(const Field& field, int highest, int notKnown);
// The text after "<prefix>:" of each line that starts with it, prefix matched without regard to case.
std::vector<std::string_view> Bodies(const SplitLines& split, std::string_view prefix);
// "+CGMI" from "AT+CGMI", "+CREG" from "AT+CREG?".
std::string_view PrefixOf(std::string_view command);
std::string_view Unquoted(std::string_view s);
// A line modules send on their own: "+CREG: 1", "^SIMST: 1", "RDY", "Call Ready".
bool LooksUnsolicited(std::string_view line);

// Starts an answer from the split lines: a module error fills it and returns false.
template <class T>
bool Usable(const SplitLines& split, QueryAnswer<T>& answer) {
    if (split.final == FinalResult::Error || split.final == FinalResult::CmeError ||
        split.final == FinalResult::CmsError) {
        answer.status = AnswerStatus::ModuleError;
        answer.error = split.finalLine;
        answer.errorMeaning = ErrorMeaning(split);
        answer.errorCode = split.errorCode;
        return false;
    }
    return true;
}

template <class T>
QueryAnswer<T> Read(T value) {
    QueryAnswer<T> answer;
    answer.status = AnswerStatus::Ok;
    answer.value = std::move(value);
    return answer;
}

}  // namespace query_fields
