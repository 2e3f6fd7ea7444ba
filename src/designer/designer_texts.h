// Texts the template editor sets while it runs (its questions, dialog
// captions, status line and the property editor's hints), kept in the
// program's string table so that the language file translates them like
// the window's designed captions.
#pragma once

#include <QString>
#include <cstdint>

namespace imprimo {

enum class TDesignerText : uint32_t {
  OpenTemplateCaption = 3200,
  SaveTemplateCaption = 3201,
  OpenSampleCaption = 3202,
  ChooseLogoCaption = 3203,
  ChooseTextureCaption = 3204,
  TemplateFiles = 3205,  // the name of the template filter
  PictureFiles = 3206,   // the name of the picture filter
  AllFiles = 3207,
  Untitled = 3208,
  StatusNew = 3210,
  StatusOpened = 3211,  // %1 path
  StatusSaved = 3212,   // %1 path
  StatusCoverDrop = 3213,
  OpenFailed = 3220,        // %1 path, %2 reason
  NothingReadable = 3221,   // %1 path, %2 notes
  SaveFailed = 3222,        // %1 path, %2 reason
  UnsavedChanges = 3223,    // %1 template
  ReplaceLogo = 3224,       // %1 file name, %2 folder
  PictureUnusable = 3225,   // %1 path, %2 reason
  SampleUnopenable = 3226,  // %1 path, %2 reason
  LayerTip = 3230,          // %1 kind, %2 section, %3 text or picture
  KindText = 3231,
  KindPicture = 3232,
  NoFace = 3240,
  DrawnWith = 3241,   // %1 face
  OtherValue = 3242,  // %1 stored value
  OtherDefault = 3243,
  OtherLeftToRight = 3244,
  OtherTiled = 3245,
  OtherAtPosition = 3246,
  OtherEveryPicture = 3247,
  MarginHorz = 3248,
  GapHorz = 3249,
  MarginVert = 3250,
  GapVert = 3251,
  SequenceCaption = 3252,
  SequenceStart = 3253,
  SystemColour = 3254,  // %1 colour name
  ColourCaption = 3255,
  ColourTip = 3256,  // %1 colour, %2 stored number
  NoSample = 3257,
  FirstTile = 3258,
};

// The text for id: the loaded language file's, else the English one.
QString DesignerText(TDesignerText id);
// The built-in English text ("" for an unknown id).
const char* EnglishDesignerText(TDesignerText id);
// Every identifier of the table, in order.
const TDesignerText* DesignerTextIds(size_t& count);
// Puts the texts into the program's string table (done by DesignerText on
// first use; the language tool calls it to list them).
void RegisterDesignerTexts();

}  // namespace imprimo
