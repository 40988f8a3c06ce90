// Owners for engine tests. CRecordingOwner runs posted work on a thread of its own, as a window's event loop
// would, and records every notification and error text; a test can hook the handler (to hold the owner's
// thread, say) and wait for conditions. With pump off it never runs posted work, like a window whose thread
// is stuck.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "serial/port_owner.h"

class CRecordingOwner : public CPortOwner {
  public:
    struct Message {
        unsigned code = 0;
        std::vector<std::uint8_t> bytes;
        int port = 0;
        std::thread::id thread;
    };

    explicit CRecordingOwner(bool pump = true) {
        if (pump) {
            StartPump();
        }
    }

    // Starts running posted work (for an owner made with pump off), the oldest first.
    void StartPump() {
        if (!m_thread.joinable()) {
            m_thread = std::thread([this] { Pump(); });
        }
    }

    ~CRecordingOwner() override {
        {
            std::lock_guard lock(m_mutex);
            m_quit = true;
        }
        m_changed.notify_all();
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }

    void PostToOwnerThread(std::function<void()> fn) override {
        {
            std::lock_guard lock(m_mutex);
            m_queue.push_back(std::move(fn));
            ++m_posted;
            ++m_generation;
        }
        m_changed.notify_all();
    }

    void OnPortMessage(unsigned message, std::span<const std::uint8_t> bytes, int port) override {
        Message m{message, {bytes.begin(), bytes.end()}, port, std::this_thread::get_id()};
        std::function<void(const Message&)> hook;
        {
            std::lock_guard lock(m_mutex);
            hook = m_hook;
        }
        if (hook) {
            hook(m);
        }
        {
            std::lock_guard lock(m_mutex);
            ++m_counts[message];
            if (message == WM_PORT_RXCHAR) {
                m_rxBytes += bytes.size();
            }
            if (m_keep) {
                m_messages.push_back(std::move(m));
            }
            ++m_generation;
        }
        m_changed.notify_all();
    }

    void OnPortError(const std::string& text) override {
        {
            std::lock_guard lock(m_mutex);
            m_errors.push_back(text);
            ++m_generation;
        }
        m_changed.notify_all();
    }

    // Runs before a notification is recorded, on the owner's thread.
    void SetHook(std::function<void(const Message&)> hook) {
        std::lock_guard lock(m_mutex);
        m_hook = std::move(hook);
    }

    // Runs fn on the owner's thread and returns when it has run.
    void RunOnOwnerThread(const std::function<void()>& fn) {
        std::mutex doneMutex;
        std::condition_variable doneChanged;
        bool done = false;
        PostToOwnerThread([&] {
            fn();
            std::lock_guard lock(doneMutex);
            done = true;
            doneChanged.notify_all();
        });
        std::unique_lock lock(doneMutex);
        doneChanged.wait(lock, [&] { return done; });
    }

    std::vector<Message> Messages() {
        std::lock_guard lock(m_mutex);
        return m_messages;
    }
    std::vector<std::string> Errors() {
        std::lock_guard lock(m_mutex);
        return m_errors;
    }
    std::size_t Posted() {
        std::lock_guard lock(m_mutex);
        return m_posted;
    }
    std::thread::id ThreadId() const { return m_thread.get_id(); }

    // The bytes of every WM_PORT_RXCHAR so far, in order.
    std::vector<std::uint8_t> Received() {
        std::lock_guard lock(m_mutex);
        std::vector<std::uint8_t> all;
        for (const Message& m : m_messages) {
            if (m.code == WM_PORT_RXCHAR) {
                all.insert(all.end(), m.bytes.begin(), m.bytes.end());
            }
        }
        return all;
    }

    // Notifications with this code so far, kept or not.
    std::size_t Count(unsigned code) {
        std::lock_guard lock(m_mutex);
        return m_counts[code];
    }
    // Bytes of every WM_PORT_RXCHAR so far, kept or not.
    std::size_t ReceivedCount() {
        std::lock_guard lock(m_mutex);
        return m_rxBytes;
    }
    // Off: notifications are only counted (for floods).
    void SetKeepMessages(bool keep) {
        std::lock_guard lock(m_mutex);
        m_keep = keep;
    }

    // Waits until condition() holds (checked after every recorded or posted event) or timeout passes.
    template <class Condition>
    bool WaitFor(Condition condition, std::chrono::milliseconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        std::unique_lock lock(m_mutex);
        while (true) {
            const std::uint64_t seen = m_generation;
            lock.unlock();
            if (condition()) {
                return true;
            }
            lock.lock();
            if (!m_changed.wait_until(lock, deadline, [&] { return m_generation != seen; })) {
                lock.unlock();
                return condition();
            }
        }
    }

  private:
    void Pump() {
        std::unique_lock lock(m_mutex);
        while (true) {
            m_changed.wait(lock, [this] { return m_quit || !m_queue.empty(); });
            if (m_quit) {
                return;
            }
            std::function<void()> fn = std::move(m_queue.front());
            m_queue.pop_front();
            lock.unlock();
            fn();
            fn = nullptr;
            lock.lock();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::function<void()>> m_queue;
    std::vector<Message> m_messages;
    std::vector<std::string> m_errors;
    std::function<void(const Message&)> m_hook;
    std::size_t m_posted = 0;
    std::uint64_t m_generation = 0;
    std::map<unsigned, std::size_t> m_counts;
    std::size_t m_rxBytes = 0;
    bool m_keep = true;
    bool m_quit = false;
    std::thread m_thread;
};
