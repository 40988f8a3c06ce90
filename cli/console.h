// The console the command line runs in, per platform (console_posix.cpp, console_win32.cpp): its arguments
// as UTF-8, whether progress lines can be redrawn in place, how wide it is, and its interrupts.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

// The program's arguments in UTF-8: as given on Linux, from the wide command line on Windows (where argv
// holds the ANSI code page's bytes). Windows consoles are also switched to UTF-8 output here.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// Whether stream is a terminal that understands the cursor movements the progress lines redraw with.
bool IsRedrawTerminal(std::FILE* stream);

// The terminal's width in columns; 80 when it cannot be told.
std::size_t TerminalColumns(std::FILE* stream);

// Ctrl-C and SIGTERM (on Windows Ctrl-C, Ctrl-Break and the console closing). The first only asks the run
// to stop: InterruptRequested() turns true, and the run ends its exchanges in flight, reports and cleans
// up as on any other way out. The second ends the program at once with 130, after removing the paths
// held below.
void InstallInterruptHandlers();
bool InterruptRequested();
// For tests: as if the first signal had come (or not).
void SetInterruptRequested(bool requested);

// A temporary file or folder (UTF-8) to remove when a second signal ends the program at once; the text
// must stay alive and unchanged until released. Folders are removed after what was held after them.
// Returns the slot to release, or -1 when every slot is taken.
int HoldTemporaryPath(const char* path);
void ReleaseTemporaryPath(int slot);
// Calls remove for every held path, the latest first; safe inside a signal handler.
void ForEachHeldPath(void (*remove)(const char* path));

// Text that came from a device, safe to print: control characters (C0, DEL, and C1 as UTF-8) and bytes
// that are no UTF-8 become visible as \x1b or \u009b, so a device cannot move the cursor, retitle the
// window or hide a line. Everything else, Chinese text included, is kept.
std::string VisibleText(std::string_view text);
