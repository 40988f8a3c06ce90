#include "protocol/command_exchange.h"

#include <algorithm>
#include <utility>

namespace {

constexpr std::string_view kCommandStart = "DTU+CONFIG";
constexpr std::string_view kDefaultsTail = "DEFAULT\r";
constexpr std::string_view kResetTail = "RESET\r";
constexpr std::string_view kCmdTail = "CMD:";

std::string_view AsText(std::span<const uint8_t> bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

}  // namespace

std::array<uint8_t, kSaveFrameSize> BuildSaveFrame(std::span<const uint8_t, kDeviceParamsSize> record) {
    std::array<uint8_t, kSaveFrameSize> frame{};
    auto next = std::copy(kSaveFramePrefix.begin(), kSaveFramePrefix.end(), frame.begin());
    std::copy(record.begin(), record.end(), next);
    return frame;
}

std::vector<DtuCommand> DtuCommandParser::Feed(std::span<const uint8_t> bytes) {
    m_pending.insert(m_pending.end(), bytes.begin(), bytes.end());
    std::vector<DtuCommand> commands;
    for (;;) {
        // Drop everything before the next possible command start; keep a tail that may still grow
        // into one.
        const std::string_view text = AsText(m_pending);
        std::size_t start = text.find(kCommandStart);
        if (start == std::string_view::npos) {
            start = text.size();
            for (std::size_t keep = std::min(text.size(), kCommandStart.size() - 1); keep > 0; --keep) {
                if (kCommandStart.starts_with(text.substr(text.size() - keep))) {
                    start = text.size() - keep;
                    break;
                }
            }
        }
        m_pending.erase(m_pending.begin(), m_pending.begin() + static_cast<std::ptrdiff_t>(start));
        if (m_pending.size() < kCommandStart.size()) {
            return commands;
        }
        switch (TakeCommand(commands)) {
            case Step::NeedMore:
                return commands;
            case Step::Skip:
                m_pending.erase(m_pending.begin());
                break;
            case Step::Done:
                break;
        }
    }
}

// m_pending begins with "DTU+CONFIG". Takes one command off its front when it is complete.
DtuCommandParser::Step DtuCommandParser::TakeCommand(std::vector<DtuCommand>& out) {
    const std::string_view text = AsText(m_pending);
    if (text.size() == kCommandStart.size()) {
        return Step::NeedMore;
    }
    const char mark = text[kCommandStart.size()];
    if (mark != '\r' && mark != '=') {
        return Step::Skip;
    }

    DtuCommand command;
    std::size_t used = 0;
    const std::string_view tail = text.substr(kCommandStart.size() + 1);
    if (mark == '\r') {
        command.kind = DtuCommandKind::Read;
        used = kCommandStart.size() + 1;
    } else if (tail.starts_with(kDefaultsTail)) {
        command.kind = DtuCommandKind::Defaults;
        used = kSaveFramePrefix.size() + kDefaultsTail.size();
    } else if (tail.starts_with(kResetTail)) {
        command.kind = DtuCommandKind::Reset;
        used = kSaveFramePrefix.size() + kResetTail.size();
    } else if (const std::size_t cr = tail.substr(0, kDeviceParamsSize).find('\r');
               tail.starts_with(kCmdTail) && cr != std::string_view::npos) {
        command.kind = DtuCommandKind::Cmd;
        command.text = std::string(tail.substr(kCmdTail.size(), cr - kCmdTail.size()));
        used = kSaveFramePrefix.size() + cr + 1;
    } else if (tail.size() >= kDeviceParamsSize) {
        command.kind = DtuCommandKind::Save;
        std::copy_n(m_pending.begin() + static_cast<std::ptrdiff_t>(kSaveFramePrefix.size()),
                    kDeviceParamsSize, command.record.begin());
        used = kSaveFrameSize;
    } else {
        return Step::NeedMore;
    }
    out.push_back(std::move(command));
    m_pending.erase(m_pending.begin(), m_pending.begin() + static_cast<std::ptrdiff_t>(used));
    return Step::Done;
}
