// The context menu of a text area: Qt's own entries for the edit (undo, copy, paste, select all), then the
// program's. Each part of the program with entries for an area adds them here, so several can share one
// menu; the menu is built afresh at every right click, and its ticks show the options as they are then.
#pragma once

#include <QObject>
#include <functional>
#include <memory>
#include <vector>

class QMenu;
class QPlainTextEdit;

class CAreaMenu : public QObject {
    Q_OBJECT  // found again among the area's children by its type
        public :
        // The area's menu, made at the first call; it lives as long as the area.
        static CAreaMenu&
        Of(QPlainTextEdit* area);

    void AddEntries(std::function<void(QMenu&)> entries);
    // The menu a right click opens.
    std::unique_ptr<QMenu> Build() const;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    explicit CAreaMenu(QPlainTextEdit* area);

    QPlainTextEdit* m_area;
    std::vector<std::function<void(QMenu&)>> m_entries;
};
