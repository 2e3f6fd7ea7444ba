// The open dialog of the add-files command: several pictures at once, with
// a preview of the file under the cursor.
#pragma once

#include <QString>
#include <QStringList>

class QWidget;

namespace imprimo {

// Shows the dialog in startFolder with the given filter list; returns the
// chosen files, none when cancelled.
QStringList ExecOpenPictureDialog(QWidget* parent, const QString& startFolder,
                                  const QString& filters);

}  // namespace imprimo
