// Qt's own texts (the edits' context menus, the file dialogs, the standard buttons) in Chinese, to match
// the window's. They come from Qt's translation files, qtbase_zh_CN.qm, which Debian ships in
// qt6-translations-l10n. Without the file Qt's texts stay English and nothing else changes.
#pragma once

#include <QStringList>

class QCoreApplication;
class QTranslator;

// Qt's translation folder, then a "translations" folder beside the program (where a package for a system
// without Qt's folder can put the file).
QStringList QtTranslationFolders();

// Loads qtbase_zh_CN from the first folder that has it and installs it in app, which owns it. nullptr when
// no folder has a loadable file.
QTranslator* InstallQtTranslations(QCoreApplication& app,
                                   const QStringList& folders = QtTranslationFolders());
