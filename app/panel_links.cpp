#include "app/panel_links.h"

#include "app/layout_builder.h"
#include "app/message_box.h"
#include "res/texts.h"

bool RefuseIfPortClosed(QWidget* window, const IPortLink& port, IAutoSend& autoSend) {
    if (port.IsPortOpen()) {
        return false;
    }
    autoSend.StopAutoSend();
    AppMessageBox(window, Utf8(kTextPortNotOpen.utf8));
    return true;
}
