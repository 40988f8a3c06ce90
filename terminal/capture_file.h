// The file a capture goes to, opened the way every file the program writes is: never through a link, never
// over anything that is not a regular file (a FIFO, a device, a folder), and on Linux only a file of the
// user's own that no one else may write, created readable by its owner only (0600). A new capture empties
// an existing file; an appended one keeps it. Writes go straight to the system, and a write also fails
// once the file has been removed (its folder deleted), since every byte after that would be lost unseen.
// capture_file_posix.cpp and capture_file_win32.cpp hold the system's part.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

class CCaptureFile {
  public:
    // The open file, or null with error saying why (in the user's words, naming the path).
    static std::unique_ptr<CCaptureFile> Open(const std::filesystem::path& path, bool append,
                                              std::string& error);
    ~CCaptureFile();
    CCaptureFile(const CCaptureFile&) = delete;
    CCaptureFile& operator=(const CCaptureFile&) = delete;

    // Writes all of bytes; false with error when the system refused any of them.
    bool Write(std::string_view bytes, std::string& error);
    // Makes what was written durable and closes; false with error when that failed.
    bool Close(std::string& error);

  private:
    CCaptureFile(std::filesystem::path path, std::intptr_t handle)
        : m_path(std::move(path)), m_handle(handle) {}

    std::filesystem::path m_path;
    std::intptr_t m_handle;  // the descriptor, or the HANDLE; -1 once closed
};
