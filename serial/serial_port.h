// The serial port engine. The owner's thread opens a port (OpenPort), starts the engine's worker
// (StartWorker), hands it write requests (WriteBytes, WriteText: copied, one pending at a time, the later
// replacing an unwritten one) and asks it to close (ClosePort). The worker alone does port input and output:
// it waits on the port, a shutdown event and a write-request event (in that priority), reads every byte
// then waiting in one call and hands the run to the owner's thread as one WM_PORT_RXCHAR, waiting until it
// has been handled before it reads again (the notices its event mask asks for follow each run, posted
// without a wait); each write is carried by the line before the next is taken, and only output a write the
// line did not take in time is purged before the next (never received bytes; port_writer.h). Failures of
// port calls become error boxes on the owner's thread, and a device that goes away ends the worker with
// WM_PORT_LOST. Every wait of the worker also watches the shutdown event, so a close, a new OpenPort and the
// destructor take effect at once, even while the owner's thread is the one waiting and cannot handle
// deliveries. Output the owner handed over before the stop still drains first, for as long as the line
// needs to carry it plus a margin and never longer than kDrainLimit; then the port closes. DTR and RTS
// requests reach the worker through a fourth event and the worker reads the modem lines back on its own
// schedule (modem_control.h).
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "serial/line_pacing.h"
#include "serial/modem_control.h"
#include "serial/port_owner.h"
#include "serial/port_writer.h"

class CHandover;
struct OsEvent;
struct OsPort;

// "WARNING:  %s Failed with the following error: \n%s\nPort: %d\n" with the failed call's name, the system's
// text for error (0 counts as a lost device: the box never reads "Success") and the port number.
std::string ComposePortErrorText(std::string_view call, int error, int port);

class CSerialPort {
  public:
    // The longest a stop waits for accepted output to leave before it discards the rest.
    static constexpr std::chrono::milliseconds kDrainLimit = CPortWriter::kDrainLimit;

    CSerialPort();
    virtual ~CSerialPort();
    CSerialPort(const CSerialPort&) = delete;
    CSerialPort& operator=(const CSerialPort&) = delete;

    // Stops a running worker, then opens COM<port> and configures it. False only when the device cannot be
    // opened (absent, or held by another program), and then nothing is shown; a configuration call that
    // fails is shown in one error box and the port stays open with true returned.
    bool OpenPort(CPortOwner* owner, int port, int baud, char parity, int databits, int stopbits,
                  unsigned eventMask, std::size_t writeBufferSize);
    // OpenPort through devicePath ("\\.\COM7", or on Linux an adapter's /dev/serial/by-id name) in place of
    // COM<port>'s own; port still names the port in notices and error boxes.
    bool OpenPortAt(std::string_view devicePath, CPortOwner* owner, int port, int baud, char parity,
                    int databits, int stopbits, unsigned eventMask, std::size_t writeBufferSize);

    // Starts the worker for the port that OpenPort opened; false when none is open or one already runs.
    bool StartWorker();

    // Signals the worker to close the port and returns at once; IsOpen turns false when it has. Requests
    // made after this are dropped; earlier ones still go out within the drain bound.
    void ClosePort();

    // Copy the request and return at once; the worker writes it later.
    void WriteBytes(const std::uint8_t* bytes, std::size_t length);
    void WriteBytes(std::span<const std::uint8_t> bytes);
    // A NUL-terminated text, written without its NUL.
    void WriteText(const char* text);

    // DTR or RTS (modem_lines.h): raised, dropped, or inverted for pulseLength and put back. Queued for the
    // worker in order and returning at once; dropped by the next OpenPort while no worker runs.
    void SetModemLine(unsigned line, bool on);
    void PulseModemLine(unsigned line, std::chrono::milliseconds pulseLength);
    // The lines as the worker last read them; WM_PORT_MODEM is posted when they change. A port without modem
    // lines (a pseudo-terminal) reads as not available.
    CModemControl::Status ModemLines() const;

    // Off: a device that goes away is told by WM_PORT_LOST alone, without the error box first (an owner
    // that waits for the device to come back says so itself). On by default.
    void SetLossErrorBox(bool shown);

    bool IsOpen() const;
    // Whether ClosePort was asked since the last OpenPort: the port may still be open while its output
    // drains, but it is on its way out.
    bool IsClosing() const;

  private:
    enum class Step { Continue, Stop, End };

    void StopWorker();
    void ReportErrorNow(std::string_view call, int error);
    void WorkerMain();
    Step PortEventStep(bool hangup);
    Step ReceiveStep(bool hangup);
    Step WriteStep();
    Step ModemStep();
    Step LosePort(std::string_view call, int error);
    bool Notify(unsigned message);
    void Post(unsigned message);
    bool ReportErrorSync(std::string_view call, int error);
    bool Handover(std::function<void(CPortOwner&)> work);
    void StoreRequest(const void* bytes, std::size_t copyLength, std::size_t writeLength);

    std::atomic<OsPort*> m_handle{nullptr};
    std::thread m_worker;
    std::atomic<bool> m_running{false};
    OsEvent* m_shutdownEvent = nullptr;
    OsEvent* m_writeEvent = nullptr;
    OsEvent* m_modemEvent = nullptr;
    std::shared_ptr<CHandover> m_handover;
    CPortOwner* m_owner = nullptr;
    int m_port = 0;
    unsigned m_eventMask = 0;
    LineFraming m_line;
    std::atomic<bool> m_closing{false};
    std::atomic<bool> m_lossErrorBox{true};
    CModemControl m_modem;

    // Requests from the owner's thread, written by the worker.
    CPortWriter m_writer;

    // The worker's own buffer for the bytes just read.
    std::vector<std::uint8_t> m_incoming;
    bool m_backOff = false;
};
