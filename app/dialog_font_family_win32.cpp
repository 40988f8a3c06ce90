// On Windows the window asks for SimSun (宋体), the face its dialog units were measured with; where it is
// missing, Qt falls back to another face that has the characters.
#include "app/dialog_font_family.h"

const char* DialogFontFamily() {
    return "SimSun";
}
