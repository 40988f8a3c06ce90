// The window's system menu: its About entry and its maximise command. On Windows a separator and the entry
// are appended to the title bar's menu, and its command comes back as a native message. Elsewhere the window
// manager owns that menu: nothing is added and the entry stays on the window's background menu.
#pragma once

#include <string_view>

class QWidget;

// Appends the entry; false where there is no system menu to append to, or the text is empty.
bool AddAboutToSystemMenu(QWidget* window, std::string_view text);

// Whether a native message (from QWidget::nativeEvent) is the entry's command: the system keeps the low
// four bits of a command for itself, so 16 to 31 all mean it.
bool IsAboutSystemCommand(const void* message);

// The maximise box, which a window without a sizing border does not get from its flags alone on Windows;
// elsewhere the window manager decides whether to offer it.
void OfferMaximiseBox(QWidget* window);

// Whether a native message asks to maximise the window (the box, the title bar, the system menu).
bool IsMaximiseCommand(const void* message);
