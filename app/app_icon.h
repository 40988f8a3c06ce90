// The program's icon, drawn at start-up rather than loaded, so it ships with no image files.
#pragma once

#include <QIcon>
#include <QPixmap>

QPixmap AppIconPixmap(int size = 32);
QIcon AppIcon();
