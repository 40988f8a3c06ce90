#include "modem/query_fields.h"

#include <algorithm>
#include <string>

namespace query_fields {

char Upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), text.begin(),
                                                      [](char a, char b) { return Upper(a) == Upper(b); });
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) {
        s.remove_suffix(1);
    }
    return s;
}

bool AllOf(std::string_view s, std::string_view chars) {
    return s.find_first_not_of(chars) == std::string_view::npos;
}

// Comma-separated fields, each trimmed, quotes taken off; commas inside quotes belong to the field.
// nullopt for an unclosed quote or text after a closing quote.
std::optional<std::vector<Field>> SplitFields(std::string_view body) {
    std::vector<Field> fields;
    std::size_t i = 0;
    while (true) {
        while (i < body.size() && (body[i] == ' ' || body[i] == '\t')) {
            ++i;
        }
        Field field;
        if (i < body.size() && body[i] == '"') {
            const std::size_t close = body.find('"', i + 1);
            if (close == std::string_view::npos) {
                return std::nullopt;
            }
            field.text = body.substr(i + 1, close - i - 1);
            field.quoted = true;
            i = close + 1;
            while (i < body.size() && (body[i] == ' ' || body[i] == '\t')) {
                ++i;
            }
            if (i < body.size() && body[i] != ',') {
                return std::nullopt;
            }
        } else {
            const std::size_t comma = std::min(body.find(',', i), body.size());
            field.text = Trim(body.substr(i, comma - i));
            i = comma;
        }
        fields.push_back(field);
        if (i >= body.size()) {
            return fields;
        }
        ++i;  // the comma
    }
}

std::optional<int> Number(const Field& field) {
    const std::string_view t = field.text;
    if (t.empty() || t.size() > 5 || !AllOf(t, kDigits)) {
        return std::nullopt;
    }
    int n = 0;
    for (const char c : t) {
        n = n * 10 + (c - '0');
    }
    return n;
}

std::optional<int> NumberIn(const Field& field, int lowest, int highest) {
    const std::optional<int> n = Number(field);
    if (!n || *n < lowest || *n > highest) {
        return std::nullopt;
    }
    return n;
}

// Whether n is in [lowest, highest] or is the "not known" value.
std::optional<int> IndexIn(const Field& field, int highest, int notKnown) {
    const std::optional<int> n = Number(field);
    if (!n || (*n > highest && *n != notKnown)) {
        return std::nullopt;
    }
    return n;
}

// The text after "<prefix>:" of each line that starts with it, prefix matched without regard to case.
std::vector<std::string_view> Bodies(const SplitLines& split, std::string_view prefix) {
    std::vector<std::string_view> bodies;
    for (const std::string& line : split.lines) {
        const std::string_view l = line;
        if (StartsWithNoCase(l, prefix) && l.size() > prefix.size() && l[prefix.size()] == ':') {
            bodies.push_back(Trim(l.substr(prefix.size() + 1)));
        }
    }
    return bodies;
}

// "+CGMI" from "AT+CGMI", "+CREG" from "AT+CREG?".
std::string_view PrefixOf(std::string_view command) {
    if (StartsWithNoCase(command, "AT")) {
        command.remove_prefix(2);
    }
    const std::size_t end = command.find_first_of("?=");
    return command.substr(0, end);
}

std::string_view Unquoted(std::string_view s) {
    s = Trim(s);
    if (s.size() >= 2 && s.front() == '"' && s.back() == '"') {
        s = s.substr(1, s.size() - 2);
    }
    return Trim(s);
}

// A line modules send on their own: "+CREG: 1", "^SIMST: 1", "RDY", "Call Ready".
bool LooksUnsolicited(std::string_view line) {
    static constexpr std::string_view kWords[] = {"RDY", "Call Ready", "SMS Ready", "PB DONE",
                                                  "NORMAL POWER DOWN"};
    if (!line.empty() &&
        (line.front() == '+' || line.front() == '^' || line.front() == '%' || line.front() == '#')) {
        return true;
    }
    return std::find(std::begin(kWords), std::end(kWords), line) != std::end(kWords);
}

}  // namespace query_fields
