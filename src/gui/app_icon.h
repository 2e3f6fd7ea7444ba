// The program's icon, drawn by code so no image file is needed: the window
// takes it at start, and the build renders it into the desktop's icon theme.
#pragma once

#include <QIcon>

class QPainter;

namespace imprimo {

QIcon AppIcon();

// Paints the icon into the square (0, 0)-(size, size) of the painter.
void PaintAppIcon(QPainter& p, double size);

}  // namespace imprimo
