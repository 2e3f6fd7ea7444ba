// Hooks the image file layer into Qt's picture loading: once registered,
// QImage and QImageReader decode every format of the layer (by file
// extension, or by content when the name says nothing), so pictures the
// windows load by file name go through the same decoders as a run.
#pragma once

#include <QImage>
#include <QImageIOHandler>
#include <QString>

namespace imprimo {

// Description of the picture class shown to the toolkit.
inline constexpr const char* kImagingGraphicDescription = "Imaging Graphic AllInOne";

// Makes sure the static picture plugin is linked in and known to Qt; safe to
// call more than once.
void RegisterImagingGraphic();

// Decodes image file bytes through the layer into a 32-bit QImage; a null
// QImage when the bytes are no image the layer knows or fail to decode.
QImage DecodeWithImagingLayer(const QByteArray& bytes);

// The toolkit's transformation that makes a picture with this EXIF
// Orientation upright; none for 1 and for values outside 1..8.
QImageIOHandler::Transformations ExifOrientationToTransformation(int orientation);

}  // namespace imprimo
