// What a run would make of one source, drawn in memory for the window's
// preview, and the framed small pictures of the thumbnail view.
#pragma once

#include <string>

#include "app/settings.h"
#include "platform/bitmap.h"
#include "platform/canvas.h"
#include "templates/template_state.h"

namespace imprimo {

// What a run would make of the source at path as row rowIndex of the list:
// loaded, then made by the run's own pipeline in the run's order (upright,
// size, border, template; TPipelinePurpose::Preview) with the file-name
// variables showing the output name the run would give it, then saved in
// the output format with the run's options into memory and decoded again,
// so that the losses of that format and quality show. Nothing is written to
// disk, no name is taken and the sequence number is not advanced (the
// marks show tpl's WatermarkSequence). A size restriction or border that
// cannot be made does not stop the preview. Returns false, leaving picture
// untouched, when the source does not load or the in-memory save or reload
// fails; reason (when given) then says why.
bool RenderPreviewPicture(const std::string& path, const TSettings& settings, TTemplateState& tpl,
                          TBitmap& picture, std::string* reason = nullptr, int64_t rowIndex = 0);

// Size of a thumbnail cell and of the box the picture is fitted into.
inline constexpr int kThumbnailCellSize = 120;
inline constexpr int kThumbnailBox = 104;

// Where a picture of width x height lies in its cell: left, top, right and
// bottom with right and bottom exclusive.
TRect ThumbnailPictureRect(int width, int height);

// A 120 x 120, 24-bit cell: button face, a raised outer frame, the picture
// stretched into its box and a sunken frame around it. faceColor is
// 0x00RRGGBB. False when picture is empty.
bool DrawThumbnailCell(const TBitmap& picture, uint32_t faceColor, TBitmap& cell);

// Loads the picture at path, upright when autoRotate, and draws its cell.
// JPEG sources are decoded at the smallest of 1/1, 1/2, 1/4 and 1/8 that
// still covers the box. False when the file does not load; reason (when
// given) then says why.
bool LoadThumbnailCell(const std::string& path, bool autoRotate, uint32_t faceColor, TBitmap& cell,
                       std::string* reason = nullptr);

}  // namespace imprimo
