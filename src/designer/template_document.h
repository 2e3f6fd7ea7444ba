// The template editor's document: an ordered list of layers (one template
// section each) that can be edited, written back in the template format and
// saved safely; the undo history of such documents; copying logo pictures
// beside the templates; the default template folder. No Qt here.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "ini/ini_document.h"
#include "render/mark_item.h"

namespace imprimo {

// A failure to open or save a document; what() is a sentence for the user
// ("... : permission denied").
class TDocumentError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One layer: the section it is written to and its settings. Keys of the
// section that the engine does not know are kept, in file order, and written
// back after the known ones.
struct TDesignerLayer {
  std::u16string Section;  // unique (ignoring ASCII case) within a document
  TMarkItem Item;
  std::vector<std::pair<std::u16string, std::u16string>> ExtraKeys;
  bool operator==(const TDesignerLayer& other) const;
};

// Brings every field of item to the value the drawing actually uses, so the
// editor shows what a run will draw: a text layer's opacities, noise and
// spray keep their low byte, its blur strengths are held to 0..100, its
// angle keeps 16 bits and its shadow offsets 8 bits -- the widths of the
// effect properties the text drawing hands them to (so a text opacity of 300
// becomes 44; 500 becomes 244, which draws fully opaque), a gradient style
// beyond 5 becomes 0 (drawn left to right), a texture mode beyond 3 becomes
// 0 (tiled) -- and a
// picture layer's opacity to 0..100. Strings lose line breaks and trailing
// blanks (a template line cannot hold them), Desc, Picture and Texture are
// cut to 255 characters (Picture and Texture to their file name part). A size
// mode, margin mode or orientation filter the drawing does not know, and a
// relative size outside its range, become the plain layer's 0. Values the
// drawing uses as they are (font size, offsets, gaps) stay untouched.
TMarkItem NormalizeMarkItem(TMarkItem item);

class TTemplateDocument {
 public:
  // An empty document with no file: no layer.
  TTemplateDocument() = default;

  // A new, unsaved template holding one text layer ("Layer1", text
  // "© {$F}", bottom-right) ready to edit.
  static TTemplateDocument New();

  // Reads the template at path in any encoding the engine reads. Each
  // section becomes a layer in file order; a section that occurs more than
  // once gives one layer per occurrence, all with the values the engine
  // draws for that name (the last occurrence), renamed "Name (2)", ... so
  // that each can be edited on its own. Values are normalised (see
  // NormalizeMarkItem). Throws TDocumentError for a missing file, a folder,
  // a file that cannot be read or is too large. A file that holds no section
  // at all opens as an empty document that Save() will not overwrite.
  static TTemplateDocument Open(const std::string& path);

  // Remarks made while opening (duplicate sections renamed, no section
  // found, values brought into range); empty for a clean file.
  const std::vector<std::string>& OpenNotes() const { return openNotes_; }

  const std::vector<TDesignerLayer>& Layers() const { return layers_; }
  size_t LayerCount() const { return layers_.size(); }
  const TDesignerLayer& Layer(size_t i) const { return layers_.at(i); }

  // Layer editing. Indexes are file (= drawing) order; an index out of
  // range throws std::out_of_range. Functions that add a layer return its
  // index. "after" of std::nullopt inserts at the end.
  size_t AddTextLayer(std::optional<size_t> after = std::nullopt);
  // A picture layer showing logoFileName (a file name in the template
  // folder), at the bottom-right corner, fully opaque.
  size_t AddPictureLayer(std::optional<size_t> after, const std::string& logoFileName);
  size_t Duplicate(size_t i);  // the copy goes right after i
  void Remove(size_t i);
  // Moves layer i by delta places (held inside the list); returns its new index.
  size_t Move(size_t i, int delta);
  void SetEnabled(size_t i, bool enabled);
  void Rename(size_t i, const std::string& desc);  // the layer's Desc
  // Replaces the layer's settings (normalised); the section name stays.
  void SetItem(size_t i, const TMarkItem& item);

  // The template as an INI document / as the bytes a save writes
  // (UTF-16LE with BOM).
  IniDocument ToIniDocument() const;
  std::string Serialize() const;

  // The file the document was opened from or last saved to; empty for a new one.
  const std::string& Path() const { return path_; }
  // The folder logos are looked up in and copied to: Path()'s folder, or
  // DefaultTemplateFolder() for a new document. Trailing "/".
  std::string Folder() const;
  // "Name.wg" or "Untitled".
  std::string DisplayName() const;
  // False for a new document and for one whose file was not read as a
  // template (no section found in it, or binary bytes around the sections):
  // Save() then refuses, Save As is needed.
  bool CanSaveInPlace() const { return !path_.empty() && savableInPlace_; }

  // Writes Serialize() to path through a temporary file in the same folder
  // renamed into place, then makes path the document's file. Throws
  // TDocumentError with the reason; the document is unchanged then.
  void SaveAs(const std::string& path);
  // SaveAs(Path()); throws TDocumentError when !CanSaveInPlace().
  void Save();

  // Same layers (sections, settings, kept keys); path and notes do not count.
  bool operator==(const TTemplateDocument& other) const { return layers_ == other.layers_; }

  // Takes over other's file (path and whether it may be written over);
  // the undo history uses it after a save.
  void AdoptFile(const TTemplateDocument& other) {
    path_ = other.path_;
    savableInPlace_ = other.savableInPlace_;
  }

 private:
  std::u16string UniqueSection(std::u16string_view base) const;

  std::vector<TDesignerLayer> layers_;
  std::string path_;
  bool savableInPlace_ = true;
  std::vector<std::string> openNotes_;
};

// Snapshots of the document for undo and redo, and whether the current one
// differs from the one last saved (the modified marker).
class TUndoHistory {
 public:
  // Oldest steps are forgotten beyond this many.
  static constexpr size_t kMaxUndoSteps = 1000;

  explicit TUndoHistory(TTemplateDocument initial = {});

  // Starts over with doc (after New or Open): nothing to undo, not modified.
  void Reset(TTemplateDocument doc);
  const TTemplateDocument& Current() const { return states_[pos_].Doc; }

  // Records doc as the new current state after an edit; the redo states are
  // dropped. An edit equal to the current state records nothing. Pushes with
  // the same non-empty mergeKey in a row (a slider being dragged, typing in
  // one field) make one undo step.
  void Push(TTemplateDocument doc, const std::string& mergeKey = {});
  // Ends merging, so the next Push starts a new step even with the same key.
  void BreakMerge() { lastMergeKey_.clear(); }

  bool CanUndo() const { return pos_ > 0; }
  bool CanRedo() const { return pos_ + 1 < states_.size(); }
  bool Undo();  // false when there is nothing to undo
  bool Redo();

  // The current state is what the file holds (after a save). Its path is
  // carried into every state, so undo after Save As keeps the new file.
  void MarkClean();
  // After saving doc (a copy of Current()): its file becomes every state's
  // file and the current state is clean.
  void MarkSaved(const TTemplateDocument& doc);
  bool IsModified() const;

 private:
  struct State {
    TTemplateDocument Doc;
    uint64_t Id;
  };
  std::vector<State> states_;
  size_t pos_ = 0;
  uint64_t nextId_ = 1;
  std::optional<uint64_t> cleanId_;
  std::string lastMergeKey_;
};

// Result of copying a logo picture into the template folder.
enum class ELogoCopy {
  kCopied,             // the file is now in the folder
  kIdentical,          // a file with the same name and the same bytes was there already
  kNeedsConfirmation,  // a different file of that name is there; ask, then call again
  kFailed,             // see Reason
};
struct TLogoCopyResult {
  ELogoCopy Outcome = ELogoCopy::kFailed;
  std::string FileName;  // name in the folder: the value of the layer's Picture key
  std::string Reason;    // for kFailed and kNeedsConfirmation
};

// Copies sourcePath into templateFolder under its own file name, through a
// temporary file and rename. The source must load as a picture. A different
// file of the same name is replaced only when replaceConfirmed. A source
// that already is that file gives kIdentical.
TLogoCopyResult CopyLogo(const std::string& sourcePath, const std::string& templateFolder,
                         bool replaceConfirmed);

// Where templates are made: the program's Watermarks/ folder, or the user's
// data folder's Watermarks/ when the program folder is not writable (the
// folder the main window lists). Created when missing; trailing "/".
std::string DefaultTemplateFolder();

}  // namespace imprimo
