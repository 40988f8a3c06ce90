#include "terminal/capture_writer.h"

#include "terminal/capture_file.h"

namespace {

CCaptureLines::Body BodyOf(CaptureOptions::Format format) {
    return format == CaptureOptions::Format::Hex ? CCaptureLines::Body::Hex : CCaptureLines::Body::Text;
}

}  // namespace

std::unique_ptr<CCaptureWriter> CCaptureWriter::Start(const std::filesystem::path& path,
                                                      const CaptureOptions& options, FailureNotice onFailure,
                                                      std::string& error) {
    std::unique_ptr<CCaptureFile> file = CCaptureFile::Open(path, options.append, error);
    if (!file) {
        return nullptr;
    }
    std::unique_ptr<CCaptureWriter> writer(
        new CCaptureWriter(std::move(file), options, std::move(onFailure)));
    writer->m_thread = std::thread([w = writer.get()] { w->Run(); });
    return writer;
}

CCaptureWriter::CCaptureWriter(std::unique_ptr<CCaptureFile> file, const CaptureOptions& options,
                               FailureNotice onFailure)
    : m_file(std::move(file)),
      m_options(options),
      m_onFailure(std::move(onFailure)),
      m_lines(BodyOf(options.format), options.timestamps,
              options.includeSent && options.format != CaptureOptions::Format::Raw) {}

CCaptureWriter::~CCaptureWriter() {
    Stop();
}

void CCaptureWriter::Received(std::span<const std::uint8_t> bytes, Clock::time_point when) {
    Queue(CaptureDirection::Received, bytes, when);
}

void CCaptureWriter::Sent(std::span<const std::uint8_t> bytes, Clock::time_point when) {
    if (m_options.includeSent && m_options.format != CaptureOptions::Format::Raw) {
        Queue(CaptureDirection::Sent, bytes, when);
    }
}

void CCaptureWriter::Queue(CaptureDirection direction, std::span<const std::uint8_t> bytes,
                           Clock::time_point when) {
    if (bytes.empty() || m_failed.load()) {
        return;
    }
    {
        std::lock_guard guard(m_lock);
        if (m_stopping) {
            return;
        }
        // Runs in one direction join the last piece: at flood speed the queue holds few, large pieces.
        // A text or hex line takes the time of its first byte, so a joined run loses only the time of a
        // line that starts inside it; a raw capture has no times at all.
        if (!m_queue.empty() && m_queue.back().direction == direction &&
            (m_options.format == CaptureOptions::Format::Raw ||
             when - m_queue.back().when < std::chrono::milliseconds(1))) {
            m_queue.back().bytes.insert(m_queue.back().bytes.end(), bytes.begin(), bytes.end());
        } else {
            m_queue.push_back({direction, when, std::vector<std::uint8_t>(bytes.begin(), bytes.end())});
        }
    }
    m_wake.notify_one();
}

std::string CCaptureWriter::Stop() {
    {
        std::lock_guard guard(m_lock);
        m_stopping = true;
    }
    m_wake.notify_one();
    if (m_thread.joinable()) {
        m_thread.join();
    }
    std::lock_guard guard(m_lock);
    return m_error;
}

bool CCaptureWriter::WriteOut(const std::string& text) {
    std::string error;
    if (text.empty()) {
        return true;
    }
    if (!m_file->Write(text, error)) {
        {
            std::lock_guard guard(m_lock);
            m_error = error;
            m_queue.clear();
        }
        m_failed.store(true);
        if (m_onFailure) {
            m_onFailure(error);
        }
        return false;
    }
    m_written.fetch_add(text.size());
    return true;
}

void CCaptureWriter::Run() {
    std::vector<Piece> work;
    std::string text;
    for (;;) {
        bool stopping = false;
        {
            std::unique_lock lock(m_lock);
            m_wake.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
            work.swap(m_queue);
            stopping = m_stopping && work.empty();
        }
        if (stopping) {
            break;
        }
        text.clear();
        for (const Piece& piece : work) {
            if (m_options.format == CaptureOptions::Format::Raw) {
                text.append(piece.bytes.begin(), piece.bytes.end());
            } else {
                m_lines.Add(piece.direction, piece.bytes, piece.when, text);
            }
        }
        work.clear();
        if (!WriteOut(text)) {
            return;
        }
    }
    text.clear();
    m_lines.End(text);
    std::string error;
    if (WriteOut(text) && !m_file->Close(error)) {
        std::lock_guard guard(m_lock);
        m_error = error;
    }
}
