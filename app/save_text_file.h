// Saving a result the user asked for (a diagnosis, a signal survey) through the same safe write as the
// profile export: never through a link, never over a file that is not a regular one, readable by its
// owner only. A refusal or failure is said in a box; true when the file was written.
#pragma once

#include <QString>
#include <string_view>

class QWidget;

bool SaveTextFile(QWidget* parent, const QString& path, std::string_view content);
