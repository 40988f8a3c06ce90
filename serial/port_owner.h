// What the serial port engine needs of the window that owns it. The engine's worker never touches the
// window directly: it posts work to the owner's thread and waits there for it to finish (or for a stop),
// so every notification is handled on the owner's thread, in order, and nothing outside the engine locks.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

// Notification codes, as the engine's owner receives them.
constexpr unsigned WM_PORT_BREAK = 0x0401;
constexpr unsigned WM_PORT_CTS = 0x0402;
constexpr unsigned WM_PORT_ERR = 0x0404;
constexpr unsigned WM_PORT_RING = 0x0405;
constexpr unsigned WM_PORT_RXCHAR = 0x0407;
constexpr unsigned WM_PORT_RXFLAG = 0x0408;
// The device went away (adapter pulled, far end closed); the engine closes the port once this is handled.
constexpr unsigned WM_PORT_LOST = 0x0409;
// The modem lines changed (CSerialPort::ModemLines() has them); posted, never waited for.
constexpr unsigned WM_PORT_MODEM = 0x040A;

// Port event mask bits, as the port panel passes them to OpenPort.
constexpr unsigned EV_RXCHAR = 0x0001;
constexpr unsigned EV_RXFLAG = 0x0002;
constexpr unsigned EV_CTS = 0x0008;
constexpr unsigned EV_BREAK = 0x0040;
constexpr unsigned EV_ERR = 0x0080;
constexpr unsigned EV_RING = 0x0100;

class CPortOwner {
  public:
    virtual ~CPortOwner() = default;

    // Queues fn to run on the owner's thread and returns at once. Called from the engine's worker.
    virtual void PostToOwnerThread(std::function<void()> fn) = 0;

    // Runs on the owner's thread. For WM_PORT_RXCHAR, bytes holds a run of received bytes in arrival
    // order (the owner handles them one at a time); for the other codes it is empty.
    virtual void OnPortMessage(unsigned message, std::span<const std::uint8_t> bytes, int port) = 0;

    // Runs on the owner's thread: shows the engine's error box and returns when the user has closed it.
    virtual void OnPortError(const std::string& text) = 0;
};
