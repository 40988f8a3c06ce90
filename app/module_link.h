// The window's way to the device's cellular module, for the network diagnosis and the signal survey.
// CModuleAsker runs on the window's thread: it sends "DTU+CONFIG=CMD:<command>\r" through the window's
// port (counted in the TX count like every other command) and reads the answer from the frames the
// window dispatches after its 100 ms pauses, joining frames until the module's final result code
// arrives, or giving up after its own time-out. One query at a time, each waiting for its own answer.
//
// The diagnosis runner of modem/ is one synchronous function over IModuleLink, so it runs on a worker
// thread with CThreadedModuleLink: each Ask hands the command to the asker on the window's thread and
// waits there for the answer. The port, the frames and the widgets stay on the window's thread, the
// window never blocks, and the runner is the same tested code the command line uses. The survey needs
// one or two queries a poll and asks the asker directly, step by step.
#pragma once

#include <QObject>
#include <QTimer>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "modem/diagnosis.h"

class IPortLink;
class ISentCount;

class CModuleAsker : public QObject {
    Q_OBJECT
  public:
    using AnswerFn = std::function<void(std::optional<std::string>)>;

    // A module answers most queries at once; an operator search may take seconds.
    static constexpr int kDefaultTimeoutMs = 3000;

    CModuleAsker(IPortLink& port, ISentCount& sent, QObject* parent = nullptr);

    // Sends the command and calls done with the answer (nullopt when none came, the text received so far
    // when the time-out cut an answer short). done is called later, never from inside Ask; a second Ask
    // before the first is answered is answered nullopt.
    void Ask(std::string_view atCommand, AnswerFn done);
    // A frame the window dispatched, whole (all its bytes, zero bytes included).
    void OnFrame(std::string_view frame);
    // Drops the waiting query without calling its done.
    void Cancel();
    bool Busy() const { return static_cast<bool>(m_done); }
    void SetTimeoutMs(int ms) { m_timeout.setInterval(ms); }

  private:
    void Finish(std::optional<std::string> answer);

    IPortLink& m_port;
    ISentCount& m_sent;
    QTimer m_timeout;
    AnswerFn m_done;
    std::string m_received;
};

// IModuleLink for a runner on a worker thread; Ask blocks that thread only.
class CThreadedModuleLink : public IModuleLink {
  public:
    explicit CThreadedModuleLink(CModuleAsker& asker) : m_asker(asker) {}

    std::optional<std::string> Ask(std::string_view atCommand) override;
    // Any thread: the waiting Ask and every later one return nullopt at once.
    void Cancel();

  private:
    CModuleAsker& m_asker;
    std::mutex m_mutex;
    std::condition_variable m_answered;
    bool m_cancelled = false;
    bool m_ready = false;
    std::optional<std::string> m_answer;
    unsigned m_question = 0;  // an answer to a cancelled question must not stand for the next one
};
