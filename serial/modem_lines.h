// The modem control lines of a serial port as bits: the two this program drives (DTR, RTS) and the four the
// device drives (CTS, DSR, DCD, RI).
#pragma once

constexpr unsigned kLineDtr = 0x01;
constexpr unsigned kLineRts = 0x02;
constexpr unsigned kLineCts = 0x04;
constexpr unsigned kLineDsr = 0x08;
constexpr unsigned kLineDcd = 0x10;
constexpr unsigned kLineRi = 0x20;
constexpr unsigned kLineOutputs = kLineDtr | kLineRts;
