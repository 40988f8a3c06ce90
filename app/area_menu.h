// The context menus of the terminal's text areas: the edit's own entries (copy, select all, ...) and,
// after a separator, entries the panels add. Each caller adds its own; they appear in the order added.
#pragma once

#include <QPoint>
#include <functional>
#include <memory>

class QMenu;
class QPlainTextEdit;

void ExtendContextMenu(QPlainTextEdit* edit, std::function<void(QMenu&)> addEntries);

// The menu a right click at pos (in the edit's viewport) opens; for tests, which cannot click into exec().
std::unique_ptr<QMenu> BuildContextMenu(QPlainTextEdit* edit, QPoint pos);
