// Capture to a file from the window: the receive area's menu entry "记录到文件..." opens the capture
// dialog and starts a capture writer (terminal/capture_writer.h); while it runs, the entry stops it and a
// pane of the status bar shows the bytes written. The window hands over every received run after its
// port-number test, display stopped or not, and every request it gives the engine; the writer's own thread
// does the writing, so the display loses nothing but the copy. A write that fails ends the capture with a
// box; the program goes on.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <memory>
#include <span>

#include "app/capture_dlg.h"
#include "terminal/capture_writer.h"

class CStatusBar;
class QMenu;
class QWidget;

class CCaptureControl : public QObject {
  public:
    CCaptureControl(QWidget* window, CStatusBar& statusBar);
    ~CCaptureControl() override;

    // The entry for the receive area's menu: start when off, stop when on.
    void AddMenuEntry(QMenu& menu);
    void OnReceived(std::span<const std::uint8_t> bytes);
    void OnSent(std::span<const std::uint8_t> bytes);

    // Starts a capture (ending one that runs); a file that cannot be used is refused in a box.
    bool Start(const CaptureRequest& request);
    // Writes what is queued and closes the file.
    void Stop();
    bool IsOn() const { return m_writer != nullptr; }
    std::uint64_t BytesWritten() const { return m_writer ? m_writer->BytesWritten() : 0; }

    // What the dialog offers next time: the last file and choices (for remembered settings).
    const CaptureRequest& LastRequest() const { return m_last; }
    void SetLastRequest(const CaptureRequest& request) { m_last = request; }

    static const char* const kStatusPane;

  private:
    void OnChoose();
    void OnFailed(int run);
    void ShowStatus();

    QWidget* m_window;
    CStatusBar& m_statusBar;
    CaptureRequest m_last;
    std::unique_ptr<CCaptureWriter> m_writer;
    int m_run = 0;  // which capture a failure notice is about
    QTimer m_statusBeat;
};
