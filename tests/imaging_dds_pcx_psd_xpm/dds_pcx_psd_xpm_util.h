// Helpers for the DDS, PSD, PCX and XPM tests.
#pragma once

#include <cstdint>

#include "imaging/raster_image.h"
#include "support/imaging_support.h"

namespace imprimo::dds_pcx_psd_xpm {

using ::imprimo::testing::Pixels;
using ::imprimo::testing::Psnr;
using ::imprimo::testing::SmoothImage;

using ::imprimo::testing::RandomFiniteImage;

}  // namespace imprimo::dds_pcx_psd_xpm
