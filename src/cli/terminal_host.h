// The batch run's host for a terminal: rows in memory, one line per image,
// a progress bar on a terminal, Ctrl+C as the stop command.
#pragma once

#include <csignal>
#include <string>
#include <vector>

#include "app/batch_run.h"
#include "app/image_list.h"

namespace imprimo {

class TTerminalHost final : public TBatchHost, public TImageListHost {
 public:
  TTerminalHost(bool quiet, std::string outputFolderText);

  const std::vector<ImageListEntry>& Rows() const { return rows_; }
  // Keeps only the given rows (ascending indexes), in their order.
  void KeepRows(const std::vector<int>& rows);

  // TBatchHost
  int RowCount() const override { return static_cast<int>(rows_.size()); }
  std::string RowText(int row) const override { return rows_.at(row).Path; }
  void SetRowIcon(int row, int icon) override { rows_.at(row).Icon = icon; }
  void SetRowColumn(int row, int subColumn, const std::string& text) override;
  void RemoveAllRows() override {}  // the rows end with the command anyway
  void PanelToSettings() override {}
  std::string OutputFolderText() const override { return outputFolderText_; }
  void SetRunState(TRunState state) override;
  // Printed once to stdout when the run enters its running state.
  void SetHeader(std::string header) { header_ = std::move(header); }
  void ShowProgress(bool visible) override;
  void SetProgress(int percent, const std::string& caption) override;
  void ProcessMessages() override {}
  bool StopRequested() const override;
  void ClearStopRequested() override;
  void ShowError(const std::string& text) override;
  bool AskQuestion(const std::string&) override { return false; }  // never prompts
  void ShowRenameNo(int64_t) override {}
  void CloseProgram() override {}
  void OpenFolder(const std::string&) override {}
  void ImageFinished(int row, int status, const TImageResult& result) override;

  // TImageListHost
  bool IsInList(const std::string& path) const override;
  void AddRow(ImageListEntry entry) override;

  // Ctrl+C (or SIGTERM) sets the stop flag; a second one ends the program
  // at once.
  static void InstallInterruptHandler();

 private:
  void ClearProgressLine();
  void DrawProgress();

  std::vector<ImageListEntry> rows_;
  std::string header_;
  bool quiet_;
  bool progressOnTerminal_;
  bool progressVisible_ = false;
  bool progressDrawn_ = false;
  bool running_ = false;
  int percent_ = 0;
  int done_ = 0;
  std::string outputFolderText_;
};

}  // namespace imprimo
