// The console the command line runs in, per platform (console_posix.cpp, console_win32.cpp): its arguments
// as UTF-8, whether progress lines can be redrawn in place, and how wide it is.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

// The program's arguments in UTF-8: as given on Linux, from the wide command line on Windows (where argv
// holds the ANSI code page's bytes). Windows consoles are also switched to UTF-8 output here.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// Whether stream is a terminal that understands the cursor movements the progress lines redraw with.
bool IsRedrawTerminal(std::FILE* stream);

// The terminal's width in columns; 80 when it cannot be told.
std::size_t TerminalColumns(std::FILE* stream);
