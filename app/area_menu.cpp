#include "app/area_menu.h"

#include <QMenu>
#include <QPlainTextEdit>
#include <vector>

namespace {

// Lives as the edit's child, so the entries go with the edit.
class CMenuEntries : public QObject {
  public:
    explicit CMenuEntries(QPlainTextEdit* edit) : QObject(edit) { setObjectName(kName); }
    static constexpr const char* kName = "QuendalMenuEntries";
    std::vector<std::function<void(QMenu&)>> adders;
};

CMenuEntries* EntriesOf(QPlainTextEdit* edit) {
    return edit->findChild<CMenuEntries*>(CMenuEntries::kName, Qt::FindDirectChildrenOnly);
}

}  // namespace

std::unique_ptr<QMenu> BuildContextMenu(QPlainTextEdit* edit, QPoint pos) {
    std::unique_ptr<QMenu> menu(edit->createStandardContextMenu(pos));
    if (CMenuEntries* entries = EntriesOf(edit)) {
        menu->addSeparator();
        for (const auto& add : entries->adders) {
            add(*menu);
        }
    }
    return menu;
}

void ExtendContextMenu(QPlainTextEdit* edit, std::function<void(QMenu&)> addEntries) {
    CMenuEntries* entries = EntriesOf(edit);
    if (!entries) {
        entries = new CMenuEntries(edit);
        edit->setContextMenuPolicy(Qt::CustomContextMenu);
        QObject::connect(edit, &QWidget::customContextMenuRequested, edit, [edit](const QPoint& pos) {
            BuildContextMenu(edit, pos)->exec(edit->viewport()->mapToGlobal(pos));
        });
    }
    entries->adders.push_back(std::move(addEntries));
}
