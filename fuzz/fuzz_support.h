// Shared by the fuzz targets. Each target is one LLVMFuzzerTestOneInput that checks its properties with
// FUZZ_CHECK; a failed check aborts, so libFuzzer keeps the input as a crash file and the corpus replay
// (replay_main.cpp, built by GCC with the tests) exits non-zero naming the input it was replaying.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#if defined(__SANITIZE_ADDRESS__)
#define QUENDAL_FUZZ_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUENDAL_FUZZ_ASAN 1
#endif
#endif
#ifdef QUENDAL_FUZZ_ASAN
#include <sanitizer/asan_interface.h>
#endif

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size);

namespace fuzz {

// The corpus file being replayed; libFuzzer names its own inputs.
inline const char* g_inputName = nullptr;

[[noreturn]] inline void CheckFailed(const char* condition, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: property failed: %s\n", file, line, condition);
    if (g_inputName != nullptr) {
        std::fprintf(stderr, "  input: %s\n", g_inputName);
    }
    std::abort();
}

// Makes [data, data + size) unaddressable under ASan, so that a read of bytes the code under test must
// not look at is reported even when they lie inside a larger object. A no-op in other builds.
inline void Poison(const void* data, std::size_t size) {
#ifdef QUENDAL_FUZZ_ASAN
    __asan_poison_memory_region(data, size);
#else
    (void)data;
    (void)size;
#endif
}

inline void Unpoison(const void* data, std::size_t size) {
#ifdef QUENDAL_FUZZ_ASAN
    __asan_unpoison_memory_region(data, size);
#else
    (void)data;
    (void)size;
#endif
}

}  // namespace fuzz

#define FUZZ_CHECK(condition) ((condition) ? void(0) : ::fuzz::CheckFailed(#condition, __FILE__, __LINE__))
