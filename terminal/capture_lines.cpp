#include "terminal/capture_lines.h"

#include <ctime>
#include <mutex>

CCaptureLines::CCaptureLines(Body body, bool timestamps, bool marked)
    : m_body(body), m_timestamps(timestamps), m_marked(marked) {}

void CCaptureLines::AppendTime(Clock::time_point when, std::string& out) {
    using namespace std::chrono;
    const auto ms = duration_cast<milliseconds>(when.time_since_epoch()).count();
    // Floor division: a time before 1970 still gets its own second and a positive remainder.
    const std::int64_t second = ms >= 0 ? ms / 1000 : (ms - 999) / 1000;
    const auto milli = static_cast<int>(ms - second * 1000);
    if (second != m_second) {
        const auto t = static_cast<std::time_t>(second);
        std::tm local{};
        {
            // std::localtime shares one static result; the copy is taken under a lock.
            static std::mutex lock;
            std::lock_guard guard(lock);
            if (const std::tm* converted = std::localtime(&t)) {
                local = *converted;
            }
        }
        char text[32];
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
        m_second = second;
        m_secondText = text;
    }
    out += '[';
    out += m_secondText;
    out += '.';
    out += static_cast<char>('0' + milli / 100);
    out += static_cast<char>('0' + milli / 10 % 10);
    out += static_cast<char>('0' + milli % 10);
    out += "] ";
}

void CCaptureLines::StartLine(CaptureDirection direction, Clock::time_point when, std::string& out) {
    if (m_timestamps) {
        AppendTime(when, out);
    }
    if (m_marked) {
        out += direction == CaptureDirection::Received ? "RX " : "TX ";
    }
    m_open = true;
    m_direction = direction;
    m_lineBytes = 0;
}

void CCaptureLines::End(std::string& out) {
    if (m_open) {
        out += '\n';
        m_open = false;
    }
}

void CCaptureLines::Add(CaptureDirection direction, std::span<const std::uint8_t> bytes,
                        Clock::time_point when, std::string& out) {
    if (bytes.empty()) {
        return;
    }
    if (m_open && m_direction != direction && m_marked) {
        End(out);
    }
    if (m_body == Body::Hex && m_open && when - m_last >= kHexQuiet) {
        End(out);
    }
    m_last = when;
    constexpr char kDigits[] = "0123456789ABCDEF";
    for (const std::uint8_t byte : bytes) {
        if (!m_open) {
            StartLine(direction, when, out);
        }
        ++m_lineBytes;
        if (m_body == Body::Text) {
            out += static_cast<char>(byte);
            if (byte == '\n') {
                m_open = false;
            }
            continue;
        }
        if (m_lineBytes > 1) {
            out += ' ';
        }
        out += kDigits[byte >> 4];
        out += kDigits[byte & 0x0F];
        if (m_lineBytes == kHexPerLine) {
            End(out);
        }
    }
}
