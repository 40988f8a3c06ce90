// Elsewhere SimSun is seldom installed: the window asks for WenQuanYi Micro Hei, which Debian ships and the
// package depends on (fonts-wqy-microhei).
#include "app/dialog_font_family.h"

const char* DialogFontFamily() {
    return "WenQuanYi Micro Hei";
}
