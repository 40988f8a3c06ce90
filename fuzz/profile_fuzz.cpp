// The profile parser and the units file reader fed arbitrary text, as a user's files or a colleague's
// spreadsheet may be. Neither may throw or crash; whatever either accepts must survive the way back: a
// profile written out as JSON reads back to the same profile, and every unit's values do the same.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

#include "cli/units.h"
#include "fuzz/fuzz_support.h"
#include "protocol/profile.h"

namespace {

void CheckRoundTrip(const Profile& profile) {
    Profile again;
    FUZZ_CHECK(!ParseProfile(ProfileToJson(profile), again));
    FUZZ_CHECK(again == profile);
    // Every value was checked on the way in, so the form takes the whole profile.
    DeviceParams record;
    FUZZ_CHECK(!BuildRecord(DeviceParams{}, profile, record));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    try {
        Profile profile;
        if (!ParseProfile(text, profile)) {
            CheckRoundTrip(profile);
        } else {
            FUZZ_CHECK(profile.Count() == 0);
        }
        std::string error;
        if (const auto units = ParseUnits(text, error)) {
            for (const auto& [port, unit] : *units) {
                FUZZ_CHECK(!port.empty());
                CheckRoundTrip(unit);
            }
        } else {
            FUZZ_CHECK(!error.empty());
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "threw: %s\n", e.what());
        ::fuzz::CheckFailed("a parser threw", __FILE__, __LINE__);
    }
    return 0;
}
