// Files the command line writes hold APN passwords and device lists, so they are created readable and
// writable by their owner only (0600).
#pragma once

#include <string>
#include <string_view>

// Replaces path with content through a temporary file in the same folder, so a reader never sees half a
// profile; the file ends up 0600 whatever it was before.
bool WriteOwnerOnlyFile(const std::string& path, std::string_view content, std::string& error);

// Appends to path, creating it 0600; first is written before content when the file is new or empty.
bool AppendOwnerOnlyFile(const std::string& path, std::string_view first, std::string_view content,
                         std::string& error);

bool ReadWholeFile(const std::string& path, std::string& content, std::string& error);
