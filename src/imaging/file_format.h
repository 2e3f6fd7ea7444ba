// TImageFileFormat, the base class of every file format, and the layer's
// registry, loading/saving entry points and integer options.
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "imaging/imaging_stream.h"
#include "imaging/picture_metadata.h"
#include "imaging/raster_image.h"

namespace imprimo {

using TImageFormats = std::set<TImageFormat>;

class TImageFileFormat {
 public:
  virtual ~TImageFileFormat() = default;
  TImageFileFormat(const TImageFileFormat&) = delete;
  TImageFileFormat& operator=(const TImageFileFormat&) = delete;

  const std::string& Name() const { return name_; }
  const std::vector<std::string>& Extensions() const { return extensions_; }  // [0] is the default
  const std::vector<std::string>& Masks() const { return masks_; }
  bool CanLoad() const { return canLoad_; }
  bool CanSave() const { return canSave_; }
  bool IsMultiImage() const { return isMultiImage_; }
  int FirstIndex() const { return firstIndex_; }
  int LastIndex() const { return lastIndex_; }

  // The set of pixel formats written unchanged.
  virtual TImageFormats SupportedPixelFormats() const { return supportedFormats_; }

  // Content test from the stream's current position; the position is
  // restored. Never throws: read errors count as "not this format".
  bool TestFormat(TImagingStream& stream);
  // True when the content test at the stream's position succeeds on the
  // stream's length alone (formats without a signature recognise some files
  // by their exact size). The position is restored; never throws.
  bool MatchesBySizeOnly(TImagingStream& stream);
  // True when one of the masks matches the name part of the path.
  bool TestFileName(std::string_view fileName) const;

  // Loading: decodes the stream (first image only when onlyFirst) into images.
  // Throws EImagingError with the layer's "not valid image" / "Error while
  // loading" messages; subject is the file name, or empty for a stream.
  bool LoadFromStream(TImagingStream& stream, TDynImageDataArray& images, bool onlyFirst,
                      const std::string& fileName = {});
  // Saving: writes images[index] (or, without onlyFirst on a multi-image
  // format, the whole set). Images are made compatible on copies; the caller's
  // images never change. Returns false when the format cannot save or an
  // image is invalid; throws EImagingError with the "Error while saving" text.
  bool SaveToStream(TImagingStream& stream, const std::vector<const RasterImage*>& images,
                    bool onlyFirst, const std::string& fileName = {});

  // Makes a compatible copy of image (the format's own conversion, and option
  // 130 when set). Returns true when converted holds a converted copy; false
  // when image is acceptable as it is.
  bool MakeCompatible(const RasterImage& image, RasterImage& converted);

  // Whether this format's encoder stores profile (taken from the save
  // options) with a picture of this pixel format: the profile's colour space
  // is the one the file's pixels are in. The format's own conversion for
  // saving is taken into account. False for formats that store none.
  virtual bool StoresIccProfile(std::string_view profile, const TImageFormatInfo& pixels) const;

 protected:
  TImageFileFormat();

  // Decoders fill images and return true; any exception or false means failure.
  virtual bool DecodeImages(TImagingStream& stream, TDynImageDataArray& images, bool onlyFirst);
  // Encoders receive compatible images only (images[0..] in save order).
  virtual bool EncodeImages(TImagingStream& stream, const std::vector<const RasterImage*>& images);
  // The format's own conversion ("otherwise" rules) of an unsupported image.
  virtual void ConvertForSaving(RasterImage& image, const TImageFormatInfo& info);
  virtual bool AcceptsPixelFormat(const RasterImage& image) const;
  virtual bool ProbeContent(TImagingStream& stream);
  // Whether ProbeContent accepts the stream by its length alone.
  virtual bool ProbeIsSizeOnly(TImagingStream&) { return false; }
  // Resets out-of-range option values to their defaults before a save.
  virtual void ValidateOptions() {}

  void SetName(std::string name) { name_ = std::move(name); }
  // Comma-separated wildcard masks ("*.jpg,*.jpeg"); fills Masks and Extensions.
  void AddMasks(std::string_view masks);
  void SetCapabilities(bool canLoad, bool canSave, bool isMultiImage) {
    canLoad_ = canLoad;
    canSave_ = canSave;
    isMultiImage_ = isMultiImage;
  }
  void SetSupportedFormats(TImageFormats formats) { supportedFormats_ = std::move(formats); }
  // Binds an option variable; used from the constructor.
  void RegisterOption(int32_t id, int32_t* variable);
  // The colour profile the save options of this call ask to be stored with
  // the picture; empty when none. Encoders check it with StoresIccProfile.
  const std::string& SaveIccProfile() const { return saveIcc_; }
  // The metadata the save options of this call hand to the encoder.
  const TEmbeddedMetadata& SaveMetadata() const { return saveMetadata_; }

  // Helper for content tests: reads count bytes, seeks back by the number
  // read; returns fewer bytes when the stream is short.
  static std::vector<uint8_t> PeekHeader(TImagingStream& stream, size_t count);

 private:
  std::string name_ = "Unknown and unsupported format";
  std::vector<std::string> extensions_;
  std::vector<std::string> masks_;
  bool canLoad_ = false, canSave_ = false, isMultiImage_ = false;
  TImageFormats supportedFormats_;
  int firstIndex_ = 0, lastIndex_ = 0;
  // The options this instance registered, for per-call copies.
  std::vector<std::pair<int32_t, int32_t*>> ownOptions_;
  std::string saveIcc_;  // set on per-call instances only
  TEmbeddedMetadata saveMetadata_;
  friend class TFormatInstance;
};

// ---- Registry ----
// Formats are created in a fixed order by the table in
// imaging/formats/format_list.inc: to add a format, define
//   std::unique_ptr<TImageFileFormat> Make<Name>FileFormat();
// in its own files and enable its IMAGING_FORMAT(<Name>) line there.
const std::vector<TImageFileFormat*>& ImageFileFormats();
TImageFileFormat* FormatByExtension(std::string_view extension);
TImageFileFormat* FormatByFileName(std::string_view fileName);
// True when the wildcard mask ("*", "?") matches name, ignoring ASCII case.
bool MatchesMask(std::string_view name, std::string_view mask);

// The format of a file by content: first among the formats its name matches,
// then among all. A format that recognises the file by its size alone is
// taken only when the file's name matches no other registered format, so a
// damaged photo.jpg never loads as something else of the same length.
std::string DetectFileFormat(const std::string& fileName);
std::string DetectStreamFormat(TImagingStream& stream);
bool ReadImageFile(const std::string& fileName, RasterImage& image);
bool ReadImageStream(TImagingStream& stream, RasterImage& image);
// ReadImageFile on the file's bytes already in memory: the format is found
// as for the file of that name, errors name the file. format, when given,
// gets the default extension of the format the bytes decoded as.
bool ReadImageBytes(const std::string& fileName, std::span<const uint8_t> bytes, RasterImage& image,
                    std::string* format = nullptr);
bool WriteImageFile(const std::string& fileName, const RasterImage& image);
class TSaveOptions;
class TReplacingFile;
// Saves with options given for this call only: a private instance of the
// format takes the option table's values, then these; the table and the
// shared format objects are left alone, so saves on several threads at once
// do not disturb each other.
bool WriteImageFile(const std::string& fileName, const RasterImage& image,
                    const TSaveOptions& options);
// The same save into staged's temporary file, which the caller then commits
// under a name of its choice; the format is that of fileName.
bool WriteImageFileStaged(const std::string& fileName, TReplacingFile& staged,
                          const RasterImage& image, const TSaveOptions& options);
bool WriteImageStream(std::string_view extension, TImagingStream& stream, const RasterImage& image,
                      const TSaveOptions& options);
bool WriteImageStream(std::string_view extension, TImagingStream& stream, const RasterImage& image);
// Encodes image as the format of fileName into bytes, with the save options
// of this call; errors are worded as a failed save of fileName. False when
// the format cannot save the picture.
bool EncodeImageFile(const std::string& fileName, const RasterImage& image,
                     const TSaveOptions& options, std::vector<uint8_t>& bytes);
// Whole multi-image sets.
bool ReadMultiImageFile(const std::string& fileName, TDynImageDataArray& images);
bool WriteMultiImageFile(const std::string& fileName, const TDynImageDataArray& images);

// ---- Options ----
constexpr int32_t ImagingJpegQuality = 10;
constexpr int32_t ImagingJpegProgressive = 11;
constexpr int32_t ImagingBitmapRLE = 12;
constexpr int32_t ImagingTargaRLE = 13;
constexpr int32_t ImagingDDSLoadedCubeMap = 14;
constexpr int32_t ImagingDDSLoadedVolume = 15;
constexpr int32_t ImagingDDSLoadedMipMapCount = 16;
constexpr int32_t ImagingDDSLoadedDepth = 17;
constexpr int32_t ImagingDDSSaveCubeMap = 18;
constexpr int32_t ImagingDDSSaveVolume = 19;
constexpr int32_t ImagingDDSSaveMipMapCount = 20;
constexpr int32_t ImagingDDSSaveDepth = 21;
constexpr int32_t ImagingPNGPreFilter = 25;
constexpr int32_t ImagingPNGCompressLevel = 26;
constexpr int32_t ImagingMNGLossyCompression = 28;
constexpr int32_t ImagingMNGLossyAlpha = 29;
constexpr int32_t ImagingMNGPreFilter = 30;
constexpr int32_t ImagingMNGCompressLevel = 31;
constexpr int32_t ImagingMNGQuality = 32;
constexpr int32_t ImagingMNGProgressive = 33;
constexpr int32_t ImagingJNGLossyAlpha = 40;
constexpr int32_t ImagingJNGAlphaPreFilter = 41;
constexpr int32_t ImagingJNGAlphaCompressLevel = 42;
constexpr int32_t ImagingJNGQuality = 43;
constexpr int32_t ImagingJNGProgressive = 44;
constexpr int32_t ImagingPGMSaveBinary = 50;
constexpr int32_t ImagingPPMSaveBinary = 51;
constexpr int32_t ImagingJpeg2000Quality = 55;
constexpr int32_t ImagingJpeg2000CodeStreamOnly = 56;
constexpr int32_t ImagingJpeg2000LosslessCompression = 57;
constexpr int32_t ImagingColorReductionMask = 128;
constexpr int32_t ImagingLoadOverrideFormat = 129;
constexpr int32_t ImagingSaveOverrideFormat = 130;
constexpr int32_t ImagingMipMapFilter = 131;
// JPEG chroma sampling: 0 the encoder's default (2x2), 1 2x1, 2 1x1.
constexpr int32_t ImagingJpegSubsampling = 132;
// JFIF density written in JPEG files: unit (0 none, 1 per inch, 2 per cm)
// and the horizontal and vertical values (1..65535).
constexpr int32_t ImagingJpegDensityUnit = 133;
constexpr int32_t ImagingJpegDensityX = 134;
constexpr int32_t ImagingJpegDensityY = 135;
// WebP: quality 1..100 on the JPEG scale (default 90) and lossless coding.
constexpr int32_t ImagingWebPQuality = 150;
constexpr int32_t ImagingWebPLossless = 151;
// AVIF: quality 1..100 (default 80) and encoder speed 0..10 (default 6).
constexpr int32_t ImagingAvifQuality = 152;
constexpr int32_t ImagingAvifSpeed = 153;
// TIFF: compression of written files, 0 LZW (default), 1 Deflate.
constexpr int32_t ImagingTiffCompression = 154;

constexpr int32_t kInvalidOption = -2147483647;

// Option values that travel with one save call (ids as above). A later Set of
// the same id replaces the earlier value.
class TSaveOptions {
 public:
  TSaveOptions& Set(int32_t id, int32_t value);
  const std::vector<std::pair<int32_t, int32_t>>& Values() const { return values_; }
  // The value set for id, or kInvalidOption.
  int32_t Get(int32_t id) const;
  // An ICC profile for the encoder to store with the picture, in formats
  // that can hold one (see TImageFileFormat::StoresIccProfile); the others
  // ignore it.
  TSaveOptions& SetIccProfile(std::string profile);
  const std::string& IccProfile() const { return icc_; }
  // Metadata for an encoder that writes it inside its encode (AVIF); the
  // others ignore it.
  TSaveOptions& SetMetadata(TEmbeddedMetadata metadata);
  const TEmbeddedMetadata& Metadata() const { return metadata_; }

 private:
  std::vector<std::pair<int32_t, int32_t>> values_;
  std::string icc_;
  TEmbeddedMetadata metadata_;
};

bool SetImagingOption(int32_t id, int32_t value);
int32_t GetImagingOption(int32_t id);  // kInvalidOption when unbound
bool RegisterImagingOption(int32_t id, int32_t* variable);
bool PushOptions();
bool PopOptions();

}  // namespace imprimo
