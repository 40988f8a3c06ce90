// Files the window exports (profiles holding the APN password) may be named in a folder another user can
// write to. The file is written beside its name and renamed into place, so a reader never sees half of it,
// and it is never written through a link: a link at the name, or anything that is not a regular file, is
// refused before a byte is written. A new file is readable by its owner only (0600 on Linux; on Windows
// the folder's default ACL). Qt-free; export_file_posix.cpp and export_file_win32.cpp hold the system's
// part.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

struct ExportFileResult {
    enum class Kind { Written, IsLink, NotRegular, Failed } kind = Kind::Written;
    std::string detail;  // the system's reason, for Failed
};

ExportFileResult WriteExportFile(const std::filesystem::path& path, std::string_view content);
