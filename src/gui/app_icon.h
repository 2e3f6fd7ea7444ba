// The program's window icon, drawn at start so no image file is needed.
#pragma once

#include <QIcon>

namespace imprimo {

QIcon AppIcon();

}  // namespace imprimo
