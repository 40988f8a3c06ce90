#include <array>
#include <atomic>
#include <cstdio>

#include "cli/console.h"

namespace {

// Lock-free atomics only: the table is read from a signal handler.
constexpr std::size_t kHeldPaths = 1024;
std::array<std::atomic<const char*>, kHeldPaths> g_held{};
std::atomic<bool> g_interrupted{false};
static_assert(std::atomic<const char*>::is_always_lock_free && std::atomic<bool>::is_always_lock_free);

}  // namespace

bool InterruptRequested() {
    return g_interrupted.load();
}

void SetInterruptRequested(bool requested) {
    g_interrupted.store(requested);
}

int HoldTemporaryPath(const char* path) {
    for (std::size_t i = 0; i < kHeldPaths; ++i) {
        const char* expected = nullptr;
        if (g_held[i].compare_exchange_strong(expected, path)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void ReleaseTemporaryPath(int slot) {
    if (slot >= 0 && static_cast<std::size_t>(slot) < kHeldPaths) {
        g_held[static_cast<std::size_t>(slot)].store(nullptr);
    }
}

void ForEachHeldPath(void (*remove)(const char* path)) {
    for (std::size_t i = kHeldPaths; i-- > 0;) {
        if (const char* path = g_held[i].load()) {
            remove(path);
        }
    }
}

std::string VisibleText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    const auto escape = [&](const char* format, unsigned value) {
        char code[8];
        std::snprintf(code, sizeof code, format, value);
        out += code;
    };
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x20 || lead == 0x7F) {
            escape("\\x%02x", lead);
            ++i;
            continue;
        }
        if (lead < 0x80) {
            out += text[i++];
            continue;
        }
        const std::size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                                   : lead >= 0xE0 && lead <= 0xEF ? 3
                                   : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                                  : 0;
        bool whole = length != 0 && i + length <= text.size();
        for (std::size_t k = 1; whole && k < length; ++k) {
            whole = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
        }
        if (!whole) {
            escape("\\x%02x", lead);
            ++i;
            continue;
        }
        const auto second = static_cast<unsigned char>(text[i + 1]);
        if (lead == 0xC2 && second < 0xA0) {
            escape("\\u%04x", second);  // U+0080 to U+009F, the C1 controls
        } else {
            out.append(text.substr(i, length));
        }
        i += length;
    }
    return out;
}
