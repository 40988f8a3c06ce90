#include "app/panel_links.h"

#include "app/message_box.h"

bool RefuseIfPortClosed(QWidget* window, const IPortLink& port, IAutoSend& autoSend) {
    if (port.IsPortOpen()) {
        return false;
    }
    autoSend.StopAutoSend();
    AppMessageBox(window, "串口没有打开，请打开串口");
    return true;
}
