#include "gui/imaging_graphic.h"

#include <QIODevice>
#include <QImageIOHandler>
#include <QImageIOPlugin>
#include <QVariant>
#include <QtPlugin>
#include <cstring>
#include <span>

#include "exif/exif_reader.h"
#include "exif/source_metadata.h"
#include "imaging/file_format.h"
#include "imaging/imaging_stream.h"
#include "imaging/raster_image.h"

namespace imprimo {

QImage DecodeWithImagingLayer(const QByteArray& bytes) {
  try {
    TMemoryStream stream(std::vector<uint8_t>(bytes.begin(), bytes.end()));
    RasterImage image;
    if (!ReadImageStream(stream, image)) return {};
    if (!ImageConvert(image, ifA8R8G8B8)) return {};
    // A8R8G8B8 rows are B, G, R, A bytes: Qt's ARGB32 on a little-endian host.
    QImage out(image.Width, image.Height, QImage::Format_ARGB32);
    if (out.isNull()) return {};
    const size_t rowBytes = static_cast<size_t>(image.Width) * 4;
    for (int y = 0; y < image.Height; ++y) std::memcpy(out.scanLine(y), image.Row(y), rowBytes);
    return out;
  } catch (const std::exception&) {
    return {};
  }
}

QImageIOHandler::Transformations ExifOrientationToTransformation(int orientation) {
  switch (orientation) {
    case 2:
      return QImageIOHandler::TransformationMirror;
    case 3:
      return QImageIOHandler::TransformationRotate180;
    case 4:
      return QImageIOHandler::TransformationFlip;
    case 5:
      return QImageIOHandler::TransformationFlipAndRotate90;
    case 6:
      return QImageIOHandler::TransformationRotate90;
    case 7:
      return QImageIOHandler::TransformationMirrorAndRotate90;
    case 8:
      return QImageIOHandler::TransformationRotate270;
    default:
      return QImageIOHandler::TransformationNone;
  }
}

namespace {

// Bytes read to recognise a picture by content; every content test of the
// layer looks at a short fixed header.
constexpr qint64 kProbeBytes = 4096;

bool DeviceHoldsKnownImage(QIODevice* device) {
  if (!device || !device->isReadable()) return false;
  const QByteArray head = device->peek(kProbeBytes);
  if (head.isEmpty()) return false;
  try {
    TMemoryStream stream(std::vector<uint8_t>(head.begin(), head.end()));
    return !DetectStreamFormat(stream).empty();
  } catch (const std::exception&) {
    return false;
  }
}

// The EXIF metadata of a JPEG lies in its first segments, each at most 64 KB.
constexpr qint64 kMetadataProbeBytes = 6 * 65536;

class TImagingGraphicHandler : public QImageIOHandler {
 public:
  bool canRead() const override {
    if (!DeviceHoldsKnownImage(device())) return false;
    setFormat(QByteArrayLiteral("imaging"));
    return true;
  }

  bool read(QImage* image) override {
    if (!device()) return false;
    const QByteArray bytes = device()->readAll();
    orientation_ = OrientationOf(bytes);
    QImage decoded = DecodeWithImagingLayer(bytes);
    if (decoded.isNull()) return false;
    *image = std::move(decoded);
    return true;
  }

  // Readers that ask for it (QImageReader::setAutoTransform) get the picture
  // turned upright as its EXIF Orientation says.
  bool supportsOption(ImageOption option) const override { return option == ImageTransformation; }

  QVariant option(ImageOption option) const override {
    if (option != ImageTransformation) return {};
    if (orientation_ < 0)
      orientation_ = device() ? OrientationOf(device()->peek(kMetadataProbeBytes)) : 0;
    return static_cast<int>(ExifOrientationToTransformation(orientation_));
  }

 private:
  static int OrientationOf(const QByteArray& bytes) {
    const std::span<const uint8_t> data(reinterpret_cast<const uint8_t*>(bytes.data()),
                                        static_cast<size_t>(bytes.size()));
    TimgData reader;
    if (reader.ReadMetadata(data)) return reader.Orientation();
    // HEIF, AVIF, WebP and TIFF pictures keep their EXIF block elsewhere.
    return ContainerOrientation(data);
  }

  mutable int orientation_ = -1;  // not known yet
};

bool IsLayerExtension(const QByteArray& format) {
  const std::string wanted = format.toLower().toStdString();
  for (TImageFileFormat* f : ImageFileFormats())
    for (const std::string& ext : f->Extensions())
      if (ext == wanted) return true;
  return false;
}

}  // namespace

class TImagingGraphicPlugin : public QImageIOPlugin {
  Q_OBJECT
  Q_PLUGIN_METADATA(IID QImageIOHandlerFactoryInterface_iid FILE "imaging_graphic.json")

 public:
  Capabilities capabilities(QIODevice* device, const QByteArray& format) const override {
    // Reading only: saving from the windows is never needed, and runs write
    // through the layer directly.
    if (!format.isEmpty() && format != "imaging" && !IsLayerExtension(format)) return {};
    if (device && device->isOpen() && !DeviceHoldsKnownImage(device)) return {};
    return CanRead;
  }

  QImageIOHandler* create(QIODevice* device, const QByteArray& format) const override {
    auto* handler = new TImagingGraphicHandler;
    handler->setDevice(device);
    handler->setFormat(format);
    return handler;
  }
};

void RegisterImagingGraphic() {
  // Referencing this function from the windows keeps this file, and with it
  // the static plugin and its import below, in the program.
}

}  // namespace imprimo

Q_IMPORT_PLUGIN(TImagingGraphicPlugin)

#include "imaging_graphic.moc"
