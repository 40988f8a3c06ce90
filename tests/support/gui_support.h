// Helpers for the window tests: a message-box recorder and event-loop waits with deadlines.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <functional>
#include <vector>

#include "app/message_box.h"

class BoxRecorder {
  public:
    static void Install() {
        SetMessageBoxHook([](const BoxRequest& request) { Boxes().push_back(request); });
    }
    static std::vector<BoxRequest>& Boxes() {
        static std::vector<BoxRequest> boxes;
        return boxes;
    }
    static void Clear() { Boxes().clear(); }
};

// Pumps the event loop until pred holds or timeoutMs pass; returns pred's final value.
inline bool WaitUntil(const std::function<bool()>& pred, int timeoutMs = 5000) {
    QElapsedTimer clock;
    clock.start();
    while (!pred()) {
        if (clock.elapsed() > timeoutMs) {
            return pred();
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

// Pumps the event loop for ms milliseconds.
inline void PumpFor(int ms) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
}
