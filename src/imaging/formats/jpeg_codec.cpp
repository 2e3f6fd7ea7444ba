#include "imaging/formats/jpeg_codec.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

// The library's header needs size_t and FILE declared first.
#include <jerror.h>
#include <jpeglib.h>
#include <lcms2.h>

#include "imaging/icc_profile.h"
#include "imaging/pixel_convert.h"

namespace imprimo {
namespace {

// Library errors jump back to the setjmp point of the call in progress; the
// library itself never terminates the process and never prints.
struct TErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
  EImagingErrorKind kind;
};

[[noreturn]] void ErrorExit(j_common_ptr cinfo) {
  auto* err = reinterpret_cast<TErrorManager*>(cinfo->err);
  if (err->message[0] == 0) {
    (*cinfo->err->format_message)(cinfo, err->message);
    const int code = cinfo->err->msg_code;
    err->kind =
        code == JWRN_JPEG_EOF || code == JERR_INPUT_EMPTY || code == JERR_INPUT_EOF
            ? EImagingErrorKind::Truncated
        : code == JERR_OUT_OF_MEMORY || code == JERR_IMAGE_TOO_BIG ? EImagingErrorKind::TooLarge
        : code == JERR_NOT_COMPILED || code == JERR_ARITH_NOTIMPL  ? EImagingErrorKind::Unsupported
                                                                   : EImagingErrorKind::Invalid;
  }
  std::longjmp(err->jump, 1);
}

void EmitMessage(j_common_ptr cinfo, int level) {
  // Data that ends before the image is complete is an error: the library
  // would otherwise pad the picture with gray and report success.
  if (level < 0 && cinfo->err->msg_code == JWRN_JPEG_EOF) ErrorExit(cinfo);
  if (level < 0) cinfo->err->num_warnings++;
}

// Most scans a file may have. Progressive files use about ten; thousands of
// tiny scans only make the decoder rework the whole image again and again.
constexpr int kMaxScans = 1000;

// Called at every start of scan and row group while the library reads.
void ProgressMonitor(j_common_ptr cinfo) {
  if (!cinfo->is_decompressor) return;
  auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
  if (d->input_scan_number > kMaxScans) {
    auto* err = reinterpret_cast<TErrorManager*>(cinfo->err);
    std::snprintf(err->message, sizeof err->message, "JPEG file has more than %d scans", kMaxScans);
    err->kind = EImagingErrorKind::TooLarge;
    std::longjmp(err->jump, 1);
  }
}

void OutputMessage(j_common_ptr) {}

void InstallErrorManager(TErrorManager& err) {
  jpeg_std_error(&err.pub);
  err.pub.error_exit = ErrorExit;
  err.pub.emit_message = EmitMessage;
  err.pub.output_message = OutputMessage;
  err.message[0] = 0;
  err.kind = EImagingErrorKind::Invalid;
}

void SetMessage(TErrorManager& err, const std::string& text,
                EImagingErrorKind kind = EImagingErrorKind::Invalid) {
  std::snprintf(err.message, sizeof err.message, "%s", text.c_str());
  err.kind = kind;
}

// Fewest bytes Huffman-coded data can take for a frame: every 8x8 block of a
// component costs at least one bit. Arithmetic coding has no such floor.
uint64_t MinimumHuffmanBytes(const jpeg_decompress_struct& c) {
  uint64_t fewest = UINT64_MAX;
  for (int i = 0; i < c.num_components; ++i) {
    const jpeg_component_info& ci = c.comp_info[i];
    uint64_t cw = (uint64_t(c.image_width) * ci.h_samp_factor + c.max_h_samp_factor - 1) /
                  c.max_h_samp_factor;
    uint64_t ch = (uint64_t(c.image_height) * ci.v_samp_factor + c.max_v_samp_factor - 1) /
                  c.max_v_samp_factor;
    uint64_t blocks = ((cw + 7) / 8) * ((ch + 7) / 8);
    fewest = std::min(fewest, blocks / 8);
  }
  return fewest == UINT64_MAX ? 0 : fewest;
}

// A colour transform from a CMYK profile to sRGB, used for CMYK files that
// embed one. The samples are taken as stored inverted, as the loader's own
// formula takes them.
class TCmykTransform {
 public:
  TCmykTransform() = default;
  TCmykTransform(const TCmykTransform&) = delete;
  TCmykTransform& operator=(const TCmykTransform&) = delete;
  ~TCmykTransform() {
    if (transform_) cmsDeleteTransform(transform_);
  }
  bool Create(const std::string& profile) {
    if (IccColourSpace(profile) != kIccCmyk) return false;
    cmsHPROFILE in = cmsOpenProfileFromMem(profile.data(), cmsUInt32Number(profile.size()));
    if (!in) return false;
    cmsHPROFILE out = cmsCreate_sRGBProfile();
    if (out && cmsGetColorSpace(in) == cmsSigCmykData)
      transform_ = cmsCreateTransform(in, TYPE_CMYK_8_REV, out, TYPE_BGRA_8, INTENT_PERCEPTUAL,
                                      cmsFLAGS_NOOPTIMIZE);
    cmsCloseProfile(in);
    if (out) cmsCloseProfile(out);
    return transform_ != nullptr;
  }
  explicit operator bool() const { return transform_ != nullptr; }
  void Apply(const uint8_t* cmyk, int count, uint8_t* bgra) const {
    cmsDoTransform(transform_, cmyk, bgra, cmsUInt32Number(count));
    for (int i = 0; i < count; ++i) bgra[i * 4 + 3] = 255;
  }

 private:
  cmsHTRANSFORM transform_ = nullptr;
};

// The profile carried by the APP2 markers the library kept.
std::string SavedIccProfile(const jpeg_decompress_struct& c) {
  std::vector<TIccChunk> chunks;
  for (jpeg_saved_marker_ptr m = c.marker_list; m; m = m->next) {
    if (m->marker != JPEG_APP0 + 2 || m->data_length < 14 ||
        std::memcmp(m->data, "ICC_PROFILE\0", 12) != 0)
      continue;
    TIccChunk chunk;
    chunk.Sequence = m->data[12];
    chunk.Count = m->data[13];
    chunk.Data.assign(reinterpret_cast<const char*>(m->data) + 14, m->data_length - 14);
    chunks.push_back(std::move(chunk));
  }
  return chunks.empty() ? std::string() : JoinIccChunks(std::move(chunks));
}

struct TDecoder {
  TErrorManager err;
  jpeg_progress_mgr progress{};
  jpeg_decompress_struct cinfo;
  bool created = false;
  ~TDecoder() {
    if (created) jpeg_destroy_decompress(&cinfo);
  }
};

// Runs the library; returns false (with err.message set) when it failed.
bool RunDecode(TDecoder& d, std::span<const uint8_t> data, RasterImage& result,
               std::vector<uint8_t>& cmykRow, TCmykTransform& cmykTransform, int minWidth = 0,
               int minHeight = 0) {
  if (setjmp(d.err.jump)) return false;
  jpeg_create_decompress(&d.cinfo);
  d.created = true;
  // The library's own working memory stays inside the layer's byte limit.
  d.cinfo.mem->max_memory_to_use = kMaxImageBytes;
  d.progress.progress_monitor = ProgressMonitor;
  d.cinfo.progress = &d.progress;
  jpeg_save_markers(&d.cinfo, JPEG_APP0 + 2, 0xFFFF);
  jpeg_mem_src(&d.cinfo, data.data(), static_cast<unsigned long>(data.size()));
  jpeg_read_header(&d.cinfo, TRUE);
  jpeg_decompress_struct& c = d.cinfo;

  try {
    CheckImageLimits(c.image_width, c.image_height, ifA8R8G8B8);
  } catch (const EImagingError& e) {
    SetMessage(d.err, std::string("JPEG image is larger than supported: ") + e.what(), e.Kind());
    return false;
  }
  // Arithmetic coding can code a blank block in a fraction of a bit, so there
  // only the general proportion holds.
  if ((!c.arith_code && MinimumHuffmanBytes(c) > data.size()) ||
      int64_t{c.image_width} * c.image_height > PixelsInProportion(data.size())) {
    SetMessage(d.err, "JPEG data is too short for its image size", EImagingErrorKind::Truncated);
    return false;
  }

  TImageFormat format;
  switch (c.jpeg_color_space) {
    case JCS_GRAYSCALE:
      c.out_color_space = JCS_GRAYSCALE;
      format = ifGray8;
      break;
    case JCS_CMYK:
    case JCS_YCCK:
      c.out_color_space = JCS_CMYK;
      format = ifA8R8G8B8;
      cmykTransform.Create(SavedIccProfile(c));
      break;
    default:
      // R8G8B8 keeps blue first, which the library can produce directly.
      c.out_color_space = JCS_EXT_BGR;
      format = ifR8G8B8;
      break;
  }
  // A reduced decode takes the smallest of 1/8, 1/4 and 1/2 that still
  // covers the size asked for; the library scales inside its inverse DCT.
  unsigned denom = 1;
  if (minWidth > 0 || minHeight > 0) {
    for (const unsigned d8 : {8u, 4u, 2u}) {
      if ((c.image_width + d8 - 1) / d8 >= unsigned(std::max(minWidth, 1)) &&
          (c.image_height + d8 - 1) / d8 >= unsigned(std::max(minHeight, 1))) {
        denom = d8;
        break;
      }
    }
  }
  c.scale_num = 1;
  c.scale_denom = denom;
  jpeg_start_decompress(&c);
  if (denom == 1 &&
      (int(c.output_width) != int(c.image_width) || int(c.output_height) != int(c.image_height))) {
    SetMessage(d.err, "Unexpected JPEG output size");
    return false;
  }
  // Every row is written below, or the decode fails.
  ImageCreateForOverwrite(result, int32_t(c.output_width), int32_t(c.output_height), format);

  if (format == ifA8R8G8B8) {
    cmykRow.resize(size_t(c.output_width) * 4);
    JSAMPROW row = cmykRow.data();
    while (c.output_scanline < c.output_height) {
      int y = int(c.output_scanline);
      if (jpeg_read_scanlines(&c, &row, 1) != 1) break;
      if (cmykTransform)
        cmykTransform.Apply(cmykRow.data(), int(c.output_width), result.Row(y));
      else
        JpegCmykToBgra(cmykRow.data(), int(c.output_width), result.Row(y));
    }
  } else {
    JSAMPROW rows[16];
    while (c.output_scanline < c.output_height) {
      int y = int(c.output_scanline);
      int n = std::min<int>(16, int(c.output_height) - y);
      for (int i = 0; i < n; ++i) rows[i] = result.Row(y + i);
      if (jpeg_read_scanlines(&c, rows, JDIMENSION(n)) == 0) break;
    }
  }
  if (c.output_scanline < c.output_height) {
    SetMessage(d.err, "JPEG data ended before the image was complete");
    return false;
  }
  jpeg_finish_decompress(&c);
  return true;
}

// Destination manager writing into an imaging stream through a buffer.
struct TStreamDestination {
  jpeg_destination_mgr pub;
  TImagingStream* stream;
  TErrorManager* err;
  std::vector<uint8_t>* buffer;
};

void InitDestination(j_compress_ptr cinfo) {
  auto* d = reinterpret_cast<TStreamDestination*>(cinfo->dest);
  d->pub.next_output_byte = d->buffer->data();
  d->pub.free_in_buffer = d->buffer->size();
}

void WriteOut(j_compress_ptr cinfo, size_t count) {
  auto* d = reinterpret_cast<TStreamDestination*>(cinfo->dest);
  // Exceptions must not cross the library's frames, and the jump back must
  // not start inside a handler: note the failure, leave the handler, then
  // take the library's error path.
  bool failed = false;
  try {
    d->stream->Write(d->buffer->data(), count);
  } catch (const std::exception& e) {
    SetMessage(*d->err, e.what());
    failed = true;
  } catch (...) {
    SetMessage(*d->err, "Cannot write JPEG data");
    failed = true;
  }
  if (failed) ErrorExit(reinterpret_cast<j_common_ptr>(cinfo));
}

boolean EmptyOutputBuffer(j_compress_ptr cinfo) {
  auto* d = reinterpret_cast<TStreamDestination*>(cinfo->dest);
  WriteOut(cinfo, d->buffer->size());
  d->pub.next_output_byte = d->buffer->data();
  d->pub.free_in_buffer = d->buffer->size();
  return TRUE;
}

void TermDestination(j_compress_ptr cinfo) {
  auto* d = reinterpret_cast<TStreamDestination*>(cinfo->dest);
  size_t count = d->buffer->size() - d->pub.free_in_buffer;
  if (count > 0) WriteOut(cinfo, count);
}

struct TEncoder {
  TErrorManager err;
  jpeg_compress_struct cinfo;
  bool created = false;
  ~TEncoder() {
    if (created) jpeg_destroy_compress(&cinfo);
  }
};

bool RunEncode(TEncoder& e, TStreamDestination& dest, const RasterImage& image, int quality,
               bool progressive, const TJpegWriteExtras& extras) {
  if (setjmp(e.err.jump)) return false;
  jpeg_create_compress(&e.cinfo);
  e.created = true;
  jpeg_compress_struct& c = e.cinfo;
  dest.pub.init_destination = InitDestination;
  dest.pub.empty_output_buffer = EmptyOutputBuffer;
  dest.pub.term_destination = TermDestination;
  c.dest = &dest.pub;

  c.image_width = JDIMENSION(image.Width);
  c.image_height = JDIMENSION(image.Height);
  if (image.Format == ifGray8) {
    c.input_components = 1;
    c.in_color_space = JCS_GRAYSCALE;
  } else {
    c.input_components = 3;
    c.in_color_space = JCS_EXT_BGR;
  }
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, quality, TRUE);
  if (progressive) jpeg_simple_progression(&c);
  if (c.num_components == 3 && (extras.Subsampling == 1 || extras.Subsampling == 2)) {
    c.comp_info[0].h_samp_factor = extras.Subsampling == 1 ? 2 : 1;
    c.comp_info[0].v_samp_factor = 1;
  }
  if (extras.DensityUnit >= 0 && extras.DensityUnit <= 2 && extras.DensityX >= 1 &&
      extras.DensityX <= 65535 && extras.DensityY >= 1 && extras.DensityY <= 65535) {
    c.density_unit = static_cast<UINT8>(extras.DensityUnit);
    c.X_density = static_cast<UINT16>(extras.DensityX);
    c.Y_density = static_cast<UINT16>(extras.DensityY);
  }
  jpeg_start_compress(&c, TRUE);
  JSAMPROW rows[16];
  while (c.next_scanline < c.image_height) {
    int y = int(c.next_scanline);
    int n = std::min<int>(16, image.Height - y);
    for (int i = 0; i < n; ++i) rows[i] = const_cast<JSAMPROW>(image.Row(y + i));
    jpeg_write_scanlines(&c, rows, JDIMENSION(n));
  }
  jpeg_finish_compress(&c);
  return true;
}

}  // namespace

void JpegCmykToBgra(const uint8_t* cmyk, int count, uint8_t* bgra) {
  for (int i = 0; i < count; ++i, cmyk += 4, bgra += 4) {
    const int k = 255 - cmyk[3];
    int rgb[3];
    for (int ch = 0; ch < 3; ++ch) {
      const int v = 255 - cmyk[ch];
      const int out = 255 - (v - v * k / 255) - k;
      rgb[ch] = out < 0 ? 0 : out;
    }
    bgra[0] = uint8_t(rgb[2]);
    bgra[1] = uint8_t(rgb[1]);
    bgra[2] = uint8_t(rgb[0]);
    bgra[3] = 255;
  }
}

void DecodeJpeg(std::span<const uint8_t> data, RasterImage& image) {
  DecodeJpegReduced(data, 0, 0, image);
}

void DecodeJpegReduced(std::span<const uint8_t> data, int minWidth, int minHeight,
                       RasterImage& image) {
  if (data.size() < 2 || data[0] != 0xFF || data[1] != 0xD8) throw EImagingError("Not a JPEG file");
  TDecoder d;
  InstallErrorManager(d.err);
  d.cinfo.err = &d.err.pub;
  RasterImage result;
  std::vector<uint8_t> cmykRow;
  TCmykTransform cmykTransform;
  if (!RunDecode(d, data, result, cmykRow, cmykTransform, minWidth, minHeight))
    throw EImagingError(d.err.message, d.err.kind);
  image = std::move(result);
}

void EncodeJpeg(const RasterImage& image, int quality, bool progressive, TImagingStream& out) {
  EncodeJpeg(image, quality, progressive, TJpegWriteExtras{}, out);
}

void EncodeJpeg(const RasterImage& image, int quality, bool progressive,
                const TJpegWriteExtras& extras, TImagingStream& out) {
  if (!ImageIsValid(image) || (image.Format != ifGray8 && image.Format != ifR8G8B8) ||
      image.Width <= 0 || image.Height <= 0 || image.Width > 65535 || image.Height > 65535)
    throw EImagingError("JPEG cannot store this image as it stands");
  if (quality < 1 || quality > 100) quality = 90;
  TEncoder e;
  InstallErrorManager(e.err);
  e.cinfo.err = &e.err.pub;
  std::vector<uint8_t> buffer(1 << 16);
  TStreamDestination dest{};
  dest.stream = &out;
  dest.err = &e.err;
  dest.buffer = &buffer;
  if (!RunEncode(e, dest, image, quality, progressive, extras)) throw EImagingError(e.err.message);
}

}  // namespace imprimo
