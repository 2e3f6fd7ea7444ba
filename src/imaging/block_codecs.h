// Block-compressed pixel formats: 4x4 pixel blocks of the S3 texture
// compression family (DXT1, DXT3, DXT5), the one- and two-channel blocks of
// the same family (ATI1N, ATI2N) and block truncation coding (BTC).
//
// Colour blocks decode to B, G, R, A bytes per pixel (the A8R8G8B8 layout);
// BTC and ATI1N decode to one gray byte per pixel. ATI2N decodes its first
// channel into red and its second into green, with blue 0 and alpha 255.
//
// BTC block (4 bytes): byte 0 is the low level, byte 1 the high level, bytes
// 2-3 a little-endian 16-bit mask; bit i (pixel i in row order) set selects
// the high level.
#pragma once

#include <cstdint>

#include "imaging/raster_image.h"

namespace imprimo {

// Single blocks; pixels are 16 entries in row order.
void DecodeDXT1Block(const uint8_t block[8], TColor32Rec pixels[16]);
void DecodeDXT3Block(const uint8_t block[16], TColor32Rec pixels[16]);
void DecodeDXT5Block(const uint8_t block[16], TColor32Rec pixels[16]);
void DecodeATI1NBlock(const uint8_t block[8], uint8_t values[16]);
void DecodeBTCBlock(const uint8_t block[4], uint8_t values[16]);

void EncodeDXT1Block(const TColor32Rec pixels[16], uint8_t block[8]);
void EncodeDXT3Block(const TColor32Rec pixels[16], uint8_t block[16]);
void EncodeDXT5Block(const TColor32Rec pixels[16], uint8_t block[16]);
void EncodeATI1NBlock(const uint8_t values[16], uint8_t block[8]);
void EncodeBTCBlock(const uint8_t values[16], uint8_t block[4]);

// Whole images: blocks cover (width + 3) / 4 x (height + 3) / 4 blocks in row
// order; pixels are width x height in the format's nearest ordinary format.
// Encoders repeat the last row and column into partial edge blocks.
void DecodeBlockImage(TImageFormat format, const uint8_t* blocks, int width, int height,
                      uint8_t* pixels);
void EncodeBlockImage(TImageFormat format, const uint8_t* pixels, int width, int height,
                      uint8_t* blocks);

// Installs the codecs into the conversion layer (idempotent; also done at
// program start when this file is linked).
void InstallBlockCodecs();
// InstallBlockCodecs once per process, safe to call from any thread.
void EnsureBlockCodecs();

}  // namespace imprimo
