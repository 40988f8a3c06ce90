// Files the command line writes hold APN passwords and device lists, so they are created readable and
// writable by their owner only: mode 0600 on Linux (owner_file_posix.cpp). On Windows (owner_file_win32.cpp)
// a new file takes the default ACL its folder hands down, which in the user's own folders (profile,
// documents, desktop) admits only the user, SYSTEM and the administrators; no ACL of its own is set.
// Paths are UTF-8 on every platform.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

// Replaces path with content through a temporary file in the same folder, so a reader never sees half a
// profile; on Linux the file ends up 0600 whatever it was before.
bool WriteOwnerOnlyFile(const std::string& path, std::string_view content, std::string& error);

// Appends to path, creating it (0600 on Linux); first is written before content when the file is new or
// empty.
bool AppendOwnerOnlyFile(const std::string& path, std::string_view first, std::string_view content,
                         std::string& error);

bool ReadWholeFile(const std::string& path, std::string& content, std::string& error);

// A UTF-8 path text as the platform's path (wide on Windows).
std::filesystem::path PathFromUtf8(const std::string& utf8);
