// The families the window's font asks for, in order of preference. Each system has its own file: the face
// the dialog units were laid out with where it exists, then faces of about its width that the system ships,
// so a missing face never leaves the narrow boxes ("NONE") cut.
#pragma once

#include <span>

std::span<const char* const> DialogFontFamilies();
