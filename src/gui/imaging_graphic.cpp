#include "gui/imaging_graphic.h"

#include <QIODevice>
#include <QImageIOHandler>
#include <QImageIOPlugin>
#include <QtPlugin>
#include <cstring>

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

class TImagingGraphicHandler : public QImageIOHandler {
 public:
  bool canRead() const override {
    if (!DeviceHoldsKnownImage(device())) return false;
    setFormat(QByteArrayLiteral("imaging"));
    return true;
  }

  bool read(QImage* image) override {
    if (!device()) return false;
    QImage decoded = DecodeWithImagingLayer(device()->readAll());
    if (decoded.isNull()) return false;
    *image = std::move(decoded);
    return true;
  }
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
