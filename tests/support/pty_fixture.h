// Pseudo-terminals standing in for serial devices in tests. The master side plays the device (a test, the
// simulated DTU); the slave side is the port, opened by its path or as COMn through a link in a temporary
// port directory. The fixture holds a slave descriptor of its own for its whole life, so the pair outlives
// every open and close of the port and the port's input queue and settings can be inspected.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class CPtyFixture {
  public:
    // Opens a master (non-blocking) and its slave, both raw; IsValid tells whether that worked.
    CPtyFixture();
    ~CPtyFixture();
    CPtyFixture(const CPtyFixture&) = delete;
    CPtyFixture& operator=(const CPtyFixture&) = delete;

    bool IsValid() const { return m_master >= 0 && m_slave >= 0; }
    const std::string& Error() const { return m_error; }
    const std::string& SlavePath() const { return m_slavePath; }
    int MasterFd() const { return m_master; }
    // The fixture's own slave descriptor (same terminal as the port): for its input count and settings.
    int SlaveFd() const { return m_slave; }

    // Makes dir/COMn a link to the slave; removed again when the fixture goes. Returns the link's path, or
    // an empty text when it could not be made.
    std::string LinkAs(const std::string& dir, int n);

    // Writes all bytes from the device side; false if they were not all taken within timeout.
    bool Write(std::span<const std::uint8_t> bytes, std::chrono::milliseconds timeout);
    bool Write(std::string_view text, std::chrono::milliseconds timeout);

    // Reads from the device side until count bytes came or timeout passed; returns what came.
    std::vector<std::uint8_t> Read(std::size_t count, std::chrono::milliseconds timeout);
    // Reads until no byte has come for quiet, or until timeout passed in all.
    std::vector<std::uint8_t> ReadUntilQuiet(std::chrono::milliseconds quiet,
                                             std::chrono::milliseconds timeout);

    // Bytes in the port's input queue, not yet read by whoever has the port open.
    std::size_t SlaveInputCount() const;
    // Waits until the port's input queue holds at least count bytes.
    bool WaitSlaveInput(std::size_t count, std::chrono::milliseconds timeout) const;

    // Closes the device side: the port sees a hang-up, as when a USB adapter is pulled.
    void CloseMaster();

  private:
    int m_master = -1;
    int m_slave = -1;
    std::string m_slavePath;
    std::string m_error;
    std::vector<std::string> m_links;
};

// A fresh temporary directory that is the port directory (QUENDAL_PORT_DIR) while it lives, and an empty
// configuration folder (XDG_CONFIG_HOME), so that no port map of the user's names a port; the previous
// values come back and both directories are removed at the end.
class CPortDirFixture {
  public:
    CPortDirFixture();
    ~CPortDirFixture();
    CPortDirFixture(const CPortDirFixture&) = delete;
    CPortDirFixture& operator=(const CPortDirFixture&) = delete;

    const std::string& Path() const { return m_path; }

  private:
    std::string m_path;
    bool m_hadPrevious = false;
    std::string m_previous;
    std::string m_configPath;
    bool m_hadPreviousConfig = false;
    std::string m_previousConfig;
};
