// A simulated DTU on a COM port, for tests of the engine through the platform's own port. On Linux the
// test starts dtu-sim itself, on a pseudo-terminal linked as COMn in a port directory of its own
// (sim_port_posix.cpp). A Windows program cannot start the Linux simulator, so under Wine the harness
// starts it and maps a COM port to its pseudo-terminal; QUENDAL_SIM_PORT names that port's number and
// QUENDAL_SIM_RECORD_OUT the simulator's --record-out file as a Windows path (sim_port_win32.cpp; .ci/run
// does this).
#pragma once

#include <memory>
#include <string>

class CSimPort {
  public:
    CSimPort();
    ~CSimPort();
    CSimPort(const CSimPort&) = delete;
    CSimPort& operator=(const CSimPort&) = delete;

    // The n of COMn, 0 when there is no simulator; Error says why.
    int Number() const { return m_number; }
    const std::string& Error() const { return m_error; }
    // The file the simulator writes the record of every save frame it takes to (--record-out).
    const std::string& RecordOutPath() const { return m_recordOut; }
    // Whether a second open of a held port is refused. Windows' serial drivers refuse it and so does the
    // Linux seam; Wine (8) lets it through, so under Wine this cannot be shown.
    bool SecondOpenRefused() const;

  private:
    struct Process;
    int m_number = 0;
    std::string m_error;
    std::string m_recordOut;
    std::unique_ptr<Process> m_process;
};
