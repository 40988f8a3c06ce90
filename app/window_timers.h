// The window's three timers. One handler hears them all (CQuendalDlg::OnTimerTick, which hands each tick
// to the panel it belongs to); the panels start and stop them by id through CWindowTimers.
#pragma once

#include <functional>
#include <map>

class QObject;
class QTimer;

enum TimerId : int {
    TIMER_AUTO_SEND = 1,
    TIMER_RX_IDLE = 2,
    TIMER_SIGNAL_QUERY = 3,
};
constexpr int kRxIdleMs = 100;
constexpr int kSignalQueryDelayMs = 500;

class CWindowTimers {
  public:
    CWindowTimers(QObject* owner, std::function<void(int)> onTick);

    // Stops the timer if it runs and starts it anew with this period.
    void SetTimer(int id, int milliseconds);
    void KillTimer(int id);
    bool IsTimerRunning(int id) const;
    int TimerInterval(int id) const;

  private:
    std::map<int, QTimer*> m_timers;
};
