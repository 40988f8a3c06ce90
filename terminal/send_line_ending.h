// The line ending a text send gets (manual and auto send alike): none, as the send area's text alone has
// always been sent, or CR, LF or CR LF after it, for devices that act on a command only at its line end
// ("AT" then CR). Hex sends never get one: their bytes are exactly the pairs typed.
#pragma once

#include <string>
#include <string_view>

enum class SendLineEnding { None, Cr, Lf, CrLf };

std::string_view LineEndingBytes(SendLineEnding ending);

// The bytes of a text send: the send area's bytes, then the ending; all of them are handed to the port
// and counted.
std::string TextSendBytes(std::string_view text, SendLineEnding ending);
