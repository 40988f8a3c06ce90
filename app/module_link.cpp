#include "app/module_link.h"

#include <cstdint>
#include <span>

#include "app/panel_links.h"
#include "modem/module_answer.h"

CModuleAsker::CModuleAsker(IPortLink& port, ISentCount& sent, QObject* parent)
    : QObject(parent), m_port(port), m_sent(sent) {
    m_timeout.setSingleShot(true);
    m_timeout.setInterval(kDefaultTimeoutMs);
    connect(&m_timeout, &QTimer::timeout, this,
            [this] { Finish(m_received.empty() ? std::nullopt : std::optional<std::string>(m_received)); });
}

void CModuleAsker::Ask(std::string_view atCommand, AnswerFn done) {
    if (m_done || !m_port.IsPortOpen()) {
        QMetaObject::invokeMethod(
            this, [done = std::move(done)] { done(std::nullopt); }, Qt::QueuedConnection);
        return;
    }
    m_done = std::move(done);
    m_received.clear();
    const std::string frame = ModuleCommandFrame(atCommand);
    m_port.WritePort({reinterpret_cast<const std::uint8_t*>(frame.data()), frame.size()});
    m_sent.CountSent(static_cast<std::int64_t>(frame.size()));
    m_timeout.start();
}

void CModuleAsker::OnFrame(std::string_view frame) {
    if (!m_done) {
        return;  // not ours: a reply to the window's own commands, or late
    }
    m_received.append(frame);
    if (ModuleAnswerComplete(m_received)) {
        Finish(m_received);
    }
}

void CModuleAsker::Cancel() {
    m_timeout.stop();
    m_done = nullptr;
    m_received.clear();
}

void CModuleAsker::Finish(std::optional<std::string> answer) {
    m_timeout.stop();
    AnswerFn done = std::move(m_done);
    m_done = nullptr;
    m_received.clear();
    if (done) {
        done(std::move(answer));
    }
}

std::optional<std::string> CThreadedModuleLink::Ask(std::string_view atCommand) {
    std::unique_lock lock(m_mutex);
    if (m_cancelled) {
        return std::nullopt;
    }
    const unsigned question = ++m_question;
    m_ready = false;
    // The asker as context: a window already gone drops the call, and Cancel wakes this thread.
    QMetaObject::invokeMethod(
        &m_asker,
        [this, question, command = std::string(atCommand)] {
            m_asker.Ask(command, [this, question](std::optional<std::string> answer) {
                const std::lock_guard answerLock(m_mutex);
                if (question == m_question) {
                    m_answer = std::move(answer);
                    m_ready = true;
                    m_answered.notify_all();
                }
            });
        },
        Qt::QueuedConnection);
    m_answered.wait(lock, [this] { return m_ready || m_cancelled; });
    if (m_cancelled) {
        return std::nullopt;
    }
    return std::move(m_answer);
}

void CThreadedModuleLink::Cancel() {
    const std::lock_guard lock(m_mutex);
    m_cancelled = true;
    m_answered.notify_all();
}
