// How quendal-cli recognises a device's answer: by its content, in everything received since the command
// went out, instead of by the window's 100 ms pauses. A stall that splits an answer, a line that echoes the
// command, or a unit that logs around its answer then cannot hide or fake one. The session scans again after
// every batch of received bytes until the answer is whole, damaged, or its time is up; the scan itself is
// a pure function of the bytes so that every such line can be tried without a device.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "protocol/device_params.h"

enum class AnswerKind {
    Record,      // "+CONFIG=" and the 440-byte record
    SaveResult,  // "+CONFIG OK" or "+CONFIG ERROR"
    DefaultsOk,  // "+CONFIG DEFAULT OK", or "+CONFIG ERROR"
    ResetOk,     // "+CONFIG RESET OK", or "+CONFIG ERROR"
    Signal,      // "+CONFIG CMD:" and the module's "+CSQ:" line or its final result
    Module,      // "+CONFIG CMD:" and the module's lines up to its final result code
};

// A signal quality by 3GPP TS 27.007 AT+CSQ: rssi 0 to 31, or 99 when the module does not know it.
struct CsqValue {
    int rssi = 99;

    bool Known() const { return rssi != 99; }
    // -113 + 2 rssi; 0 stands for -113 dBm or less and 31 for -51 dBm or more.
    int Dbm() const { return -113 + 2 * rssi; }
    bool operator==(const CsqValue&) const = default;
};

// The text after "+CSQ:" up to the line's end: blanks, rssi (0-31 or 99), blanks, a comma and the rest.
std::optional<CsqValue> ParseCsqField(std::string_view value);

// "-69 dBm", "-113 dBm or less", "-51 dBm or more" or "not known".
std::string CsqMeaning(CsqValue csq);

struct ScannedAnswer {
    enum class State {
        Pending,  // not whole yet: keep reading while there is time
        Whole,    // the answer is complete and right
        Damaged,  // a whole record whose checksum does not match its bytes
    } state = State::Pending;

    // SaveResult, DefaultsOk, ResetOk: the device took the command (false: "+CONFIG ERROR").
    bool accepted = false;
    // Record, whole or damaged: the 440 bytes behind "+CONFIG=".
    std::array<uint8_t, kDeviceParamsSize> record{};
    // Signal: the value the module gave (nullopt when its answer held none), parsed here once; everything
    // after (result line, report, standard output) prints this value, never the module's text.
    std::optional<CsqValue> csq;
    // Module: the answer from "+CONFIG CMD:" on, as it came, for the module parsers.
    std::string moduleText;
    // What the bytes amount to so far, for a retry's reason and the end of time.
    std::string note;
};

// Judges received (everything since the command was handed to the port) for the answer to sent. An echo
// of sent is passed over: its first whole copy, or a copy still arriving at the end, unless the answer
// began before it.
ScannedAnswer ScanAnswer(std::span<const uint8_t> received, std::span<const uint8_t> sent, AnswerKind wanted);
