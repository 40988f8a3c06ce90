#include "app/area_menu.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QPlainTextEdit>

CAreaMenu& CAreaMenu::Of(QPlainTextEdit* area) {
    if (auto* menu = area->findChild<CAreaMenu*>(QString(), Qt::FindDirectChildrenOnly)) {
        return *menu;
    }
    return *new CAreaMenu(area);
}

CAreaMenu::CAreaMenu(QPlainTextEdit* area) : QObject(area), m_area(area) {
    // The edit opens its menu for a right click on its viewport and for the menu key on itself; the
    // program's menu takes its place in both.
    area->viewport()->installEventFilter(this);
    area->installEventFilter(this);
}

void CAreaMenu::AddEntries(std::function<void(QMenu&)> entries) {
    m_entries.push_back(std::move(entries));
}

std::unique_ptr<QMenu> CAreaMenu::Build() const {
    // Without the position: it serves only to copy a link, and plain text has none.
    std::unique_ptr<QMenu> menu(m_area->createStandardContextMenu());
    for (const auto& entries : m_entries) {
        menu->addSeparator();
        entries(*menu);
    }
    return menu;
}

bool CAreaMenu::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::ContextMenu || m_entries.empty()) {
        return QObject::eventFilter(watched, event);
    }
    const auto* request = static_cast<QContextMenuEvent*>(event);
    Build()->exec(request->globalPos());
    return true;
}
