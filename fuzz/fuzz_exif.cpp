// Feeds arbitrary bytes to the metadata reader as an in-memory JPEG stream.
#include <cstddef>
#include <cstdint>
#include <span>

#include "exif/exif_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  imprimo::TimgData reader(255);
  reader.ReadMetadata(std::span<const uint8_t>(data, size));
  for (const imprimo::TTagEntry& tag : imprimo::ReadExifTags(std::span<const uint8_t>(data, size)))
    (void)tag.displayValue.size();
  // Reading and rewriting the orientation must stay inside the block.
  (void)reader.Orientation();
  if (reader.HasExifBlock() && size > 2) (void)reader.BuildMetadataJpeg({data, size});
  return 0;
}
