// Elsewhere SimSun is seldom installed: the window asks for WenQuanYi Micro Hei, which Debian ships and the
// package depends on (fonts-wqy-microhei), then the other common Chinese faces.
#include "app/dialog_font_family.h"

std::span<const char* const> DialogFontFamilies() {
    static const char* const kFamilies[] = {"WenQuanYi Micro Hei", "SimSun", "Noto Sans CJK SC",
                                            "Droid Sans Fallback"};
    return kFamilies;
}
