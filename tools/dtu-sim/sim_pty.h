// The simulated DTU's hold on the OS: a pseudo-terminal whose slave side is the port the window opens,
// the COMn link in the port directory that names it, and a pipe that turns SIGINT/SIGTERM/SIGHUP into
// something the poll loop can wait on. main.cpp owns one of each for the program's life.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "tools/dtu-sim/line_pacing.h"

// The pseudo-terminal. The simulator keeps a slave descriptor of its own open, so the window opening and
// closing the port never hangs the line up and the master never reports POLLHUP.
class CSimPty {
  public:
    CSimPty() = default;
    ~CSimPty();
    CSimPty(const CSimPty&) = delete;
    CSimPty& operator=(const CSimPty&) = delete;

    // Master non-blocking, slave raw (no echo, no line editing, no CR/LF translation).
    bool Open(std::string& error);
    int MasterFd() const { return m_master; }
    const std::string& SlavePath() const { return m_slavePath; }

    // Every byte waiting on the master; false when the master failed.
    bool ReadAvailable(std::vector<uint8_t>& out, std::string& error);
    // Writes all bytes, waiting while the line's buffer is full, for at most timeout.
    bool WriteAll(std::span<const uint8_t> bytes, std::chrono::milliseconds timeout, std::string& error);
    // Bytes written to the port that nobody has read.
    std::size_t PortBacklog() const;
    void DropPortBacklog();

  private:
    int m_master = -1;
    int m_slave = -1;
    std::string m_slavePath;
};

// The framing the port is set to, asked on the master (sim_line_posix.cpp); nullopt when it cannot be read
// or the rate is 0.
std::optional<LineFraming> ReadLineFraming(int fd);

// True when path (followed through links) is the slave side of a pseudo-terminal.
bool IsPtySlave(const std::string& path);

// What --check-real asks: path is a character device and not a pseudo-terminal, i.e. real hardware.
bool IsRealDevice(const std::string& path);

// The link dir/COMn -> the simulator's slave. Made only when the name is free, a link to nothing, or a
// link to a pseudo-terminal that no longer exists (a simulator that was killed); a name that leads to a
// live device, or is not a link at all, is left alone.
class CPortLink {
  public:
    CPortLink() = default;
    ~CPortLink() { Remove(); }
    CPortLink(const CPortLink&) = delete;
    CPortLink& operator=(const CPortLink&) = delete;

    bool Create(const std::string& dir, int n, const std::string& target, std::string& error);
    // Removes the link if it still points at our target; someone else's link stays.
    void Remove();
    const std::string& Path() const { return m_path; }

  private:
    std::string m_path;
    std::string m_target;
};

// Signals that end the program, delivered through a pipe: the handler only writes one byte.
class CSignalPipe {
  public:
    CSignalPipe() = default;
    ~CSignalPipe();
    CSignalPipe(const CSignalPipe&) = delete;
    CSignalPipe& operator=(const CSignalPipe&) = delete;

    bool Install(std::string& error);
    // The number of the signal waiting in the pipe, or nullopt.
    std::optional<int> Take();
    int ReadFd() const { return m_fds[0]; }

  private:
    int m_fds[2] = {-1, -1};
};

struct WaitResult {
    bool signal = false;
    bool readable = false;
    bool failed = false;  // the master reported an error or hang-up
    std::string error;
};

// Sleeps until a signal, bytes on the master, or timeout (nullopt: no timeout).
WaitResult WaitForWork(const CSimPty& pty, const CSignalPipe& signals,
                       std::optional<std::chrono::milliseconds> timeout);
