// Measurements through the whole window, as a user runs it: the widened window shown (on the X server the
// bench script starts, or offscreen), COM1
// opened by its own handler on a pty, bytes written into the pty's device side. The event loop's health
// is sampled by a 5 ms timer: any gap beyond its period is time the window could not answer.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QStyleFactory>
#include <QThread>
#include <QTimer>
#include <cstdio>
#include <functional>

#include "app/capture_control.h"
#include "app/message_box.h"
#include "app/qt_param_form.h"
#include "app/quendal_dlg.h"
#include "app/receive_monitor.h"
#include "bench/benches.h"
#include "tests/support/pty_fixture.h"

extern char** environ;

namespace {

constexpr int kTickMs = 5;
constexpr double kNoProgressSeconds = 10.0;

// The program's own start-up choices (see app/main.cpp), and no modal box that could hold a run up.
void PrepareApplication() {
    if (QStyle* style = QStyleFactory::create("Windows")) {
        QApplication::setStyle(style);
    }
    SetMessageBoxHook([](const BoxRequest& box) { std::fprintf(stderr, "box: %s\n", qPrintable(box.text)); });
}

void PumpFor(int ms) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
}

// Notes every paint of one window or its controls; onFirst runs once the first one has been done.
class CPaintWatch : public QObject {
  public:
    explicit CPaintWatch(QWidget* window, std::function<void()> onFirst = {})
        : m_window(window), m_onFirst(std::move(onFirst)) {
        qApp->installEventFilter(this);
    }
    int Paints() const { return m_paints; }

  protected:
    bool eventFilter(QObject* object, QEvent* event) override {
        if (event->type() == QEvent::Paint && object->isWidgetType() &&
            static_cast<QWidget*>(object)->window() == m_window) {
            if (++m_paints == 1 && m_onFirst) {
                QTimer::singleShot(0, this, m_onFirst);
            }
        }
        return false;
    }

  private:
    QWidget* m_window;
    std::function<void()> m_onFirst;
    int m_paints = 0;
};

// Widens the window, waits for its paint and opens COM1 (a link to the pty); false when the port failed.
bool OpenWindowOnPty(CQuendalDlg& dlg) {
    CPaintWatch watch(&dlg);
    dlg.OnDebugToggle();
    QElapsedTimer clock;
    clock.start();
    while (watch.Paints() == 0 && clock.elapsed() < 3000) {
        PumpFor(10);
    }
    dlg.OnOpenPort();
    PumpFor(100);
    return dlg.IsPortOpen();
}

}  // namespace

int RunWindow(int argc, char** argv, const WindowRunOptions& options) {
    const std::string& mode = options.mode;
    const bool autoClear = options.autoClear;
    const std::uint64_t total = options.bytes;
    if (mode != "text" && mode != "hex" && mode != "stopped") {
        std::fprintf(stderr, "--mode is text, hex or stopped\n");
        return 2;
    }
    const std::optional<StreamKind> lines = TextStreamNamed(options.lines);
    if (!lines) {
        std::fprintf(stderr, "--lines is text, gbk, mixed or log\n");
        return 2;
    }
    if (*lines != StreamKind::kText && !GbkCodecAvailable()) {
        std::fprintf(stderr, "no GBK converter on this system for --lines %s\n", options.lines.c_str());
        return 1;
    }

    CPortDirFixture portDir;
    CPtyFixture pty;
    if (!LinkPtyAsCom1(portDir, pty)) {
        return 1;
    }
    QApplication app(argc, argv);
    PrepareApplication();
    CQuendalDlg dlg;
    dlg.ControlAs<QCheckBox>(IDC_AUTO_CLEAR)->setChecked(autoClear);
    dlg.ControlAs<QCheckBox>(IDC_HEX_DISPLAY)->setChecked(mode == "hex");
    dlg.ReceiveMonitor().SetTimestamps(options.timestamps);
    if (mode == "stopped") {
        dlg.OnStopDisplay();
    }
    if (!OpenWindowOnPty(dlg)) {
        std::fprintf(stderr, "the window could not open COM1\n");
        return 1;
    }
    const std::string logPath = portDir.Path() + "/capture.log";
    if (!options.log.empty() && !StartBenchCapture(dlg, options.log, logPath)) {
        return 1;
    }

    const CReceiveMonitor& monitor = dlg.ReceiveMonitor();
    const std::int64_t target = monitor.RxCount() + static_cast<std::int64_t>(total);
    QEventLoop loop;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(kTickMs);
    double start = 0;
    double lastTick = 0;
    double maxGap = 0;
    double end = 0;
    double lastProgress = 0;
    std::int64_t lastCount = monitor.RxCount();
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const double now = MonotonicSeconds();
        maxGap = std::max(maxGap, now - lastTick);
        lastTick = now;
        if (monitor.RxCount() != lastCount) {
            lastCount = monitor.RxCount();
            lastProgress = now;
        }
        if (monitor.RxCount() >= target || now - lastProgress > kNoProgressSeconds) {
            end = now;
            loop.quit();
        }
    });

    const double cpuBefore = ProcessCpuSeconds();
    start = lastTick = lastProgress = MonotonicSeconds();
    CFeeder feeder(pty.MasterFd(), mode == "hex" ? StreamKind::kBinary : *lines, total);
    ticker.start();
    loop.exec();
    ticker.stop();
    feeder.Stop();
    const double cpu = ProcessCpuSeconds() - cpuBefore - feeder.CpuSeconds();
    // A byte counted twice would show as more than was written.
    PumpFor(200);

    BenchRow row;
    row.name = options.name;
    row.bytes = total;
    row.seconds = end - start;
    row.maxStallMs = std::max(0.0, maxGap * 1000.0 - kTickMs);
    row.rssMb = ProcStatusMb("VmRSS");
    row.hwmMb = ProcStatusMb("VmHWM");
    row.cpuPercent = 100.0 * cpu / row.seconds;
    row.lost = static_cast<std::uint64_t>(std::max<std::int64_t>(0, target - monitor.RxCount()));
    if (!options.log.empty()) {
        // The file is judged once the writer has caught up; a byte it lacks counts as lost.
        dlg.Capture().Stop();
        row.lost = std::max(*row.lost,
                            CaptureShortfall(options.log, logPath,
                                             mode == "hex" ? StreamKind::kBinary : StreamKind::kText, total));
    }
    PrintRow(row);
    if (monitor.RxCount() > target) {
        std::fprintf(stderr, "RX counted %lld bytes more than were written\n",
                     static_cast<long long>(monitor.RxCount() - target));
    }
    dlg.OnOpenPort();
    return monitor.RxCount() == target ? 0 : 1;
}

int RunIdle(int argc, char** argv, const BenchArgs& args) {
    const int seconds = static_cast<int>(args.Number("seconds", 3));
    CPortDirFixture portDir;
    CPtyFixture pty;
    if (!LinkPtyAsCom1(portDir, pty)) {
        return 1;
    }
    QApplication app(argc, argv);
    PrepareApplication();
    CQuendalDlg dlg;
    if (!OpenWindowOnPty(dlg)) {
        std::fprintf(stderr, "the window could not open COM1\n");
        return 1;
    }
    // Let the start-up timers and the last repaints settle before measuring.
    PumpFor(500);
    const double cpuBefore = ProcessCpuSeconds();
    const double start = MonotonicSeconds();
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();

    BenchRow row;
    row.name = "idle";
    row.seconds = MonotonicSeconds() - start;
    row.rssMb = ProcStatusMb("VmRSS");
    row.hwmMb = ProcStatusMb("VmHWM");
    row.cpuPercent = 100.0 * (ProcessCpuSeconds() - cpuBefore) / row.seconds;
    PrintRow(row);
    dlg.OnOpenPort();
    return 0;
}

int RunStartup(const BenchArgs&) {
    // The child is this program again: it reports the monotonic time at which its first paint was done.
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        return 1;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    char self[] = "/proc/self/exe";
    char child[] = "startup-child";
    char* childArgv[] = {self, child, nullptr};
    const double start = MonotonicSeconds();
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, "/proc/self/exe", &actions, nullptr, childArgv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    if (spawned != 0) {
        close(pipeFds[0]);
        return 1;
    }
    std::string reply;
    char buffer[256];
    for (ssize_t n; (n = read(pipeFds[0], buffer, sizeof buffer)) > 0;) {
        reply.append(buffer, static_cast<std::size_t>(n));
    }
    close(pipeFds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    double shown = 0;
    double rss = 0;
    double hwm = 0;
    if (std::sscanf(reply.c_str(), "%lf %lf %lf", &shown, &rss, &hwm) != 3 || shown < start) {
        std::fprintf(stderr, "startup child said: %s\n", reply.c_str());
        return 1;
    }
    BenchRow row;
    row.name = "startup";
    row.seconds = shown - start;
    row.rssMb = rss;
    row.hwmMb = hwm;
    PrintRow(row);
    return 0;
}

int RunStartupChild(int argc, char** argv) {
    QApplication app(argc, argv);
    PrepareApplication();
    if (!GbkCodecAvailable()) {
        return 1;
    }
    CQuendalDlg dlg;  // shows itself, as the program's start does
    CPaintWatch watch(&dlg, [&] {
        std::printf("%.9f %.1f %.1f\n", MonotonicSeconds(), ProcStatusMb("VmRSS"), ProcStatusMb("VmHWM"));
        std::fflush(stdout);
        app.quit();
    });
    return app.exec();
}
