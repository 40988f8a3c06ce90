// The module dialogs measured. "diagnosis": the window's network diagnosis, opened from its menu, against
// the simulated DTU program at 9600 baud, paced at the line's rate as a real unit answers; the time from
// its start to the result shown. "survey": an hour's signal survey at one poll a second through the
// survey dialog, on a simulated clock: the device model of the simulated DTU answers each query paced at
// 9600 baud in simulated time, so the hour takes seconds; RSS at the start and the end, and every poll
// checked to have become a sample one second after the one before.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QContextMenuEvent>
#include <QElapsedTimer>
#include <QMenu>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/diagnosis_dlg.h"
#include "app/module_link.h"
#include "app/panel_links.h"
#include "app/params_panel.h"
#include "app/quendal_dlg.h"
#include "app/signal_monitor_dlg.h"
#include "app/signal_plot.h"
#include "bench/benches.h"
#include "modem/module_answer.h"
#include "res/texts.h"
#include "tests/support/child_process_posix.h"
#include "tests/support/pty_fixture.h"
#include "tools/dtu-sim/dtu_device.h"

namespace {

bool WaitUntil(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs) {
            return done();
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

// Picks entry in the window's background menu and calls drive with the dialog it opens, then closes it.
// Two timers: a timer's handler is not run again while it runs, and the pick runs the dialog.
template <class Dialog>
bool RunMenuDialog(CQuendalDlg& window, const char* entry, const std::function<void(Dialog&)>& drive) {
    bool driven = false;
    QTimer pick;
    QTimer driver;
    QObject::connect(&pick, &QTimer::timeout, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu) {
            return;
        }
        pick.stop();
        menu->close();
        for (QAction* action : menu->actions()) {
            if (action->text() == QString::fromUtf8(entry) && action->isEnabled()) {
                action->trigger();
            }
        }
    });
    QObject::connect(&driver, &QTimer::timeout, [&] {
        auto* dialog = window.findChild<Dialog*>();
        if (dialog && dialog->isVisible()) {
            driver.stop();
            driven = true;
            drive(*dialog);
            dialog->reject();
        }
    });
    pick.start(10);
    driver.start(10);
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(10, 10), window.mapToGlobal(QPoint(10, 10)));
    QApplication::sendEvent(&window, &event);
    return driven;
}

class SimProgram {
  public:
    SimProgram(const std::string& path, const std::vector<std::string>& options) {
        std::vector<std::string> args = {path, "--com", "1", "--quiet"};
        args.insert(args.end(), options.begin(), options.end());
        m_pid = Spawn(args, "/dev/null", "/dev/null");
    }
    ~SimProgram() {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            int status = 0;
            waitpid(m_pid, &status, 0);
        }
    }
    bool Started() const { return m_pid > 0; }

  private:
    pid_t m_pid = -1;
};

std::size_t QueriesAsked(const Diagnosis& d) {
    std::size_t count = 0;
    for (const DiagnosisItem& item : d.items) {
        if (item.status != ItemStatus::NotAsked) {
            // Fallbacks are joined by ", "; a command itself may hold commas (AT+CRSM=176,...).
            for (std::size_t at = 0; at != std::string::npos; at = item.command.find(", ", at + 1)) {
                ++count;
            }
        }
    }
    return count;
}

// The device model behind the survey's asker: each command it is handed is answered at once in real
// time, with the answer's bytes paced at 9600 baud on the simulated clock, which the poll moves on by.
class CSimulatedModule : public IPortLink, public ISentCount {
  public:
    using Clock = CDtuDevice::Clock;

    explicit CSimulatedModule(const DtuSettings& settings)
        : m_now(Clock::time_point{}), m_device(settings, m_now) {}

    void SetAsker(CModuleAsker* asker) { m_asker = asker; }
    Clock::time_point Now() const { return m_now; }
    void MoveTo(Clock::time_point now) { m_now = std::max(now, m_now); }

    bool IsPortOpen() const override { return true; }
    void WritePort(std::span<const std::uint8_t> bytes) override {
        m_device.Receive(bytes, m_now);
        std::string received;
        const Clock::time_point giveUp = m_now + std::chrono::seconds(5);
        for (;;) {
            const std::vector<std::uint8_t> due = m_device.TakeDue(m_now).bytes;
            received.append(due.begin(), due.end());
            const auto wake = m_device.NextWake();
            if (ModuleAnswerComplete(received) || !wake || *wake > giveUp) {
                break;
            }
            m_now = std::max(*wake, m_now);
        }
        QTimer::singleShot(0, m_asker, [asker = m_asker, received] { asker->OnFrame(received); });
    }
    void CountSent(std::int64_t) override {}
    void ResetSentCount() override {}

  private:
    Clock::time_point m_now;
    CDtuDevice m_device;
    CModuleAsker* m_asker = nullptr;
};

int RunDiagnosisBench(int argc, char** argv, const BenchArgs& args) {
    const std::string sim = args.Text("sim", "");
    const int runs = static_cast<int>(args.Number("runs", 5));
    if (sim.empty() || !std::filesystem::exists(sim)) {
        std::fprintf(stderr, "diagnosis needs --sim PATH of the dtu-sim program\n");
        return 2;
    }
    QApplication app(argc, argv);
    const struct {
        const char* name;
        std::vector<std::string> options;
    } states[] = {
        {"home", {}},
        {"no-ccid", {"--no-ccid"}},
        {"lte", {"--lte"}},
        {"absent", {"--sim", "absent"}},
    };
    int status = 0;
    std::printf("name,state,run,ms,queries,verdict\n");
    for (const auto& state : states) {
        CPortDirFixture portDir;
        SimProgram program(sim, state.options);
        const std::filesystem::path link = std::filesystem::path(portDir.Path()) / "COM1";
        if (!program.Started() || !WaitUntil([&] { return std::filesystem::exists(link); }, 5000)) {
            std::fprintf(stderr, "the simulated DTU did not start\n");
            return 1;
        }
        CQuendalDlg window;
        window.show();
        window.ControlAs<QPushButton>(IDC_OPEN_PORT)->click();
        // The record read from the unit first, so the APN comparison is part of the run, as for a user.
        window.ControlAs<QPushButton>(IDC_READ_PARAMS)->click();
        if (!window.IsPortOpen() || !WaitUntil([&] { return window.ParamsPanel().FormHasSource(); }, 5000)) {
            std::fprintf(stderr, "the window could not read the simulated DTU\n");
            return 1;
        }
        WaitUntil([] { return false; }, 700);  // the read's own signal query and its answer
        for (int run = 1; run <= runs; ++run) {
            qint64 ms = -1;
            std::size_t queries = 0;
            std::string verdict;
            RunMenuDialog<CDiagnosisDlg>(window, kTextDiagMenu.utf8.data(), [&](CDiagnosisDlg& dialog) {
                if (WaitUntil([&] { return dialog.Result().has_value(); }, 60000)) {
                    ms = dialog.RunMilliseconds();
                    queries = QueriesAsked(*dialog.Result());
                    verdict = VerdictText(dialog.Result()->verdict);
                }
            });
            if (ms < 0) {
                status = 1;
            }
            std::printf("diagnosis,%s,%d,%lld,%zu,%s\n", state.name, run, static_cast<long long>(ms), queries,
                        verdict.c_str());
            std::fflush(stdout);
        }
    }
    return status;
}

int RunSurveyBench(int argc, char** argv, const BenchArgs& args) {
    const auto seconds = static_cast<std::size_t>(args.Number("seconds", 3600));
    QApplication app(argc, argv);
    DtuSettings settings;
    settings.pacing = true;  // 9600 baud 8N1, the device's default line
    settings.lte = args.Flag("lte", false);
    CSimulatedModule module(settings);
    CModuleAsker asker(module, module);
    module.SetAsker(&asker);
    const auto start = module.Now();
    CSignalMonitorDlg dialog(nullptr, asker);
    dialog.SetClock([&] {
        return static_cast<qint64>(
            std::chrono::duration_cast<std::chrono::milliseconds>(module.Now() - start).count());
    });
    dialog.show();
    std::size_t missed = 0;
    double maxPollMs = 0;
    double rssStart = 0;
    double rssAfterMinute = 0;
    const double realStart = MonotonicSeconds();
    // The window's own time per poll (answers come at once in real time), over the first and last minute.
    double firstMinuteEnd = 0;
    double lastMinuteStart = 0;
    for (std::size_t poll = 0; poll < seconds; ++poll) {
        if (poll + 60 == seconds) {
            lastMinuteStart = MonotonicSeconds();
        }
        // The survey's timer ticks once a second on the simulated clock.
        const auto tick = start + std::chrono::seconds(poll);
        module.MoveTo(tick);
        const std::size_t before = dialog.Samples().size();
        dialog.PollNow();
        const bool answered =
            WaitUntil([&] { return !dialog.Polling() && dialog.Samples().size() == before + 1; }, 10000);
        const double pollMs = std::chrono::duration<double, std::milli>(module.Now() - tick).count();
        maxPollMs = std::max(maxPollMs, pollMs);
        // Missed: no sample, a sample without its value, one not a second after the last, or a poll that
        // outlasted the interval (the next tick would have found it still running).
        const bool ok = answered && dialog.Samples().back().csqLevel.known != settings.lte &&
                        dialog.Samples().back().seconds == static_cast<double>(poll) && pollMs < 1000;
        missed += ok ? 0 : 1;
        if (poll == 0) {
            rssStart = ProcStatusMb("VmRSS");
        } else if (poll == 59) {
            rssAfterMinute = ProcStatusMb("VmRSS");
            firstMinuteEnd = MonotonicSeconds();
        }
    }
    QCoreApplication::processEvents();
    const double rssEnd = ProcStatusMb("VmRSS");
    if (const std::string png = args.Text("png", ""); !png.empty()) {
        dialog.Plot()->grab().save(QString::fromStdString(png));  // the hour's curve, to look at
    }
    std::printf(
        "name,polls,samples,missed,simulated_s,real_s,max_poll_ms,rss_start_mb,rss_1min_mb,rss_end_mb,"
        "hwm_mb,first_min_ms_per_poll,last_min_ms_per_poll\n");
    std::printf("survey%s,%zu,%zu,%zu,%.1f,%.1f,%.1f,%.1f,%.1f,%.1f,%.1f,%.1f,%.1f\n",
                settings.lte ? "-lte" : "", seconds, dialog.Samples().size(), missed,
                std::chrono::duration<double>(module.Now() - start).count(), MonotonicSeconds() - realStart,
                maxPollMs, rssStart, rssAfterMinute, rssEnd, ProcStatusMb("VmHWM"),
                (firstMinuteEnd - realStart) * 1000 / 60, (MonotonicSeconds() - lastMinuteStart) * 1000 / 60);
    return missed == 0 && dialog.Samples().size() == seconds ? 0 : 1;
}

}  // namespace

int RunModemBench(int argc, char** argv, const std::string& command, const BenchArgs& args) {
    return command == "diagnosis" ? RunDiagnosisBench(argc, argv, args) : RunSurveyBench(argc, argv, args);
}
