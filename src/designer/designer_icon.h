// The template editor's icon, drawn by code: a photo with a dashed layer box
// and a pen setting a letter into it.
#pragma once

#include <QIcon>

class QPainter;

namespace imprimo {

QIcon DesignerIcon();

// Paints the icon into the square (0, 0)-(size, size) of the painter.
void PaintDesignerIcon(QPainter& p, double size);

}  // namespace imprimo
