#include "designer/designer_texts.h"

#include <array>
#include <iterator>
#include <utility>

#include "lang/language_file.h"

namespace imprimo {

namespace {

using T = TDesignerText;

constexpr std::pair<TDesignerText, const char*> kTexts[] = {
    {T::OpenTemplateCaption, "Open template"},
    {T::SaveTemplateCaption, "Save template as"},
    {T::OpenSampleCaption, "Open sample picture"},
    {T::ChooseLogoCaption, "Choose the logo picture"},
    {T::ChooseTextureCaption, "Choose the texture picture"},
    {T::TemplateFiles, "Watermark templates"},
    {T::PictureFiles, "Pictures"},
    {T::AllFiles, "All files"},
    {T::Untitled, "Untitled"},
    {T::StatusNew, "New template"},
    {T::StatusOpened, "Opened %1"},
    {T::StatusSaved, "Saved %1"},
    {T::StatusCoverDrop, "Tiled and stretched layers cover the picture: set their gaps instead."},
    {T::OpenFailed, "The template %1 could not be opened.\n\n%2"},
    {T::NothingReadable,
     "%1 holds no template layer that could be read. It will not be overwritten: use Save As to "
     "keep what you make here.%2"},
    {T::SaveFailed,
     "The template could not be saved to %1.\n\n%2\n\nYour changes are still here: save them "
     "into another folder with Save As."},
    {T::UnsavedChanges, "The template %1 has changes that are not saved.\n\nSave them?"},
    {T::ReplaceLogo,
     "A different picture named %1 is already in %2.\n\nReplace it? Other templates that show it "
     "will show the new picture."},
    {T::PictureUnusable, "The picture %1 could not be used.\n\n%2"},
    {T::SampleUnopenable, "The picture %1 could not be opened.\n\n%2"},
    {T::LayerTip, "%1 layer [%2]: %3"},
    {T::KindText, "Text"},
    {T::KindPicture, "Picture"},
    {T::NoFace, "No installed face: the text cannot be drawn"},
    {T::DrawnWith, "Drawn with %1"},
    {T::OtherValue, "Other (%1)"},
    {T::OtherDefault, "Other (%1): default"},
    {T::OtherLeftToRight, "Other (%1): left to right"},
    {T::OtherTiled, "Other (%1): tiled"},
    {T::OtherAtPosition, "Other (%1): at a position"},
    {T::OtherEveryPicture, "Other (%1): every picture"},
    {T::MarginHorz, "Left/right margin:"},
    {T::GapHorz, "Horizontal gap:"},
    {T::MarginVert, "Top/bottom margin:"},
    {T::GapVert, "Vertical gap:"},
    {T::SequenceCaption, "Sequence number"},
    {T::SequenceStart, "Start at:"},
    {T::SystemColour, "System: %1"},
    {T::ColourCaption, "Colour"},
    {T::ColourTip, "%1 (stored as %2)"},
    {T::NoSample, "No sample picture"},
    {T::FirstTile, "first tile"},
};

constexpr auto kIds = [] {
  std::array<TDesignerText, std::size(kTexts)> ids{};
  for (size_t i = 0; i < ids.size(); ++i) ids[i] = kTexts[i].first;
  return ids;
}();

}  // namespace

const char* EnglishDesignerText(TDesignerText id) {
  for (const auto& [known, text] : kTexts)
    if (known == id) return text;
  return "";
}

const TDesignerText* DesignerTextIds(size_t& count) {
  count = kIds.size();
  return kIds.data();
}

void RegisterDesignerTexts() {
  static const bool registered = [] {
    for (const auto& [id, text] : kTexts) RegisterBuiltinText(static_cast<uint32_t>(id), text);
    return true;
  }();
  (void)registered;
}

QString DesignerText(TDesignerText id) {
  RegisterDesignerTexts();
  return QString::fromStdString(TranslatedText(static_cast<uint32_t>(id)));
}

}  // namespace imprimo
