// Writes bytes into a pty master as fast as the port takes them, on a thread of its own, until stopped.
#pragma once

#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <thread>
#include <vector>

class CFloodWriter {
  public:
    explicit CFloodWriter(int masterFd) : m_fd(masterFd) {
        m_thread = std::thread([this] { Run(); });
    }
    ~CFloodWriter() { Stop(); }
    CFloodWriter(const CFloodWriter&) = delete;
    CFloodWriter& operator=(const CFloodWriter&) = delete;

    void Stop() {
        m_stop = true;
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }
    std::size_t Written() const { return m_written; }

  private:
    void Run() {
        std::vector<std::uint8_t> chunk(4096);
        for (std::size_t i = 0; i < chunk.size(); ++i) {
            chunk[i] = static_cast<std::uint8_t>(i * 7 + 1);
        }
        while (!m_stop) {
            const ssize_t n = write(m_fd, chunk.data(), chunk.size());
            if (n > 0) {
                m_written += static_cast<std::size_t>(n);
            } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                return;
            } else {
                pollfd p{m_fd, POLLOUT, 0};
                poll(&p, 1, 10);
            }
        }
    }

    int m_fd;
    std::atomic<bool> m_stop{false};
    std::atomic<std::size_t> m_written{0};
    std::thread m_thread;
};
