#include "terminal/send_line_ending.h"

std::string_view LineEndingBytes(SendLineEnding ending) {
    switch (ending) {
        case SendLineEnding::Cr:
            return "\r";
        case SendLineEnding::Lf:
            return "\n";
        case SendLineEnding::CrLf:
            return "\r\n";
        case SendLineEnding::None:
            break;
    }
    return {};
}

std::string TextSendBytes(std::string_view text, SendLineEnding ending) {
    const std::string_view end = LineEndingBytes(ending);
    std::string bytes;
    bytes.reserve(text.size() + end.size());
    bytes.append(text);
    bytes.append(end);
    return bytes;
}
