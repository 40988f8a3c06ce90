// Windows: the simulator the harness started, on the COM port QUENDAL_SIM_PORT names.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "tests/support/sim_port.h"

struct CSimPort::Process {};

CSimPort::CSimPort() {
    const char* number = std::getenv("QUENDAL_SIM_PORT");
    if (!number || std::atoi(number) < 1) {
        m_error = "QUENDAL_SIM_PORT does not name the simulator's COM port (run these tests as .ci/run does)";
        return;
    }
    m_number = std::atoi(number);
    if (const char* recordOut = std::getenv("QUENDAL_SIM_RECORD_OUT")) {
        m_recordOut = recordOut;
    }
}

CSimPort::~CSimPort() = default;

bool CSimPort::SecondOpenRefused() const {
    // Wine's ntdll exports its version; Windows' does not.
    return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") == nullptr;
}
