// On Windows the window asks for SimSun (宋体), the face its dialog units were measured with; where an
// install lacks it, the other Chinese faces Windows ships, closest in width first.
#include "app/dialog_font_family.h"

std::span<const char* const> DialogFontFamilies() {
    static const char* const kFamilies[] = {"SimSun", "NSimSun", "Microsoft YaHei", "SimHei", "DengXian"};
    return kFamilies;
}
