// Linux: dtu-sim started for the test on COM5 of a port directory of the test's own, stopped at the end.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/pty_fixture.h"
#include "tests/support/sim_port.h"

extern char** environ;

namespace {
constexpr int kSimNumber = 5;
}  // namespace

struct CSimPort::Process {
    CPortDirFixture dir;
    pid_t pid = -1;
};

CSimPort::CSimPort() : m_process(std::make_unique<Process>()) {
    if (m_process->dir.Path().empty()) {
        m_error = "no port directory";
        return;
    }
    std::string sim = QUENDAL_BINARY_DIR "/tools/dtu-sim/dtu-sim";
    std::string com = "--com";
    std::string number = std::to_string(kSimNumber);
    std::string quiet = "--quiet";
    std::string recordOut = "--record-out";
    m_recordOut = m_process->dir.Path() + "/saved.bin";
    char* argv[] = {sim.data(),       com.data(),         number.data(), quiet.data(),
                    recordOut.data(), m_recordOut.data(), nullptr};
    if (posix_spawn(&m_process->pid, sim.c_str(), nullptr, nullptr, argv, environ) != 0) {
        m_process->pid = -1;
        m_error = "cannot start " + sim;
        return;
    }
    const std::filesystem::path link = m_process->dir.Path() + "/COM" + number;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!std::filesystem::exists(link)) {
        if (std::chrono::steady_clock::now() > deadline) {
            m_error = "dtu-sim made no " + link.string();
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    m_number = kSimNumber;
}

CSimPort::~CSimPort() {
    if (m_process->pid > 0) {
        kill(m_process->pid, SIGTERM);
        int status = 0;
        waitpid(m_process->pid, &status, 0);
    }
}

bool CSimPort::SecondOpenRefused() const {
    return true;
}
