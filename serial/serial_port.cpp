#include "serial/serial_port.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>
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
struct ConfigFailure {
    const char* call;
    int error;
};

}  // namespace

// One synchronous hand-over at a time between the worker and the owner's thread. The worker opens a ticket,
// posts a closure holding this object and the ticket, and waits for the ack event or the shutdown event.
// When it stops waiting it withdraws the ticket, and a closure that finds its ticket withdrawn does nothing:
// it never touches the engine, which may be gone by then, only this object it shares.
class CHandover {
  public:
    ~CHandover() {
        if (m_ack >= 0) {
            OsCloseEvent(m_ack);
        }
    }

    int Create() { return OsCreateEvent(m_ack); }
    int AckEvent() const { return m_ack; }

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

  private:
    std::mutex m_mutex;
    std::uint64_t m_last = 0;
    std::uint64_t m_active = 0;
    int m_ack = -1;
};

// The device is gone: on a tty these are what reads and writes give after a hang-up or an unplug.
bool CSerialPort::IsLossError(int error) {
    return error == EIO || error == ENXIO || error == ENODEV;
}

std::string ComposePortErrorText(std::string_view call, int error, int port) {
    const std::string system = std::generic_category().message(error != 0 ? error : EIO);
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
    const int fd = m_fd.exchange(-1);
    if (fd >= 0) {
        OsClosePort(fd);
    }
    if (m_shutdownEvent >= 0) {
        OsCloseEvent(m_shutdownEvent);
    }
    if (m_writeEvent >= 0) {
        OsCloseEvent(m_writeEvent);
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
    StopWorker();

    for (int* event : {&m_shutdownEvent, &m_writeEvent}) {
        if (*event >= 0) {
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
    m_outgoing.clear();
    m_outgoingSent = 0;
    {
        // A request made while no worker ran is dropped here.
        std::lock_guard lock(m_requestLock);
        m_writeBuffer.assign(writeBufferSize, 0);
        m_writeLength = 0;
        m_writePending = false;
    }

    if (const int old = m_fd.exchange(-1); old >= 0) {
        OsClosePort(old);
    }

    const std::string devicePath = DevicePathText(port);
    const std::string mode = BuildModeText(baud, parity, databits, stopbits);
    if (const auto line = ParseModeText(mode)) {
        m_line = FramingOf(*line);
    }

    int fd = -1;
    if (OsOpenPort(devicePath, fd) != 0) {
        return false;
    }
    m_fd = fd;

    // The configuration calls stop at the first failure, which is shown once; the port stays open.
    const auto configure = [&]() -> std::optional<ConfigFailure> {
        // "SetCommTimeouts()": reads and writes never block here; the write time-out is the worker's
        // deadline. "SetCommMask()": the mask stored above is what the worker acts on.
        TermiosValue settings;
        if (const int error = OsGetSettings(fd, settings); error != 0) {
            return ConfigFailure{"GetCommState()", error};
        }
        // The event character 'q' has no terminal setting: the worker sends WM_PORT_RXFLAG after every port
        // wake-up instead. RTS is raised once the settings are in place.
        const auto line = ParseModeText(mode);
        if (!line) {
            return ConfigFailure{"BuildCommDCB()", EINVAL};
        }
        ApplyLineSettings(*line, settings);
        TermiosValue readBack;
        if (const int error = OsSetSettings(fd, settings, readBack); error != 0) {
            return ConfigFailure{"SetCommState()", error};
        }
        if (!SpeedWithinTolerance(line->baud, readBack.ospeed)) {
            return ConfigFailure{"SetCommState()", EINVAL};
        }
        if (const int error = OsRaiseRts(fd); error != 0) {
            return ConfigFailure{"SetCommState()", error};
        }
        return std::nullopt;
    };
    if (const auto failure = configure()) {
        ReportErrorNow(failure->call, failure->error);
    }

    OsPurge(fd);
    return true;
}

bool CSerialPort::StartWorker() {
    if (m_fd.load() < 0 || m_running.load()) {
        return false;
    }
    if (m_worker.joinable()) {
        // The previous worker ended on its own (device lost).
        m_worker.join();
    }
    // The fresh worker's purge, done here so that nothing arriving after StartWorker returns is lost.
    OsPurge(m_fd.load());
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
    if (m_shutdownEvent >= 0) {
        OsSignalEvent(m_shutdownEvent);
    }
}

void CSerialPort::StoreRequest(const void* bytes, std::size_t copyLength, std::size_t writeLength) {
    {
        std::lock_guard lock(m_requestLock);
        if (m_closing) {
            return;
        }
        if (m_writeBuffer.size() < copyLength) {
            m_writeBuffer.resize(copyLength);
        }
        if (copyLength > 0) {
            std::memcpy(m_writeBuffer.data(), bytes, copyLength);
        }
        m_writeLength = writeLength;
        m_writePending = true;
    }
    if (m_writeEvent >= 0) {
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

bool CSerialPort::IsOpen() const {
    return m_fd.load() >= 0;
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
        OsWaitItem items[2] = {{.fd = m_shutdownEvent, .wantInput = true},
                               {.fd = handover->AckEvent(), .wantInput = true}};
        const int error = OsWait(items, -1);
        if (error == EINTR) {
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

bool CSerialPort::ReportErrorSync(std::string_view call, int error) {
    return Handover(
        [text = ComposePortErrorText(call, error, m_port)](CPortOwner& owner) { owner.OnPortError(text); });
}

CSerialPort::Step CSerialPort::LosePort(std::string_view call, int error) {
    // The port reads open until the owner has been told, so the owner never finds it closed behind a panel
    // it still shows open (an auto-send tick in that gap would refuse with a second box).
    const bool told = ReportErrorSync(call, error) && Notify(WM_PORT_LOST);
    if (const int fd = m_fd.exchange(-1); fd >= 0) {
        OsClosePort(fd);
    }
    return told ? Step::kEnd : Step::kStop;
}

void CSerialPort::WorkerMain() {
    const int fd = m_fd.load();
    m_incoming.resize(kReadChunk);

    // Without EV_RXCHAR nothing reads the port, so input must not wake the worker (it would spin); a
    // hang-up is still seen.
    const bool wantInput = (m_eventMask & EV_RXCHAR) != 0;
    Step step = Step::kContinue;
    for (;;) {
        OsWaitItem items[3] = {{.fd = m_shutdownEvent, .wantInput = true},
                               {.fd = fd, .wantInput = wantInput && !m_backOff},
                               {.fd = m_writeEvent, .wantInput = true}};
        const int error = OsWait(items, m_backOff ? kBackOffMs : -1);
        m_backOff = false;
        if (error == EINTR) {
            continue;
        }
        step = Step::kContinue;
        if (error != 0) {
            step = ReportErrorSync("WaitCommEvent()", error) ? Step::kContinue : Step::kStop;
            m_backOff = true;
        } else if (items[0].ready) {
            step = Step::kStop;
        } else if (items[1].ready || items[1].hangup) {
            step = PortEventStep(items[1].hangup);
            // Input that never pauses keeps the port ready on every wait; a waiting request is served in
            // the same pass so that it is not starved.
            if (step == Step::kContinue && items[2].ready) {
                step = WriteStep();
            }
        } else if (items[2].ready) {
            step = WriteStep();
        }
        if (step != Step::kContinue) {
            break;
        }
    }

    // A stop (not a loss, which closed the port already) lets accepted output leave first.
    bool drained = false;
    if (const int held = m_fd.load(); held >= 0 && step == Step::kStop) {
        drained = DrainOnClose(held);
    }
    if (const int held = m_fd.exchange(-1); held >= 0) {
        OsClosePort(held, !drained);
    }
    m_running = false;
}

CSerialPort::Step CSerialPort::PortEventStep(bool hangup) {
    if (m_eventMask & EV_RXCHAR) {
        if (const Step step = ReceiveStep(hangup); step != Step::kContinue) {
            return step;
        }
    } else if (hangup) {
        return LosePort("ReadFile()", EIO);
    }
    // The mask as set at open, not the events that occurred, decides what is sent.
    constexpr std::pair<unsigned, unsigned> kNotices[] = {{EV_CTS, WM_PORT_CTS},
                                                          {EV_BREAK, WM_PORT_BREAK},
                                                          {EV_ERR, WM_PORT_ERR},
                                                          {EV_RING, WM_PORT_RING},
                                                          {EV_RXFLAG, WM_PORT_RXFLAG}};
    for (const auto& [bit, message] : kNotices) {
        if ((m_eventMask & bit) && !Notify(message)) {
            return Step::kStop;
        }
    }
    return Step::kContinue;
}

CSerialPort::Step CSerialPort::ReceiveStep(bool hangup) {
    const int fd = m_fd.load();
    std::size_t count = 0;
    const int error = OsRead(fd, m_incoming, count);
    if (error == 0 && count > 0) {
        // A hang-up seen together with data is met again by the next read, after the data is delivered.
        std::vector<std::uint8_t> run(m_incoming.begin(),
                                      m_incoming.begin() + static_cast<std::ptrdiff_t>(count));
        const bool handled = Handover([run = std::move(run), port = m_port](CPortOwner& owner) {
            owner.OnPortMessage(WM_PORT_RXCHAR, run, port);
        });
        return handled ? Step::kContinue : Step::kStop;
    }
    if (IsLossError(error)) {
        return LosePort("ReadFile()", error);
    }
    if (error == 0 || error == EAGAIN || error == EINTR) {
        if (!hangup && error == 0) {
            // End of file without a hang-up flag from the wait: ask the port once more before calling it
            // lost.
            OsWaitItem item{.fd = fd};
            hangup = OsWait({&item, 1}, 0) == 0 && item.hangup;
        }
        if (hangup) {
            return LosePort("ReadFile()", EIO);
        }
        // A spurious wake-up, not a loss.
        m_backOff = error == 0;
        return Step::kContinue;
    }
    if (!ReportErrorSync("ReadFile()", error)) {
        return Step::kStop;
    }
    return hangup ? LosePort("ReadFile()", EIO) : Step::kContinue;
}
