// Factory functions of the file formats. The registry calls those whose lines
// are enabled in format_list.inc, in that file's order.
#pragma once

#include <memory>

#include "imaging/file_format.h"

namespace imprimo {

std::unique_ptr<TImageFileFormat> MakeBitmapFileFormat();
std::unique_ptr<TImageFileFormat> MakeJpegFileFormat();
std::unique_ptr<TImageFileFormat> MakePNGFileFormat();
std::unique_ptr<TImageFileFormat> MakeMNGFileFormat();
std::unique_ptr<TImageFileFormat> MakeJNGFileFormat();
std::unique_ptr<TImageFileFormat> MakeGIFFileFormat();
std::unique_ptr<TImageFileFormat> MakeDDSFileFormat();
std::unique_ptr<TImageFileFormat> MakeTargaFileFormat();
std::unique_ptr<TImageFileFormat> MakePBMFileFormat();
std::unique_ptr<TImageFileFormat> MakePGMFileFormat();
std::unique_ptr<TImageFileFormat> MakePPMFileFormat();
std::unique_ptr<TImageFileFormat> MakePAMFileFormat();
std::unique_ptr<TImageFileFormat> MakePFMFileFormat();
std::unique_ptr<TImageFileFormat> MakeJpeg2000FileFormat();
std::unique_ptr<TImageFileFormat> MakePSDFileFormat();
std::unique_ptr<TImageFileFormat> MakePCXFileFormat();
std::unique_ptr<TImageFileFormat> MakeXPMFileFormat();
std::unique_ptr<TImageFileFormat> MakeBSIFileFormat();
std::unique_ptr<TImageFileFormat> MakeCIFFileFormat();
std::unique_ptr<TImageFileFormat> MakeIMGFileFormat();
std::unique_ptr<TImageFileFormat> MakeTextureFileFormat();
std::unique_ptr<TImageFileFormat> MakeHeifFileFormat();
std::unique_ptr<TImageFileFormat> MakeAvifFileFormat();
std::unique_ptr<TImageFileFormat> MakeWebPFileFormat();
std::unique_ptr<TImageFileFormat> MakeTiffFileFormat();

}  // namespace imprimo
