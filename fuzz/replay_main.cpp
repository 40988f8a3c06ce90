// Runs a fuzz target over saved inputs without libFuzzer, so the GCC build and its sanitizer presets check
// every corpus file on each test run. Arguments are corpus directories or single files.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "fuzz/fuzz_support.h"

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> InputFiles(int argc, char** argv) {
    std::vector<fs::path> files;
    for (int i = 1; i < argc; ++i) {
        const fs::path arg(argv[i]);
        std::error_code ec;
        if (fs::is_directory(arg, ec)) {
            for (const auto& entry : fs::directory_iterator(arg, ec)) {
                if (entry.is_regular_file()) {
                    files.push_back(entry.path());
                }
            }
        } else if (fs::is_regular_file(arg, ec)) {
            files.push_back(arg);
        } else {
            std::fprintf(stderr, "no such corpus: %s\n", argv[i]);
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<fs::path> files = InputFiles(argc, argv);
    // An empty corpus would make this test pass while checking nothing.
    if (files.empty()) {
        std::fprintf(stderr, "usage: %s <corpus dir or file>... (no inputs found)\n", argv[0]);
        return 1;
    }
    for (const fs::path& file : files) {
        std::ifstream in(file, std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "cannot read %s\n", file.string().c_str());
            return 1;
        }
        const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        // A buffer of exactly the input's size, as libFuzzer passes it, so ASan sees any read past the end.
        const auto input = std::make_unique<uint8_t[]>(bytes.size());
        std::copy(bytes.begin(), bytes.end(), input.get());
        const std::string name = file.string();
        fuzz::g_inputName = name.c_str();
        LLVMFuzzerTestOneInput(input.get(), bytes.size());
    }
    fuzz::g_inputName = nullptr;
    std::printf("replayed %zu inputs\n", files.size());
    return 0;
}
