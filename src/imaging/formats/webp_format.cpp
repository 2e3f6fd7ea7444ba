// WebP through libwebp. The canvas size that the file declares is checked
// against the image record's limits, and against the data that has to stand
// for it, before the decoder allocates anything.
#include "imaging/formats/webp_format.h"

#include <webp/decode.h>
#include <webp/demux.h>
#include <webp/encode.h>
#include <webp/mux.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "imaging/file_format.h"
#include "imaging/formats/format_factories.h"
#include "imaging/formats/simple_format.h"
#include "imaging/library_handle.h"

namespace imprimo {

namespace {

const char* StatusText(VP8StatusCode status) {
  switch (status) {
    case VP8_STATUS_OUT_OF_MEMORY:
      return "out of memory";
    case VP8_STATUS_INVALID_PARAM:
      return "invalid parameter";
    case VP8_STATUS_BITSTREAM_ERROR:
      return "corrupt data";
    case VP8_STATUS_UNSUPPORTED_FEATURE:
      return "unsupported feature";
    case VP8_STATUS_NOT_ENOUGH_DATA:
      return "the file is truncated";
    default:
      return "decoding failed";
  }
}

const char* EncodeErrorText(WebPEncodingError error) {
  switch (error) {
    case VP8_ENC_ERROR_OUT_OF_MEMORY:
    case VP8_ENC_ERROR_BITSTREAM_OUT_OF_MEMORY:
      return "out of memory";
    case VP8_ENC_ERROR_BAD_DIMENSION:
      return "the picture is larger than 16383 pixels on a side";
    case VP8_ENC_ERROR_PARTITION0_OVERFLOW:
    case VP8_ENC_ERROR_PARTITION_OVERFLOW:
      return "the coded data is too large";
    default:
      return "encoding failed";
  }
}

std::string ChunkText(const WebPData& d) {
  return std::string(reinterpret_cast<const char*>(d.bytes), d.size);
}

}  // namespace

bool IsWebPSignature(std::span<const uint8_t> h) {
  return h.size() >= 12 && std::memcmp(h.data(), "RIFF", 4) == 0 &&
         std::memcmp(h.data() + 8, "WEBP", 4) == 0;
}

RasterImage DecodeWebP(std::span<const uint8_t> data) {
  WebPBitstreamFeatures features;
  const VP8StatusCode status = WebPGetFeatures(data.data(), data.size(), &features);
  if (status != VP8_STATUS_OK)
    throw EImagingError(std::string("Invalid WebP file: ") + StatusText(status));
  const int w = features.width, h = features.height;
  if (w <= 0 || h <= 0)
    throw EImagingError("WebP image size " + std::to_string(w) + " x " + std::to_string(h) +
                            " is outside the supported range",
                        EImagingErrorKind::Invalid);
  CheckImageLimits(w, h, ifA8R8G8B8);
  // A lossless picture whose prefix codes have one symbol each takes no bits
  // a pixel, so a few dozen bytes can declare, and fill, the largest picture.
  CheckDataInProportion(w, h, data.size(), "WebP data is too short for the declared picture size");

  RasterImage out;
  if (features.has_animation) {
    // The first frame drawn on the canvas, as a viewer shows it first.
    WebPAnimDecoderOptions options;
    if (!WebPAnimDecoderOptionsInit(&options))
      throw EImagingError("WebP animation decoder unavailable");
    options.color_mode = MODE_BGRA;
    options.use_threads = 0;
    WebPData wd{data.data(), data.size()};
    TLibraryPtr<WebPAnimDecoder, WebPAnimDecoderDelete> dec(WebPAnimDecoderNew(&wd, &options));
    if (!dec) throw EImagingError("Invalid WebP animation");
    WebPAnimInfo info;
    if (!WebPAnimDecoderGetInfo(dec.get(), &info) || int(info.canvas_width) != w ||
        int(info.canvas_height) != h || info.frame_count == 0)
      throw EImagingError("Invalid WebP animation: inconsistent canvas");
    uint8_t* canvas = nullptr;
    int timestamp = 0;
    if (!WebPAnimDecoderGetNext(dec.get(), &canvas, &timestamp) || !canvas)
      throw EImagingError("Invalid WebP animation: the first frame does not decode");
    ImageCreate(out, w, h, ifA8R8G8B8);
    std::memcpy(out.Bits.get(), canvas, static_cast<size_t>(out.Size));
    return out;
  }

  const bool alpha = features.has_alpha != 0;
  ImageCreate(out, w, h, alpha ? ifA8R8G8B8 : ifR8G8B8);
  const int stride = w * (alpha ? 4 : 3);
  const uint8_t* done =
      alpha ? WebPDecodeBGRAInto(data.data(), data.size(), out.Bits.get(), size_t(out.Size), stride)
            : WebPDecodeBGRInto(data.data(), data.size(), out.Bits.get(), size_t(out.Size), stride);
  if (!done) throw EImagingError("Invalid WebP file: the picture data does not decode");
  return out;
}

TWebPMetadata ReadWebPMetadata(std::span<const uint8_t> data) {
  TWebPMetadata m;
  WebPData wd{data.data(), data.size()};
  TLibraryPtr<WebPDemuxer, WebPDemuxDelete> demux(WebPDemux(&wd));
  if (!demux) return m;
  WebPChunkIterator it;
  if (WebPDemuxGetChunk(demux.get(), "EXIF", 1, &it)) {
    m.Exif = ChunkText(it.chunk);
    // Some writers keep the JPEG segment's identifier in front of the data.
    if (m.Exif.compare(0, 6, std::string("Exif\0\0", 6)) == 0) m.Exif.erase(0, 6);
    WebPDemuxReleaseChunkIterator(&it);
  }
  if (WebPDemuxGetChunk(demux.get(), "ICCP", 1, &it)) {
    m.Icc = ChunkText(it.chunk);
    WebPDemuxReleaseChunkIterator(&it);
  }
  if (WebPDemuxGetChunk(demux.get(), "XMP ", 1, &it)) {
    m.Xmp = ChunkText(it.chunk);
    WebPDemuxReleaseChunkIterator(&it);
  }
  return m;
}

std::vector<uint8_t> EncodeWebP(const RasterImage& image, const TWebPEncodeOptions& options) {
  const bool alpha = image.Format == ifA8R8G8B8;
  if (!alpha && image.Format != ifR8G8B8)
    throw EImagingError("WebP encoder: unsupported pixel format");
  if (image.Width > WEBP_MAX_DIMENSION || image.Height > WEBP_MAX_DIMENSION)
    throw EImagingError("WebP pictures are at most 16383 pixels on a side");
  WebPConfig config;
  if (!WebPConfigInit(&config)) throw EImagingError("WebP encoder unavailable");
  config.quality = static_cast<float>(std::clamp(options.Quality, 1, 100));
  config.lossless = options.Lossless ? 1 : 0;
  // Lossless files keep the colour under fully transparent pixels too.
  config.exact = options.Lossless ? 1 : 0;
  if (!WebPValidateConfig(&config)) throw EImagingError("WebP encoder: invalid settings");

  WebPPicture pic;
  if (!WebPPictureInit(&pic)) throw EImagingError("WebP encoder unavailable");
  pic.use_argb = options.Lossless ? 1 : 0;
  pic.width = image.Width;
  pic.height = image.Height;
  std::unique_ptr<WebPPicture, void (*)(WebPPicture*)> guard(&pic, WebPPictureFree);
  const int ok = alpha ? WebPPictureImportBGRA(&pic, image.Bits.get(), image.Width * 4)
                       : WebPPictureImportBGR(&pic, image.Bits.get(), image.Width * 3);
  if (!ok) throw EImagingError("WebP encoder: out of memory");
  WebPMemoryWriter writer;
  WebPMemoryWriterInit(&writer);
  std::unique_ptr<WebPMemoryWriter, void (*)(WebPMemoryWriter*)> writerGuard(&writer,
                                                                             WebPMemoryWriterClear);
  pic.writer = WebPMemoryWrite;
  pic.custom_ptr = &writer;
  if (!WebPEncode(&config, &pic))
    throw EImagingError(std::string("Failed to encode WebP image: ") +
                        EncodeErrorText(pic.error_code));
  return std::vector<uint8_t>(writer.mem, writer.mem + writer.size);
}

std::vector<uint8_t> SetWebPMetadata(std::span<const uint8_t> file, const TWebPMetadata& metadata) {
  WebPData wd{file.data(), file.size()};
  TLibraryPtr<WebPMux, WebPMuxDelete> mux(WebPMuxCreate(&wd, 0));
  if (!mux) throw EImagingError("Not a WebP file");
  auto set = [&](const char* id, const std::string& bytes) {
    if (bytes.empty()) {
      WebPMuxDeleteChunk(mux.get(), id);
      return;
    }
    WebPData chunk{reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()};
    if (WebPMuxSetChunk(mux.get(), id, &chunk, 1) != WEBP_MUX_OK)
      throw EImagingError(std::string("Cannot store the WebP ") + id + " chunk");
  };
  set("EXIF", metadata.Exif);
  set("ICCP", metadata.Icc);
  set("XMP ", metadata.Xmp);
  WebPData out;
  WebPDataInit(&out);
  if (WebPMuxAssemble(mux.get(), &out) != WEBP_MUX_OK)
    throw EImagingError("Cannot assemble the WebP file");
  std::vector<uint8_t> bytes(out.bytes, out.bytes + out.size);
  WebPDataClear(&out);
  return bytes;
}

namespace {

class TWebPFileFormat : public TSimpleFileFormat {
 public:
  TWebPFileFormat() : TSimpleFileFormat(DecodeWebP, IsWebPSignature, 16) {
    SetName("WebP Image");
    AddMasks("*.webp");
    SetCapabilities(true, true, false);
    SetSupportedFormats({ifR8G8B8, ifA8R8G8B8});
    RegisterOption(ImagingWebPQuality, &quality_);
    RegisterOption(ImagingWebPLossless, &lossless_);
  }

 protected:
  bool EncodeImages(TImagingStream& stream,
                    const std::vector<const RasterImage*>& images) override {
    stream.Write(EncodeWebP(*images[0], TWebPEncodeOptions{quality_, lossless_ != 0}));
    return true;
  }
  void ValidateOptions() override {
    if (quality_ < 1 || quality_ > 100) quality_ = 90;
  }
  void ConvertForSaving(RasterImage& image, const TImageFormatInfo& info) override {
    ImageConvert(image, info.HasAlphaChannel || info.IsSpecial ? ifA8R8G8B8 : ifR8G8B8);
  }

 private:
  int32_t quality_ = 90;
  int32_t lossless_ = 0;
};

}  // namespace

std::unique_ptr<TImageFileFormat> MakeWebPFileFormat() {
  return std::make_unique<TWebPFileFormat>();
}

}  // namespace imprimo
