// What the panels need of one another and of the window, each named for what it offers. The window
// implements IPortLink around the engine it owns; the send panel implements ISentCount (it holds the TX
// count every sender adds to) and IAutoSend. No panel sees another panel or the window whole.
#pragma once

#include <cstdint>
#include <span>

class QWidget;

class IPortLink {
  public:
    virtual ~IPortLink() = default;
    virtual bool IsPortOpen() const = 0;
    // Hands the bytes to the engine and returns at once; the engine writes them later.
    virtual void WritePort(std::span<const std::uint8_t> bytes) = 0;
};

class ISentCount {
  public:
    virtual ~ISentCount() = default;
    // Adds bytes handed to the port and shows the new count.
    virtual void CountSent(std::int64_t bytes) = 0;
    virtual void ResetSentCount() = 0;
};

class IAutoSend {
  public:
    virtual ~IAutoSend() = default;
    virtual bool IsAutoSendOn() const = 0;
    virtual void StopAutoSend() = 0;
};

// Every sender's first test. With no port open, auto send stops and the user is told in the one refusal
// box the program has for it; true when refused.
bool RefuseIfPortClosed(QWidget* window, const IPortLink& port, IAutoSend& autoSend);
