#include "app/port_reconnect.h"

#include <utility>

#include "serial/serial_by_id.h"

CPortReconnect::CPortReconnect(std::function<bool(const std::string&)> tryOpen)
    : m_tryOpen(std::move(tryOpen)) {
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(kRetryMs);
    QObject::connect(&m_timer, &QTimer::timeout, [this] { Retry(); });
}

void CPortReconnect::SetEnabled(bool on) {
    m_enabled = on;
}

void CPortReconnect::NoteOpened(const std::string& resolvedPath) {
    m_byIdName = SerialByIdName(resolvedPath);
}

void CPortReconnect::Start() {
    m_waiting = true;
    m_timer.start();
}

void CPortReconnect::Stop() {
    m_waiting = false;
    m_timer.stop();
}

void CPortReconnect::Retry() {
    // An open may show the engine's box, whose event loop must not run a second try inside the first.
    m_timer.stop();
    const bool opened = m_tryOpen(m_byIdName.value_or(std::string()));
    if (opened) {
        m_waiting = false;
    } else if (m_waiting) {
        m_timer.start();
    }
}
