#include "serial/serial_port.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <system_error>
#include <utility>

#include "serial/mode_text.h"
#include "serial/port_names.h"
#include "serial/serial_os.h"

namespace {

constexpr std::size_t kReadChunk = 16 * 1024;
// After a read that found nothing although the port woke the worker (a device that reports input it does
// not have), the port is left out of the next wait for this long, so such a device cannot spin the worker.
constexpr int kBackOffMs = 20;

}  // namespace

// One synchronous hand-over at a time between the worker and the owner's thread. The worker opens a ticket,
// posts a closure holding this object and the ticket, and waits for the ack event or the shutdown event.
// When it stops waiting it withdraws the ticket, and a closure that finds its ticket withdrawn does nothing:
// it never touches the engine, which may be gone by then, only this object it shares. Notices the worker
// does not wait for carry the worker's session instead, and do nothing once that worker has ended.
class CHandover {
  public:
    ~CHandover() {
        if (m_ack) {
            OsCloseEvent(m_ack);
        }
    }

    int Create() { return OsCreateEvent(m_ack); }
    OsEvent* AckEvent() const { return m_ack; }

    std::uint64_t Begin() {
        std::lock_guard lock(m_mutex);
        m_active = ++m_last;
        return m_active;
    }
    bool Claim(std::uint64_t ticket) {
        std::lock_guard lock(m_mutex);
        return m_active == ticket;
    }
    void Finish(std::uint64_t ticket) {
        std::lock_guard lock(m_mutex);
        if (m_active == ticket) {
            m_active = 0;
            OsSignalEvent(m_ack);
        }
    }
    void Withdraw() {
        std::lock_guard lock(m_mutex);
        m_active = 0;
        OsResetEvent(m_ack);
    }

    std::uint64_t Session() {
        std::lock_guard lock(m_mutex);
        return m_session;
    }
    void EndSession() {
        std::lock_guard lock(m_mutex);
        ++m_session;
    }

  private:
    std::mutex m_mutex;
    std::uint64_t m_session = 0;
    std::uint64_t m_last = 0;
    std::uint64_t m_active = 0;
    OsEvent* m_ack = nullptr;
};

std::string ComposePortErrorText(std::string_view call, int error, int port) {
    const std::string system = OsErrorText(error != 0 ? error : OsLostError());
    std::string text = "WARNING:  ";
    text.append(call);
    text += " Failed with the following error: \n";
    text += system;
    text += "\nPort: ";
    text += std::to_string(port);
    text += "\n";
    return text;
}

CSerialPort::CSerialPort() = default;

CSerialPort::~CSerialPort() {
    StopWorker();
    if (OsPort* handle = m_handle.exchange(nullptr)) {
        OsClosePort(handle);
    }
    if (m_shutdownEvent) {
        OsCloseEvent(m_shutdownEvent);
    }
    if (m_writeEvent) {
        OsCloseEvent(m_writeEvent);
    }
    if (m_modemEvent) {
        OsCloseEvent(m_modemEvent);
    }
}

void CSerialPort::StopWorker() {
    if (!m_worker.joinable()) {
        return;
    }
    // The event stays signalled and every wait of the worker watches it, so one signal is enough.
    OsSignalEvent(m_shutdownEvent);
    m_worker.join();
}

bool CSerialPort::OpenPort(CPortOwner* owner, int port, int baud, char parity, int databits, int stopbits,
                           unsigned eventMask, std::size_t writeBufferSize) {
    return OpenPortAt(DevicePathText(port), owner, port, baud, parity, databits, stopbits, eventMask,
                      writeBufferSize);
}

bool CSerialPort::OpenPortAt(std::string_view devicePath, CPortOwner* owner, int port, int baud, char parity,
                             int databits, int stopbits, unsigned eventMask, std::size_t writeBufferSize) {
    StopWorker();

    for (OsEvent** event : {&m_shutdownEvent, &m_writeEvent, &m_modemEvent}) {
        if (*event) {
            OsResetEvent(*event);
        } else if (OsCreateEvent(*event) != 0) {
            return false;
        }
    }
    if (!m_handover) {
        auto handover = std::make_shared<CHandover>();
        if (handover->Create() != 0) {
            return false;
        }
        m_handover = std::move(handover);
    }

    m_owner = owner;
    m_port = port;
    m_eventMask = eventMask;
    m_closing = false;
    // A request made while no worker ran is dropped here.
    m_writer.Reset(writeBufferSize);
    m_modem.Reset();

    if (OsPort* old = m_handle.exchange(nullptr)) {
        OsClosePort(old);
    }

    const std::string mode = BuildModeText(baud, parity, databits, stopbits);
    if (const auto line = ParseModeText(mode)) {
        m_line = FramingOf(*line);
    }

    OsPort* handle = nullptr;
    if (OsOpenPort(devicePath, handle) != 0) {
        return false;
    }
    m_handle = handle;

    // The configuration calls stop at the first failure, which is shown once; the port stays open.
    if (const auto failure = OsConfigurePort(handle, mode, eventMask)) {
        ReportErrorNow(failure->call, failure->error);
    }

    OsPurge(handle);
    return true;
}

bool CSerialPort::StartWorker() {
    if (!m_handle.load() || m_running.load()) {
        return false;
    }
    if (m_worker.joinable()) {
        // The previous worker ended on its own (device lost).
        m_worker.join();
    }
    // The fresh worker's purge, done here so that nothing arriving after StartWorker returns is lost.
    OsPurge(m_handle.load());
    m_running = true;
    try {
        m_worker = std::thread(&CSerialPort::WorkerMain, this);
    } catch (const std::system_error&) {
        m_running = false;
        return false;
    }
    return true;
}

void CSerialPort::ClosePort() {
    m_closing = true;
    if (m_shutdownEvent) {
        OsSignalEvent(m_shutdownEvent);
    }
}

void CSerialPort::StoreRequest(const void* bytes, std::size_t copyLength, std::size_t writeLength) {
    if (m_closing) {
        return;
    }
    m_writer.Store(bytes, copyLength, writeLength);
    if (m_writeEvent) {
        OsSignalEvent(m_writeEvent);
    }
}

void CSerialPort::WriteBytes(const std::uint8_t* bytes, std::size_t length) {
    StoreRequest(bytes, bytes ? length : 0, bytes ? length : 0);
}

void CSerialPort::WriteBytes(std::span<const std::uint8_t> bytes) {
    WriteBytes(bytes.data(), bytes.size());
}

void CSerialPort::WriteText(const char* text) {
    const std::size_t length = text ? std::strlen(text) : 0;
    StoreRequest(text, text ? length + 1 : 0, length);
}

void CSerialPort::SetModemLine(unsigned line, bool on) {
    m_modem.Request(line, on ? CModemControl::Action::Raise : CModemControl::Action::Drop, {});
    if (m_modemEvent) {
        OsSignalEvent(m_modemEvent);
    }
}

void CSerialPort::PulseModemLine(unsigned line, std::chrono::milliseconds pulseLength) {
    m_modem.Request(line, CModemControl::Action::Pulse, pulseLength);
    if (m_modemEvent) {
        OsSignalEvent(m_modemEvent);
    }
}

CModemControl::Status CSerialPort::ModemLines() const {
    return m_modem.Current();
}

void CSerialPort::SetLossErrorBox(bool shown) {
    m_lossErrorBox = shown;
}

bool CSerialPort::IsOpen() const {
    return m_handle.load() != nullptr;
}

bool CSerialPort::IsClosing() const {
    return m_closing.load();
}

void CSerialPort::ReportErrorNow(std::string_view call, int error) {
    if (m_owner) {
        m_owner->OnPortError(ComposePortErrorText(call, error, m_port));
    }
}

bool CSerialPort::Handover(std::function<void(CPortOwner&)> work) {
    if (!m_owner) {
        return true;
    }
    std::shared_ptr<CHandover> handover = m_handover;
    const std::uint64_t ticket = handover->Begin();
    m_owner->PostToOwnerThread([handover, ticket, owner = m_owner, work = std::move(work)] {
        if (!handover->Claim(ticket)) {
            return;
        }
        work(*owner);
        handover->Finish(ticket);
    });

    for (;;) {
        OsWaitItem items[2] = {{.event = m_shutdownEvent}, {.event = handover->AckEvent()}};
        const int error = OsWait(items, -1);
        if (OsIsInterrupted(error)) {
            continue;
        }
        if (error != 0 || items[0].ready) {
            handover->Withdraw();
            return false;
        }
        if (items[1].ready) {
            OsResetEvent(handover->AckEvent());
            return true;
        }
    }
}

bool CSerialPort::Notify(unsigned message) {
    return Handover([message, port = m_port](CPortOwner& owner) { owner.OnPortMessage(message, {}, port); });
}

void CSerialPort::Post(unsigned message) {
    if (!m_owner) {
        return;
    }
    std::shared_ptr<CHandover> handover = m_handover;
    m_owner->PostToOwnerThread(
        [handover, session = handover->Session(), owner = m_owner, message, port = m_port] {
            if (handover->Session() == session) {
                owner->OnPortMessage(message, {}, port);
            }
        });
}

bool CSerialPort::ReportErrorSync(std::string_view call, int error) {
    return Handover(
        [text = ComposePortErrorText(call, error, m_port)](CPortOwner& owner) { owner.OnPortError(text); });
}

CSerialPort::Step CSerialPort::LosePort(std::string_view call, int error) {
    // The port reads open until the owner has been told, so the owner never finds it closed behind a panel
    // it still shows open (an auto-send tick in that gap would refuse with a second box).
    const bool told = (!m_lossErrorBox || ReportErrorSync(call, error)) && Notify(WM_PORT_LOST);
    if (OsPort* handle = m_handle.exchange(nullptr)) {
        OsClosePort(handle);
    }
    return told ? Step::End : Step::Stop;
}

void CSerialPort::WorkerMain() {
    OsPort* const handle = m_handle.load();
    m_incoming.resize(kReadChunk);

    // Without EV_RXCHAR nothing reads the port, so input must not wake the worker (it would spin); a
    // hang-up is still seen.
    const bool wantInput = (m_eventMask & EV_RXCHAR) != 0;
    Step step = Step::Continue;
    for (;;) {
        OsWaitItem items[4] = {{.event = m_shutdownEvent},
                               {.port = handle, .wantInput = wantInput && !m_backOff},
                               {.event = m_writeEvent},
                               {.event = m_modemEvent}};
        int timeout = m_modem.MsUntilDue(CModemControl::Clock::now());
        if (m_backOff) {
            timeout = timeout < 0 ? kBackOffMs : std::min(timeout, kBackOffMs);
        }
        const int error = OsWait(items, timeout);
        m_backOff = false;
        if (OsIsInterrupted(error)) {
            continue;
        }
        step = Step::Continue;
        if (error != 0) {
            step = ReportErrorSync("WaitCommEvent()", error) ? Step::Continue : Step::Stop;
            m_backOff = true;
        } else if (items[0].ready) {
            step = Step::Stop;
        } else if (items[1].ready || items[1].hangup) {
            step = PortEventStep(items[1].hangup);
            // Input that never pauses keeps the port ready on every wait; a waiting request is served in
            // the same pass so that it is not starved.
            if (step == Step::Continue && items[2].ready) {
                step = WriteStep();
            }
        } else if (items[2].ready) {
            step = WriteStep();
        }
        if (step == Step::Continue) {
            if (items[3].ready) {
                OsResetEvent(m_modemEvent);
            }
            step = ModemStep();
        }
        if (step != Step::Continue) {
            break;
        }
    }

    // A stop (not a loss, which closed the port already) lets accepted output leave first.
    bool drained = false;
    if (OsPort* held = m_handle.load(); held && step == Step::Stop) {
        drained = m_writer.Drain(held, m_line);
    }
    if (OsPort* held = m_handle.exchange(nullptr)) {
        OsClosePort(held, !drained);
    }
    m_handover->EndSession();
    m_running = false;
}

CSerialPort::Step CSerialPort::PortEventStep(bool hangup) {
    if (m_eventMask & EV_RXCHAR) {
        if (const Step step = ReceiveStep(hangup); step != Step::Continue) {
            return step;
        }
    } else if (hangup) {
        return LosePort("ReadFile()", OsLostError());
    }
    // The mask as set at open, not the events that occurred, decides what is sent. These notices carry no
    // data and hold nothing up: the worker posts them and reads on (they still reach the owner after the
    // run, in order), so a flood is not slowed by a second wait per read that the owner mostly ignores.
    constexpr std::pair<unsigned, unsigned> kNotices[] = {{EV_CTS, WM_PORT_CTS},
                                                          {EV_BREAK, WM_PORT_BREAK},
                                                          {EV_ERR, WM_PORT_ERR},
                                                          {EV_RING, WM_PORT_RING},
                                                          {EV_RXFLAG, WM_PORT_RXFLAG}};
    for (const auto& [bit, message] : kNotices) {
        if (m_eventMask & bit) {
            Post(message);
        }
    }
    return Step::Continue;
}

CSerialPort::Step CSerialPort::ReceiveStep(bool hangup) {
    OsPort* const handle = m_handle.load();
    std::size_t count = 0;
    const int error = OsRead(handle, m_incoming, count);
    if (error == 0 && count > 0) {
        // A hang-up seen together with data is met again by the next read, after the data is delivered.
        std::vector<std::uint8_t> run(m_incoming.begin(),
                                      m_incoming.begin() + static_cast<std::ptrdiff_t>(count));
        const bool handled = Handover([run = std::move(run), port = m_port](CPortOwner& owner) {
            owner.OnPortMessage(WM_PORT_RXCHAR, run, port);
        });
        return handled ? Step::Continue : Step::Stop;
    }
    if (OsIsLost(error)) {
        return LosePort(OsReadCallName(handle), error);
    }
    if (error == 0 || OsIsWouldBlock(error) || OsIsInterrupted(error)) {
        if (!hangup && error == 0) {
            // End of file without a hang-up flag from the wait: ask the port once more before calling it
            // lost.
            OsWaitItem item{.port = handle};
            hangup = OsWait({&item, 1}, 0) == 0 && item.hangup;
        }
        if (hangup) {
            return LosePort("ReadFile()", OsLostError());
        }
        // A spurious wake-up, not a loss.
        m_backOff = error == 0;
        return Step::Continue;
    }
    if (!ReportErrorSync(OsReadCallName(handle), error)) {
        return Step::Stop;
    }
    return hangup ? LosePort("ReadFile()", OsLostError()) : Step::Continue;
}

CSerialPort::Step CSerialPort::ModemStep() {
    const CModemControl::Outcome outcome = m_modem.Run(m_handle.load(), CModemControl::Clock::now());
    if (outcome.changed) {
        Post(WM_PORT_MODEM);
    }
    if (outcome.lost) {
        return LosePort(outcome.failedCall, outcome.error);
    }
    if (outcome.failedCall) {
        return ReportErrorSync(outcome.failedCall, outcome.error) ? Step::Continue : Step::Stop;
    }
    return Step::Continue;
}

CSerialPort::Step CSerialPort::WriteStep() {
    OsResetEvent(m_writeEvent);
    const CPortWriter::Result result = m_writer.WriteRequest(m_handle.load(), m_shutdownEvent, m_line);
    switch (result.outcome) {
        case CPortWriter::Outcome::Done:
            return Step::Continue;
        case CPortWriter::Outcome::Stopped:
            return Step::Stop;
        case CPortWriter::Outcome::Lost:
            return LosePort("WriteFile()", result.error != 0 ? result.error : OsLostError());
        case CPortWriter::Outcome::Failed:
            break;
    }
    // The request is lost; the worker carries on.
    return ReportErrorSync("WriteFile()", result.error) ? Step::Continue : Step::Stop;
}
