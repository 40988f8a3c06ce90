#include "app/message_box.h"

#include <QCoreApplication>
#include <QMessageBox>

namespace {
MessageBoxHook& Hook() {
    static MessageBoxHook hook;
    return hook;
}

QMessageBox::Icon ToQt(BoxIcon icon) {
    switch (icon) {
        case BoxIcon::Error:
            return QMessageBox::Critical;
        case BoxIcon::Information:
            return QMessageBox::Information;
        case BoxIcon::Warning:
            break;
    }
    return QMessageBox::Warning;
}
}  // namespace

void AppMessageBox(QWidget* parent, const QString& text, BoxIcon icon, const QString& title) {
    BoxRequest request{title.isEmpty() ? QCoreApplication::applicationName() : title, text, icon};
    if (Hook()) {
        Hook()(request);
        return;
    }
    QMessageBox box(ToQt(icon), request.title, request.text, QMessageBox::Ok, parent);
    box.exec();
}

MessageBoxHook SetMessageBoxHook(MessageBoxHook hook) {
    MessageBoxHook previous = std::move(Hook());
    Hook() = std::move(hook);
    return previous;
}
