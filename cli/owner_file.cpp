#include "cli/owner_file.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

std::filesystem::path PathFromUtf8(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

bool ReadWholeFile(const std::string& path, std::string& content, std::string& error) {
    std::ifstream in(PathFromUtf8(path), std::ios::binary);
    if (!in) {
        error = "cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    std::ostringstream all;
    all << in.rdbuf();
    content = all.str();
    return true;
}
