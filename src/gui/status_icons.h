// The small pictures of the image list's rows, drawn in code so that they
// look the same on every desktop theme.
#pragma once

#include <QIcon>

namespace imprimo {

// Row status icons by index: 0 failed (red cross), 1 succeeded (green tick),
// 2 waiting (two blue squares), 3 being processed (blue triangle).
constexpr int kStatusIconCount = 4;
QIcon StatusIcon(int index);  // a null icon for an index outside 0..3

// Item data of a row's first cell: why its image failed (empty otherwise).
constexpr int kFailReasonRole = Qt::UserRole + 2;

}  // namespace imprimo
