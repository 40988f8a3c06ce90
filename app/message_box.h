// Every refusal and error box of the program goes through AppMessageBox: one OK button, the application's
// name as caption unless a title is given. Tests install a recorder so that no modal box ever blocks them.
#pragma once

#include <QString>
#include <functional>

class QWidget;

enum class BoxIcon { Warning, Error, Information };

struct BoxRequest {
    QString title;
    QString text;
    BoxIcon icon;
};

using MessageBoxHook = std::function<void(const BoxRequest&)>;

void AppMessageBox(QWidget* parent, const QString& text, BoxIcon icon = BoxIcon::Warning,
                   const QString& title = QString());

// Replaces the modal box; an empty hook restores it. Returns the previous hook.
MessageBoxHook SetMessageBoxHook(MessageBoxHook hook);
