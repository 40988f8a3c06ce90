// Linux: arguments are UTF-8 already; the terminal is told by isatty and its width by TIOCGWINSZ;
// interrupts are SIGINT and SIGTERM.
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>

#include "cli/console.h"

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

bool IsRedrawTerminal(std::FILE* stream) {
    return isatty(fileno(stream)) != 0;
}

std::size_t TerminalColumns(std::FILE* stream) {
    winsize size{};
    if (ioctl(fileno(stream), TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
        return size.ws_col;
    }
    return 80;
}

namespace {

void RemovePath(const char* path) {
    if (unlink(path) != 0) {
        rmdir(path);
    }
}

void OnInterrupt(int) {
    static std::atomic<int> count{0};
    if (count.fetch_add(1) == 0) {
        SetInterruptRequested(true);
        return;
    }
    ForEachHeldPath(RemovePath);
    _exit(130);
}

}  // namespace

void InstallInterruptHandlers() {
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    // Interrupted system calls go on: the run's own deadlines bound every wait.
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}
