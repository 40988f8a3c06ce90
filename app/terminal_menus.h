// The terminal's options on its areas' menus: time stamps and the receive encoding on the receive area's,
// the line ending of text sends on the send area's. The options belong to the receive monitor and the send
// panel; the menus only show and set them.
#pragma once

#include "app/layout_builder.h"

class CReceiveMonitor;
class CSendPanel;

void AddTerminalMenus(const ControlMap& controls, CReceiveMonitor& monitor, CSendPanel& send);
