// Reconnecting after a replug ("断线自动重连", off by default). When on and the device goes away, the port
// panel closes the port without the engine's error box and this waits for the device to come back: every
// kRetryMs it has the panel try to open it again, with the same settings, until a try succeeds or the wait
// is stopped. On Linux an adapter that has a /dev/serial/by-id name is looked for by that name (noted at each
// open, while the device is there), so it is found again whichever ttyUSBn it gets; otherwise by the port's
// own name as it resolves at each try (a COMn link in the port directory, or the system's COM port).
#pragma once

#include <QTimer>
#include <functional>
#include <optional>
#include <string>

class CPortReconnect {
  public:
    static constexpr int kRetryMs = 500;

    // tryOpen opens the port at the given device path (empty: the port's own name) and says whether it did.
    explicit CPortReconnect(std::function<bool(const std::string&)> tryOpen);

    void SetEnabled(bool on);
    bool IsEnabled() const { return m_enabled; }

    // At each open: what the device will be looked for by.
    void NoteOpened(const std::string& resolvedPath);
    const std::optional<std::string>& ByIdName() const { return m_byIdName; }

    void Start();
    void Stop();
    bool IsWaiting() const { return m_waiting; }

  private:
    void Retry();

    std::function<bool(const std::string&)> m_tryOpen;
    QTimer m_timer;
    bool m_enabled = false;
    bool m_waiting = false;
    std::optional<std::string> m_byIdName;
};
