// The window manager draws the title bar and its menu; no program can add to it.
#include "app/system_menu.h"

bool AddAboutToSystemMenu(QWidget* /*window*/, std::string_view /*text*/) {
    return false;
}

bool IsAboutSystemCommand(const void* /*message*/) {
    return false;
}

void OfferMaximiseBox(QWidget* /*window*/) {}

bool IsMaximiseCommand(const void* /*message*/) {
    return false;
}
