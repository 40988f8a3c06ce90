// The commands of the device protocol, in both directions of one serial line. The window sends the
// constants below (and the save frame built here) through the port engine; the simulated DTU feeds
// what it receives into a DtuCommandParser and answers each command it yields. Commands are ASCII text
// ending in one CR, except the save frame, which is "DTU+CONFIG=" followed by the raw 440-byte record
// and no terminator.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/response_frame.h"

inline constexpr std::string_view kCmdReadParams = "DTU+CONFIG\r";
inline constexpr std::string_view kCmdFactoryDefaults = "DTU+CONFIG=DEFAULT\r";
inline constexpr std::string_view kCmdReboot = "DTU+CONFIG=RESET\r";
inline constexpr std::string_view kCmdSignalQuery = "DTU+CONFIG=CMD:AT+CSQ\r";
inline constexpr std::string_view kSaveFramePrefix = "DTU+CONFIG=";
inline constexpr std::size_t kSaveFrameSize = 451;

static_assert(kSaveFramePrefix.size() + kDeviceParamsSize == kSaveFrameSize);

std::array<uint8_t, kSaveFrameSize> BuildSaveFrame(std::span<const uint8_t, kDeviceParamsSize> record);

enum class DtuCommandKind { Read, Save, Defaults, Reset, Cmd };

struct DtuCommand {
    DtuCommandKind kind = DtuCommandKind::Read;
    std::array<uint8_t, kDeviceParamsSize> record{};  // Save only
    std::string text;                                 // Cmd only: the bytes between "CMD:" and the CR
};

// The device's side: fed the bytes it receives, in pieces of any size, it yields each complete command
// once. Bytes that do not start a command are skipped until the next "DTU+CONFIG".
//
// The save frame has no terminator, so after "DTU+CONFIG=" the next bytes decide: "DEFAULT\r",
// "RESET\r", or "CMD:" and a CR within the next 440 bytes make a text command; otherwise 440 bytes
// are taken as a record. A record that happens to begin like a text command is read as that command;
// the device cannot tell them apart either, and the tool's records begin with other bytes.
class DtuCommandParser {
  public:
    std::vector<DtuCommand> Feed(std::span<const uint8_t> bytes);

    // Drops a partly received command, e.g. a save frame that stopped halfway.
    void Reset() { m_pending.clear(); }
    bool HasPending() const { return !m_pending.empty(); }

  private:
    enum class Step { NeedMore, Skip, Done };
    Step TakeCommand(std::vector<DtuCommand>& out);

    std::vector<uint8_t> m_pending;
};
