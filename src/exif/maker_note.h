// Maker notes carried as the camera wrote them. Re-encoding a maker note
// tag by tag loses what the encoder does not know of its layout (pointers
// to sub-directories, arrays that state their own size), so the note's
// bytes are copied whole instead. Their offsets then stay right in one of
// two ways: a note whose offsets count from its own start (or from a TIFF
// header of its own) can go anywhere; a note whose offsets count from the
// EXIF block's TIFF header has its out-of-line value offsets moved by the
// distance the note moved.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace imprimo {

enum class TMakerNoteBase {
  Own,   // offsets count from the note (or a TIFF header inside it)
  Tiff,  // offsets count from the EXIF block's TIFF header
};

struct TMakerNote {
  size_t Offset = 0;  // where the note's bytes start in the source block
  std::string Bytes;
  TMakerNoteBase Base = TMakerNoteBase::Own;
  size_t IfdStart = 0;  // where its directory starts inside the note
  bool LittleEndian = true;
};

// The maker note of a TIFF block (EXIF directory tag 0x927C) and how its
// offsets count; false when the block has none, or it lies outside the
// block, or a note of unknown layout whose directory cannot be read (it is
// then left to the tag-by-tag encoder).
bool FindMakerNote(std::string_view tiff, TMakerNote& note);

// Overwrites with zero bytes every occurrence in the note of one of the
// given byte strings (the preview pictures the note holds); strings shorter
// than 16 bytes are ignored. Returns how many were blanked.
int BlankInMakerNote(TMakerNote& note, const std::vector<std::string>& previews);

// Overwrites with zero bytes every whole JPEG stream inside the note (the
// previews a maker keeps there, whose tags are not known). Returns how many
// were blanked.
int BlankEmbeddedJpegs(TMakerNote& note);

// Puts the source's note into an encoded block that holds a maker note of
// the same size (written there as plain bytes), moving its offsets when they
// count from the TIFF header. False when the block has no such note or an
// offset would leave 32 bits.
bool PlaceMakerNote(std::string& tiff, const TMakerNote& note);

}  // namespace imprimo
