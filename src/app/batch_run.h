// The batch run, written once against a small host interface. The desktop
// window and the terminal command each implement TBatchHost; the run and the
// per-image pipeline never know which one they talk to.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/settings.h"
#include "exif/exif_reader.h"
#include "imaging/raster_image.h"
#include "platform/bitmap.h"
#include "templates/template_state.h"

namespace imprimo {

// Texts the run shows. Hosts with a language file may translate them; the run
// passes these exact strings.
inline constexpr const char* kTextFoldersMustDiffer =
    "The source and destination directories must be different.";
inline constexpr const char* kTextFolderNotFound = "Can not find folder : %s . Please re-set.";
inline constexpr const char* kTextRenameHasSeparator =
    "The rename pattern may not contain \"/\" or \"\\\": renamed files stay in the output "
    "folder.";
inline constexpr const char* kTextTemplateNotFound =
    "Unable to find selected template. Please choose a template first!";
inline constexpr const char* kTextRunFinishedQuestion =
    "Processing finished! \r\nDo you want to open the output folder? ";
inline constexpr const char* kTextProgressCaption = "Progress...[%d%%]";

// Row icons of the image list.
enum TRowIcon : int { kIconFailed = 0, kIconSucceeded = 1, kIconWaiting = 2, kIconWorking = 3 };
// Pipeline status codes.
enum TImageStatus : int { kStatusFailed = 0, kStatusSucceeded = 1, kStatusWorking = 2 };
// Result columns of a row (sub-column indexes).
enum TRowColumn : int {
  kColFormat = 0,
  kColOriginalDimension = 1,
  kColOriginalSize = 2,
  kColNewDimension = 3,
  kColNewSize = 4
};

enum class TRunState { Idle, Running };

// What one ProcessImage call produced, beyond the row's columns.
struct TImageResult {
  std::string OutputPath;  // the file written; empty when nothing was written
  std::string Reason;      // why the image failed; empty on success
  // Layers that could not be drawn (the row itself may still succeed).
  std::vector<std::string> Warnings;
  // The picture was turned or mirrored upright by its EXIF Orientation, so
  // metadata written with the output must say Orientation 1.
  bool OrientationApplied = false;
  // The source was decoded: from here on a run stores an empty format
  // selection in its settings as JPEG.
  bool Decoded = false;
  // The output could not be written because the disk is full; the run stops.
  bool DiskFull = false;
};

class TBatchHost {
 public:
  virtual ~TBatchHost() = default;

  // The image list.
  virtual int RowCount() const = 0;
  virtual std::string RowText(int row) const = 0;  // the source path
  virtual void SetRowIcon(int row, int icon) = 0;  // TRowIcon
  virtual void SetRowColumn(int row, int subColumn, const std::string& text) = 0;
  virtual void RemoveAllRows() = 0;

  // Copies the host's panel into the settings record (a no-op for hosts
  // that set the record directly).
  virtual void PanelToSettings() = 0;
  // The output folder exactly as the user typed it (for the "Can not find
  // folder" message); the run moves the input focus there after a refusal.
  virtual std::string OutputFolderText() const = 0;
  virtual void FocusOutputFolder() {}

  // Command enabling: Running disables the run command and everything that
  // could change the list, the template or the EXIF objects; Idle restores.
  virtual void SetRunState(TRunState state) = 0;
  virtual void ShowDetailList() {}

  // Progress panel and message pumping.
  virtual void ShowProgress(bool visible) = 0;
  virtual void SetProgress(int percent, const std::string& caption) = 0;
  virtual void ProcessMessages() = 0;
  virtual bool StopRequested() const = 0;
  virtual void ClearStopRequested() = 0;

  // Modal messages: "Error" with the error icon; "Question" with Yes and No
  // (true for Yes).
  virtual void ShowError(const std::string& text) = 0;
  virtual bool AskQuestion(const std::string& text) = 0;

  // After the run: the advanced serial is shown in the panel.
  virtual void ShowRenameNo(int64_t renameNo) = 0;
  // After-run actions.
  virtual void CloseProgram() = 0;
  virtual void OpenFolder(const std::string& folder) = 0;

  // Called once per processed row, after its log entry (optional).
  virtual void ImageFinished(int /*row*/, int /*status*/, const TImageResult& /*result*/) {}
};

// Maps a pipeline status code to the row's icon: 0 -> failed, 1 -> succeeded,
// 2 -> being processed; other codes are ignored.
void SetRowStatus(TBatchHost& host, int row, int code);

// The objects every image needs, created once per process and reused.
struct TWorkingObjects {
  TBitmap Bitmap;           // the working picture
  RasterImage Image;        // the record loading and saving go through
  TimgData ExifReader;      // the source's metadata
  TTemplateState Template;  // TemplateDoc, its prepared layers, sequence, EXIF summary
};

// Decides where a row's output goes once its picture is drawn. The batch run
// installs one that keeps the names of rows processed at the same time in
// row order; without one the pipeline numbers collisions against the disk.
class TOutputNamer {
 public:
  virtual ~TOutputNamer() = default;
  // outDir + base + ext, or the free numbered name ("a(1).jpg") the serial
  // run would choose for this row.
  virtual std::string OutputPathFor(int row, const std::string& outDir, const std::string& base,
                                    const std::string& ext, bool overwrite) = 0;
};

// Everything a run reads or changes besides the host.
struct TRunContext {
  TSettings& Settings;
  TProgramValues& Values;
  std::string ProgramFolder;  // trailing "/"
  std::string DataFolder;     // where Log.dat and Watermarks/ live; trailing "/"
  std::vector<std::string>& AddedFolders;
  std::string TemplatePath;  // the selected template's .wg file
  TWorkingObjects& Work;
  // When set, a row whose marks were not all drawn fails and writes nothing.
  bool Strict = false;
  // Images processed at the same time: 1 the serial run, 0 one per core.
  // Names, numbers, row marks, log lines and output bytes do not depend on it.
  int Jobs = 1;
  // Each row's index in the whole list when this run does a part of it
  // (--shard); it gives the row's serial and sequence numbers. Empty: the
  // row's own index.
  std::vector<int64_t> RowIndexes = {};
  // Time stamps of the run log; empty: the local time.
  TClock LogClock = {};
  // Set by the run for the pipeline; null for a single ProcessImage call.
  TOutputNamer* Namer = nullptr;
  // Outputs beside their sources may overwrite them without the run asking
  // first (the user has said so already).
  bool ReplaceOriginals = false;
};

// The number of workers a Jobs value gives on this machine (at least 1).
int EffectiveJobs(int jobs);

// Opens context.TemplatePath (logos of picture layers are looked up in the
// template's own folder) into the template state; without such a file
// shows kTextTemplateNotFound through the host and returns false.
bool OpenSelectedTemplate(TRunContext& context, TBatchHost& host);

enum class TRunOutcome {
  NotStarted,  // a folder or template check refused the run, or the user declined it
  Finished,    // every row was processed
  Stopped,     // the stop flag ended the loop between rows
  Error        // an error escaped the pipeline and ended the loop
};

struct TRunSummary {
  TRunOutcome Outcome = TRunOutcome::NotStarted;
  int Rows = 0;
  int Processed = 0;
  int Succeeded = 0;
  int Failed = 0;
  int Warned = 0;         // rows with a layer that could not be drawn
  std::string ErrorText;  // the refusal, the escaped error or why the run stopped
  std::string LogError;   // first failure to save Log.dat; the run went on
};

// The run command: panel to settings, folder and template checks, template
// preparation, the row loop with progress, log entries, stop between rows,
// sequence and serial advance, the cleanup that always runs and the after-run
// actions.
TRunSummary RunBatch(TRunContext& context, TBatchHost& host);

// One row of a dry run: where its output would go and what its variable
// text layers would say.
struct TDryRunRow {
  std::string Source;
  std::string Planned;  // the name before collision numbering
  std::string Output;   // empty when the source is not an image that loads
  std::vector<std::pair<std::string, std::string>> Layers;  // layer, text
};

// Plans a run without writing anything: opens and prepares the template
// (false, with the host's error message, when it is missing), then gives
// every row its output path as the run would (collisions with files on disk
// and with earlier rows numbered, serial and sequence numbers from the row's
// index) and the text of every enabled text layer that holds a variable.
bool PlanBatchRun(TRunContext& context, TBatchHost& host, std::vector<TDryRunRow>& rows);

// Progress after row i of n: (i + 1) / n * 100, halves to even.
int RunProgress(int index, int count);
std::string ProgressCaption(int percent);

}  // namespace imprimo
