// HEIF (HEIC) and AVIF through libheif. The library reads from memory; the
// declared size of the primary image is checked against the image record's
// limits before anything is decoded, and every library error becomes one
// error text naming the library's reason.
#include "imaging/formats/heif_format.h"

#include <libheif/heif.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <string_view>

#include "imaging/file_format.h"
#include "imaging/formats/format_factories.h"
#include "imaging/formats/simple_format.h"
#include "imaging/library_handle.h"
#include "platform/byte_reader.h"

namespace imprimo {

namespace {

using ContextPtr = TLibraryPtr<heif_context, heif_context_free>;
using HandlePtr = TLibraryPtr<heif_image_handle, heif_image_handle_release>;
using HeifImagePtr = TLibraryPtr<heif_image, heif_image_release>;
using EncoderPtr = TLibraryPtr<heif_encoder, heif_encoder_release>;

// The kind of error a library failure is: a refused size or memory request,
// a damaged file, or something the library cannot do.
EImagingErrorKind KindOf(const heif_error& err) {
  if (err.code == heif_error_Memory_allocation_error ||
      err.subcode == heif_suberror_Security_limit_exceeded)
    return EImagingErrorKind::TooLarge;
  if (err.code == heif_error_Invalid_input) return EImagingErrorKind::Invalid;
  if (err.code == heif_error_Unsupported_filetype || err.code == heif_error_Unsupported_feature)
    return EImagingErrorKind::Unsupported;
  return EImagingErrorKind::Other;
}

void Check(const heif_error& err, const char* what) {
  if (err.code == heif_error_Ok) return;
  std::string text = what;
  if (err.message && *err.message) text += std::string(": ") + err.message;
  throw EImagingError(text, KindOf(err));
}

bool IsHeicBrand(std::string_view b) {
  return b == "heic" || b == "heix" || b == "hevc" || b == "hevx" || b == "heim" || b == "heis" ||
         b == "hevm" || b == "hevs";
}
bool IsAvifBrand(std::string_view b) { return b == "avif" || b == "avis"; }
bool IsGeneralBrand(std::string_view b) { return b == "mif1" || b == "msf1"; }

// A context holding the file's boxes with the size limit set; throws for
// files the library refuses.
ContextPtr OpenContext(std::span<const uint8_t> data) {
  ContextPtr ctx(heif_context_alloc());
  if (!ctx) throw EImagingError("Out of memory for the HEIF decoder");
  heif_context_set_maximum_image_size_limit(ctx.get(), kMaxImageSide);
  Check(heif_context_read_from_memory_without_copy(ctx.get(), data.data(), data.size(), nullptr),
        "Invalid HEIF file");
  return ctx;
}

HandlePtr PrimaryHandle(heif_context* ctx) {
  heif_image_handle* h = nullptr;
  Check(heif_context_get_primary_image_handle(ctx, &h), "HEIF file without a primary image");
  return HandlePtr(h);
}

// The TIFF data of an Exif item: a 32-bit offset to the TIFF header, then
// whatever precedes it (usually "Exif\0\0"), then the header.
std::string ExifTiffData(const std::vector<uint8_t>& item) {
  auto isTiff = [&](size_t p) {
    return p + 8 <= item.size() &&
           ((item[p] == 'I' && item[p + 1] == 'I' && item[p + 2] == 42 && item[p + 3] == 0) ||
            (item[p] == 'M' && item[p + 1] == 'M' && item[p + 2] == 0 && item[p + 3] == 42));
  };
  size_t start = std::string::npos;
  if (item.size() >= 4) {
    const uint64_t offset = LoadU32BE(item.data());
    if (isTiff(4 + offset)) start = 4 + static_cast<size_t>(offset);
  }
  // Some writers get the offset wrong; the header is then looked for.
  for (size_t p = 0; start == std::string::npos && p < std::min<size_t>(item.size(), 64); ++p)
    if (isTiff(p)) start = p;
  if (start == std::string::npos) return std::string();
  return std::string(reinterpret_cast<const char*>(item.data()) + start, item.size() - start);
}

std::vector<uint8_t> MetadataBlock(heif_image_handle* h, heif_item_id id) {
  const size_t size = heif_image_handle_get_metadata_size(h, id);
  // A metadata item larger than the file is impossible; a sane ceiling
  // keeps a lying header from asking for gigabytes.
  if (size == 0 || size > (64u << 20)) return {};
  std::vector<uint8_t> data(size);
  if (heif_image_handle_get_metadata(h, id, data.data()).code != heif_error_Ok) return {};
  return data;
}

heif_error WriteToVector(heif_context*, const void* data, size_t size, void* user) {
  auto* out = static_cast<std::vector<uint8_t>*>(user);
  const auto* p = static_cast<const uint8_t*>(data);
  out->insert(out->end(), p, p + size);
  return heif_error{heif_error_Ok, heif_suberror_Unspecified, "Success"};
}

// ---- Derived pictures ----

// A grid or overlay picture is composed on a canvas whose size its own
// descriptor gives, not the size the library reports for its handle; the
// library allocates that canvas, in every plane and again for the colour
// conversion, before anything is drawn. The descriptor is found here through
// the file's boxes, so its size passes the limits first.

struct TBox {
  uint32_t type = 0;
  TByteReader body{std::span<const uint8_t>()};
};

constexpr uint32_t FourCc(const char (&s)[5]) {
  return uint32_t(uint8_t(s[0])) << 24 | uint32_t(uint8_t(s[1])) << 16 |
         uint32_t(uint8_t(s[2])) << 8 | uint8_t(s[3]);
}

// The next box of r, its body bounded by its size; false at the end.
bool NextBox(TByteReader& r, TBox& box) {
  if (r.Remaining() < 8) return false;
  uint64_t size = r.U32BE();
  box.type = r.U32BE();
  size_t header = 8;
  if (size == 1) {
    size = uint64_t{r.U32BE()} << 32;
    size |= r.U32BE();
    header = 16;
  } else if (size == 0) {
    size = header + r.Remaining();
  }
  if (size < header || size - header > r.Remaining()) throw ETruncatedData();
  box.body = r.Sub(size_t(size - header));
  return true;
}

uint64_t ReadSized(TByteReader& r, int bytes) {
  uint64_t v = 0;
  for (int i = 0; i < bytes; ++i) v = v << 8 | r.U8();
  return v;
}

struct TItemPlace {
  int method = 0;  // 0 file offset, 1 the item data box
  uint64_t offset = 0, length = 0;
};

// Where the first extent of item id lies, from an item location box.
bool FindItemPlace(TByteReader r, uint32_t id, TItemPlace& place) {
  const uint8_t version = r.U8();
  r.Skip(3);
  const uint8_t sizes = r.U8(), sizes2 = r.U8();
  const int offsetSize = sizes >> 4, lengthSize = sizes & 15, baseSize = sizes2 >> 4;
  const int indexSize = version >= 1 ? sizes2 & 15 : 0;
  const uint32_t count = version < 2 ? r.U16BE() : r.U32BE();
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t item = version < 2 ? r.U16BE() : r.U32BE();
    const int method = version >= 1 ? r.U16BE() & 15 : 0;
    r.Skip(2);  // data reference index
    const uint64_t base = ReadSized(r, baseSize);
    const uint16_t extents = r.U16BE();
    for (uint16_t e = 0; e < extents; ++e) {
      ReadSized(r, indexSize);
      const uint64_t offset = ReadSized(r, offsetSize), length = ReadSized(r, lengthSize);
      if (item == id && e == 0) {
        place = {method, base + offset, length};
        return true;
      }
    }
  }
  return false;
}

// The items an item information box lists: their ids, and their types
// where the entry gives one (0 otherwise).
std::map<uint32_t, uint32_t> ItemTypes(TByteReader r) {
  std::map<uint32_t, uint32_t> items;
  const uint8_t version = r.U8();
  r.Skip(3);
  const uint32_t count = version == 0 ? r.U16BE() : r.U32BE();
  TBox infe;
  for (uint32_t i = 0; i < count && NextBox(r, infe); ++i) {
    if (infe.type != FourCc("infe")) continue;
    TByteReader& b = infe.body;
    const uint8_t v = b.U8();
    b.Skip(3);
    const uint32_t item = v == 3 ? b.U32BE() : b.U16BE();
    uint32_t type = 0;
    if (v >= 2) {
      b.Skip(2);  // protection index
      type = b.U32BE();
    }
    items.emplace(item, type);
  }
  return items;
}

// The item type of id, from an item information box.
uint32_t ItemType(TByteReader r, uint32_t id) {
  const std::map<uint32_t, uint32_t> items = ItemTypes(r);
  const auto it = items.find(id);
  return it == items.end() ? 0 : it->second;
}

// The canvas size of a grid or overlay primary picture; false for a coded
// picture, whose size the library reports truly.
bool DerivedCanvasSize(std::span<const uint8_t> data, int64_t& width, int64_t& height) {
  TByteReader file(data);
  TBox top, meta;
  while (NextBox(file, top)) {
    if (top.type != FourCc("meta")) continue;
    TByteReader& m = top.body;
    m.Skip(4);  // version and flags
    uint32_t primary = 0;
    std::optional<TByteReader> iinf, iloc;
    std::span<const uint8_t> idat;
    while (NextBox(m, meta)) {
      if (meta.type == FourCc("pitm")) {
        const uint8_t v = meta.body.U8();
        meta.body.Skip(3);
        primary = v == 0 ? meta.body.U16BE() : meta.body.U32BE();
      } else if (meta.type == FourCc("iinf")) {
        iinf = meta.body;
      } else if (meta.type == FourCc("iloc")) {
        iloc = meta.body;
      } else if (meta.type == FourCc("idat")) {
        idat = meta.body.Data();
      }
    }
    if (!iinf || !iloc) return false;
    const uint32_t type = ItemType(*iinf, primary);
    const bool grid = type == FourCc("grid");
    if (!grid && type != FourCc("iovl")) return false;
    TItemPlace place;
    if (!FindItemPlace(*iloc, primary, place)) return false;
    if (place.method > 1) return false;
    // The descriptor must lie whole inside its extent, and the extent inside
    // the file or the item data box: the library would read on past either.
    const std::span<const uint8_t> source = place.method == 1 ? idat : data;
    const uint64_t end = place.length ? place.offset + place.length : source.size();
    if (place.offset > source.size() || end > source.size() || end < place.offset)
      throw EImagingError("HEIF derived picture lies outside its data",
                          EImagingErrorKind::Truncated);
    TByteReader d(source.subspan(size_t(place.offset), size_t(end - place.offset)));
    const size_t head = grid ? 4 : 12;  // version, flags, then rows and columns or a fill colour
    if (d.Remaining() < 2 || d.Remaining() < head + ((d.Data()[1] & 1) ? 8 : 4))
      throw EImagingError("HEIF derived picture descriptor is too short",
                          EImagingErrorKind::Truncated);
    d.Skip(1);  // version
    const uint8_t flags = d.U8();
    d.Skip(head - 2);
    width = (flags & 1) ? d.U32BE() : d.U16BE();
    height = (flags & 1) ? d.U32BE() : d.U16BE();
    return true;
  }
  return false;
}

// Every picture a derived one (a grid, an overlay, an identity) is made from
// must be an item of the file: the library stops the program on a reference
// to an item that does not exist.
void CheckDerivedReferences(std::span<const uint8_t> data) {
  TByteReader file(data);
  TBox top, meta, ref;
  while (NextBox(file, top)) {
    if (top.type != FourCc("meta")) continue;
    TByteReader& m = top.body;
    m.Skip(4);  // version and flags
    std::optional<TByteReader> iinf, iref;
    while (NextBox(m, meta)) {
      if (meta.type == FourCc("iinf")) iinf = meta.body;
      if (meta.type == FourCc("iref")) iref = meta.body;
    }
    if (!iinf || !iref) return;
    const std::map<uint32_t, uint32_t> items = ItemTypes(*iinf);
    TByteReader& r = *iref;
    const bool wideIds = r.U8() != 0;
    r.Skip(3);
    while (NextBox(r, ref)) {
      if (ref.type != FourCc("dimg")) continue;
      TByteReader& b = ref.body;
      const uint32_t from = wideIds ? b.U32BE() : b.U16BE();
      const uint16_t count = b.U16BE();
      bool known = items.count(from) != 0;
      for (uint16_t i = 0; i < count && known; ++i)
        known = items.count(wideIds ? b.U32BE() : b.U16BE()) != 0;
      if (!known)
        throw EImagingError("HEIF derived picture refers to an item the file does not hold",
                            EImagingErrorKind::Invalid);
    }
    return;
  }
}

// A grid or overlay canvas passes the limits as the decoded picture in format
// would. A large one must also come with data in proportion, as the coded
// tiles covering it need. Boxes too damaged to follow are left to the library.
void CheckDerivedCanvas(std::span<const uint8_t> data, TImageFormat format) {
  int64_t w = 0, h = 0;
  try {
    CheckDerivedReferences(data);
    if (!DerivedCanvasSize(data, w, h)) return;
  } catch (const ETruncatedData&) {
    return;
  }
  if (w <= 0 || h <= 0)
    throw EImagingError("HEIF canvas size " + std::to_string(w) + " x " + std::to_string(h) +
                            " is outside the supported range",
                        EImagingErrorKind::Invalid);
  CheckImageLimits(w, h, format);
  CheckDataInProportion(w, h, data.size(), "HEIF data is too short for the declared canvas size");
}

}  // namespace

THeifBrand HeifBrand(std::span<const uint8_t> header) {
  if (header.size() < 12 || std::memcmp(header.data() + 4, "ftyp", 4) != 0) return THeifBrand::None;
  const size_t boxSize = LoadU32BE(header.data());
  if (boxSize < 16 && boxSize != 12) return THeifBrand::None;
  const std::string_view major(reinterpret_cast<const char*>(header.data()) + 8, 4);
  if (IsAvifBrand(major)) return THeifBrand::Avif;
  if (IsHeicBrand(major)) return THeifBrand::Heic;
  bool avif = false, heic = false, general = IsGeneralBrand(major);
  const size_t end = std::min(boxSize, header.size());
  for (size_t p = 16; p + 4 <= end; p += 4) {
    const std::string_view b(reinterpret_cast<const char*>(header.data()) + p, 4);
    avif = avif || IsAvifBrand(b);
    heic = heic || IsHeicBrand(b);
    general = general || IsGeneralBrand(b);
  }
  if (heic) return THeifBrand::Heic;
  if (avif) return THeifBrand::Avif;
  return general ? THeifBrand::Heic : THeifBrand::None;
}

RasterImage DecodeHeif(std::span<const uint8_t> data) {
  ContextPtr ctx = OpenContext(data);
  HandlePtr handle = PrimaryHandle(ctx.get());
  const int w = heif_image_handle_get_width(handle.get());
  const int h = heif_image_handle_get_height(handle.get());
  if (w <= 0 || h <= 0)
    throw EImagingError("HEIF image size " + std::to_string(w) + " x " + std::to_string(h) +
                            " is outside the supported range",
                        EImagingErrorKind::Invalid);
  CheckImageLimits(w, h, ifA8R8G8B8);
  CheckDataInProportion(w, h, data.size(), "HEIF data is too short for the declared picture size");
  const bool alpha = heif_image_handle_has_alpha_channel(handle.get()) != 0;
  const int bits = heif_image_handle_get_luma_bits_per_pixel(handle.get());
  const bool wide = bits > 8;
  CheckDerivedCanvas(
      data, wide ? (alpha ? ifA16R16G16B16 : ifR16G16B16) : (alpha ? ifA8R8G8B8 : ifR8G8B8));
  const heif_chroma chroma =
      wide ? (alpha ? heif_chroma_interleaved_RRGGBBAA_LE : heif_chroma_interleaved_RRGGBB_LE)
           : (alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB);

  TLibraryPtr<heif_decoding_options, heif_decoding_options_free> options(
      heif_decoding_options_alloc());
  heif_image* raw = nullptr;
  Check(heif_decode_image(handle.get(), &raw, heif_colorspace_RGB, chroma, options.get()),
        "Failed to decode HEIF image");
  HeifImagePtr img(raw);

  const int iw = heif_image_get_width(img.get(), heif_channel_interleaved);
  const int ih = heif_image_get_height(img.get(), heif_channel_interleaved);
  int stride = 0;
  const uint8_t* plane =
      heif_image_get_plane_readonly(img.get(), heif_channel_interleaved, &stride);
  if (!plane || iw <= 0 || ih <= 0 || iw > kMaxImageSide || ih > kMaxImageSide)
    throw EImagingError("Failed to decode HEIF image: no picture data");

  RasterImage out;
  const int n = alpha ? 4 : 3;
  if (!wide) {
    ImageCreate(out, iw, ih, alpha ? ifA8R8G8B8 : ifR8G8B8);
    for (int y = 0; y < ih; ++y) {
      const uint8_t* src = plane + static_cast<size_t>(y) * stride;
      uint8_t* dst = out.Row(y);
      for (int x = 0; x < iw; ++x, src += n, dst += n) {
        dst[0] = src[2];
        dst[1] = src[1];
        dst[2] = src[0];
        if (alpha) dst[3] = src[3];
      }
    }
    return out;
  }
  int range = heif_image_get_bits_per_pixel_range(img.get(), heif_channel_interleaved);
  if (range <= 8 || range > 16) range = bits;
  const uint32_t max = (1u << range) - 1;
  ImageCreate(out, iw, ih, alpha ? ifA16R16G16B16 : ifR16G16B16);
  auto scale = [max](uint32_t v) {
    return static_cast<uint16_t>((std::min(v, max) * 65535u + max / 2) / max);
  };
  for (int y = 0; y < ih; ++y) {
    const uint8_t* src = plane + static_cast<size_t>(y) * stride;
    uint16_t* dst = reinterpret_cast<uint16_t*>(out.Row(y));
    for (int x = 0; x < iw; ++x, src += 2 * n, dst += n) {
      auto sample = [src](int c) { return uint32_t(src[2 * c] | src[2 * c + 1] << 8); };
      dst[0] = scale(sample(2));
      dst[1] = scale(sample(1));
      dst[2] = scale(sample(0));
      if (alpha) dst[3] = scale(sample(3));
    }
  }
  return out;
}

THeifMetadata ReadHeifMetadata(std::span<const uint8_t> data) {
  THeifMetadata m;
  ContextPtr ctx = OpenContext(data);
  HandlePtr handle = PrimaryHandle(ctx.get());
  heif_item_id ids[16];
  int n = heif_image_handle_get_list_of_metadata_block_IDs(handle.get(), "Exif", ids, 16);
  for (int i = 0; i < n && m.Exif.empty(); ++i)
    m.Exif = ExifTiffData(MetadataBlock(handle.get(), ids[i]));
  n = heif_image_handle_get_list_of_metadata_block_IDs(handle.get(), "mime", ids, 16);
  for (int i = 0; i < n && m.Xmp.empty(); ++i) {
    const char* type = heif_image_handle_get_metadata_content_type(handle.get(), ids[i]);
    if (!type || std::string_view(type) != "application/rdf+xml") continue;
    const std::vector<uint8_t> block = MetadataBlock(handle.get(), ids[i]);
    m.Xmp.assign(block.begin(), block.end());
  }
  const heif_color_profile_type type = heif_image_handle_get_color_profile_type(handle.get());
  if (type == heif_color_profile_type_prof || type == heif_color_profile_type_rICC) {
    const size_t size = heif_image_handle_get_raw_color_profile_size(handle.get());
    if (size > 0 && size <= (64u << 20)) {
      m.Icc.resize(size);
      if (heif_image_handle_get_raw_color_profile(handle.get(), m.Icc.data()).code != heif_error_Ok)
        m.Icc.clear();
    }
  }
  return m;
}

std::vector<uint8_t> EncodeAvif(const RasterImage& image, const TAvifEncodeOptions& options) {
  const bool alpha = image.Format == ifA8R8G8B8 || image.Format == ifA16R16G16B16;
  const bool wide = image.Format == ifR16G16B16 || image.Format == ifA16R16G16B16;
  if (!alpha && !wide && image.Format != ifR8G8B8)
    throw EImagingError("AVIF encoder: unsupported pixel format");
  ContextPtr ctx(heif_context_alloc());
  if (!ctx) throw EImagingError("Out of memory for the AVIF encoder");
  heif_encoder* rawEncoder = nullptr;
  Check(heif_context_get_encoder_for_format(ctx.get(), heif_compression_AV1, &rawEncoder),
        "No AVIF encoder is available");
  EncoderPtr encoder(rawEncoder);
  Check(heif_encoder_set_lossy_quality(encoder.get(), std::clamp(options.Quality, 1, 100)),
        "AVIF encoder refuses the quality");
  // Not every AV1 encoder knows the speed parameter; it is a hint.
  heif_encoder_set_parameter_integer(encoder.get(), "speed", std::clamp(options.Speed, 0, 10));

  const int w = image.Width, h = image.Height;
  const int n = alpha ? 4 : 3;
  const heif_chroma chroma =
      wide ? (alpha ? heif_chroma_interleaved_RRGGBBAA_LE : heif_chroma_interleaved_RRGGBB_LE)
           : (alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB);
  heif_image* rawImage = nullptr;
  Check(heif_image_create(w, h, heif_colorspace_RGB, chroma, &rawImage),
        "Cannot create the AVIF picture");
  HeifImagePtr img(rawImage);
  Check(heif_image_add_plane(img.get(), heif_channel_interleaved, w, h, wide ? 10 : 8),
        "Cannot create the AVIF picture");
  int stride = 0;
  uint8_t* plane = heif_image_get_plane(img.get(), heif_channel_interleaved, &stride);
  if (!plane) throw EImagingError("Cannot create the AVIF picture");
  for (int y = 0; y < h; ++y) {
    const uint8_t* src = image.Row(y);
    uint8_t* dst = plane + static_cast<size_t>(y) * stride;
    if (!wide) {
      for (int x = 0; x < w; ++x, src += n, dst += n) {
        dst[0] = src[2];
        dst[1] = src[1];
        dst[2] = src[0];
        if (alpha) dst[3] = src[3];
      }
    } else {
      const uint16_t* s16 = reinterpret_cast<const uint16_t*>(src);
      for (int x = 0; x < w; ++x, s16 += n, dst += 2 * n) {
        const int order[4] = {2, 1, 0, 3};
        for (int c = 0; c < n; ++c) {
          const uint32_t v = (uint32_t{s16[order[c]]} * 1023u + 32767u) / 65535u;
          dst[2 * c] = static_cast<uint8_t>(v);
          dst[2 * c + 1] = static_cast<uint8_t>(v >> 8);
        }
      }
    }
  }
  if (!options.Icc.empty())
    Check(
        heif_image_set_raw_color_profile(img.get(), "prof", options.Icc.data(), options.Icc.size()),
        "Cannot store the colour profile");

  TLibraryPtr<heif_encoding_options, heif_encoding_options_free> eo(heif_encoding_options_alloc());
  eo->save_alpha_channel = alpha ? 1 : 0;
  heif_image_handle* rawHandle = nullptr;
  Check(heif_context_encode_image(ctx.get(), img.get(), encoder.get(), eo.get(), &rawHandle),
        "Failed to encode AVIF image");
  HandlePtr handle(rawHandle);
  if (!options.Exif.empty())
    Check(heif_context_add_exif_metadata(ctx.get(), handle.get(), options.Exif.data(),
                                         static_cast<int>(options.Exif.size())),
          "Cannot store the EXIF data");
  if (!options.Xmp.empty())
    Check(heif_context_add_XMP_metadata(ctx.get(), handle.get(), options.Xmp.data(),
                                        static_cast<int>(options.Xmp.size())),
          "Cannot store the XMP data");

  std::vector<uint8_t> out;
  heif_writer writer{};
  writer.writer_api_version = 1;
  writer.write = WriteToVector;
  Check(heif_context_write(ctx.get(), &writer, &out), "Failed to write AVIF file");
  return out;
}

namespace {

class THeifFileFormat : public TSimpleFileFormat {
 public:
  THeifFileFormat() : TSimpleFileFormat(DecodeHeif) {
    SetName("High Efficiency Image File");
    AddMasks("*.heic,*.heif,*.hif");
    SetCapabilities(true, false, false);
  }

 protected:
  bool ProbeContent(TImagingStream& stream) override {
    return HeifBrand(PeekHeader(stream, 64)) == THeifBrand::Heic;
  }
};

class TAvifFileFormat : public TSimpleFileFormat {
 public:
  TAvifFileFormat() : TSimpleFileFormat(DecodeHeif) {
    SetName("AV1 Image File");
    AddMasks("*.avif");
    SetCapabilities(true, true, false);
    // Deeper pictures are written with 8 bits per sample: the AV1 encoder
    // of this libheif refuses interleaved 10-bit input.
    SetSupportedFormats({ifR8G8B8, ifA8R8G8B8});
    RegisterOption(ImagingAvifQuality, &quality_);
    RegisterOption(ImagingAvifSpeed, &speed_);
  }

 protected:
  bool ProbeContent(TImagingStream& stream) override {
    return HeifBrand(PeekHeader(stream, 64)) == THeifBrand::Avif;
  }
  bool EncodeImages(TImagingStream& stream,
                    const std::vector<const RasterImage*>& images) override {
    TAvifEncodeOptions o;
    o.Quality = quality_;
    o.Speed = speed_;
    o.Exif = SaveMetadata().Exif;
    o.Icc = SaveMetadata().Icc;
    o.Xmp = SaveMetadata().Xmp;
    stream.Write(EncodeAvif(*images[0], o));
    return true;
  }
  void ValidateOptions() override {
    if (quality_ < 1 || quality_ > 100) quality_ = 80;
    if (speed_ < 0 || speed_ > 10) speed_ = 6;
  }
  void ConvertForSaving(RasterImage& image, const TImageFormatInfo& info) override {
    ImageConvert(image, info.HasAlphaChannel || info.IsSpecial ? ifA8R8G8B8 : ifR8G8B8);
  }

 private:
  int32_t quality_ = 80;
  int32_t speed_ = 6;
};

}  // namespace

std::unique_ptr<TImageFileFormat> MakeHeifFileFormat() {
  return std::make_unique<THeifFileFormat>();
}
std::unique_ptr<TImageFileFormat> MakeAvifFileFormat() {
  return std::make_unique<TAvifFileFormat>();
}

}  // namespace imprimo
