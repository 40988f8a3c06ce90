// Files the command line writes hold APN passwords and device lists, so they are created readable and
// writable by their owner only: mode 0600 on Linux (owner_file_posix.cpp). On Windows (owner_file_win32.cpp)
// a new file takes the default ACL its folder hands down, which in the user's own folders (profile,
// documents, desktop) admits only the user, SYSTEM and the administrators; no ACL of its own is set.
// Paths are UTF-8 on every platform.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// Whether WriteOwnerOnlyFile may replace path: absent (in a folder that exists), a regular file, or a
// symbolic link, which is replaced as a link and never followed. A device, FIFO, socket or folder is
// refused with the reason, so a run refuses before any device is touched.
bool CheckReplaceablePath(const std::string& path, std::string& error);

// Replaces path with content through a temporary file created exclusively in the same folder, so a reader
// never sees half a profile; on Linux the file ends up 0600 whatever it was before. A path that is not a
// regular file or a link is refused here too.
bool WriteOwnerOnlyFile(const std::string& path, std::string_view content, std::string& error);

// Whether path may take appended rows: absent (in a folder that exists), or on Linux a regular file, no
// link, that belongs to this user and that no group or other user may write; on Windows a regular file
// that is no link.
bool CheckAppendablePath(const std::string& path, std::string& error);

// Appends to path under an advisory lock, creating it (0600 on Linux) and never following a link: first
// is written when the file is empty under the lock, then every piece in one write of its own. The checks
// of CheckAppendablePath are made again on the opened file.
bool AppendOwnerOnlyFile(const std::string& path, std::string_view first,
                         const std::vector<std::string>& pieces, std::string& error);

bool ReadWholeFile(const std::string& path, std::string& content, std::string& error);

// A UTF-8 path text as the platform's path (wide on Windows).
std::filesystem::path PathFromUtf8(const std::string& utf8);
