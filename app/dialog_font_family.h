// The family the window's font asks for. Each system has its own file: the face the dialog units were laid
// out with where it exists, and one the system ships elsewhere.
#pragma once

const char* DialogFontFamily();
