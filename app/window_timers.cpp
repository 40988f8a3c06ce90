#include "app/window_timers.h"

#include <QTimer>

CWindowTimers::CWindowTimers(QObject* owner, std::function<void(int)> onTick) {
    for (int id : {TIMER_AUTO_SEND, TIMER_RX_IDLE, TIMER_SIGNAL_QUERY}) {
        auto* timer = new QTimer(owner);
        // Coarse timers may fire 5 % early: a 95 ms pause would end a frame and split a record.
        timer->setTimerType(Qt::PreciseTimer);
        QObject::connect(timer, &QTimer::timeout, owner, [onTick, id] { onTick(id); });
        m_timers[id] = timer;
    }
}

void CWindowTimers::SetTimer(int id, int milliseconds) {
    QTimer* timer = m_timers.at(id);
    timer->stop();
    timer->start(milliseconds);
}

void CWindowTimers::KillTimer(int id) {
    m_timers.at(id)->stop();
}

bool CWindowTimers::IsTimerRunning(int id) const {
    return m_timers.at(id)->isActive();
}

int CWindowTimers::TimerInterval(int id) const {
    return m_timers.at(id)->interval();
}
