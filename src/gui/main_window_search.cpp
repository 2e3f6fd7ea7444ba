// The folder search of the add and drop commands: it walks the folders on a
// thread of its own so that the window keeps answering, shows how many
// pictures it has found and can be cancelled.
#include <QAction>
#include <QEventLoop>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <atomic>
#include <exception>
#include <thread>

#include "gui/main_window.h"
#include "gui/window_texts.h"

namespace imprimo {

bool TfrmMain::SearchFolders(
    const std::function<void(std::vector<std::string>& found,
                             const std::function<bool(size_t)>& goOn)>& search,
    std::vector<std::string>& found) {
  if (btnSearchCancel == nullptr) {
    btnSearchCancel = new QPushButton(this);
    btnSearchCancel->setObjectName(QStringLiteral("btnSearchCancel"));
    statusBar()->addPermanentWidget(btnSearchCancel);
    connect(btnSearchCancel, &QPushButton::clicked, this, [this] { stopRequested_ = true; });
    btnSearchCancel->hide();
  }
  btnSearchCancel->setText(WinText(TWinText::AddingCancel));
  const QString before = StatusText(2);
  stopRequested_ = false;
  adding_ = true;
  ApplyCommandState();

  std::atomic<size_t> count{0};
  std::atomic<bool> stop{false};
  std::atomic<bool> done{false};
  std::exception_ptr failure;
  std::vector<std::string> result;
  std::thread worker([&] {
    try {
      search(result, [&](size_t n) {
        count.store(n, std::memory_order_relaxed);
        return !stop.load(std::memory_order_relaxed);
      });
    } catch (...) {
      failure = std::current_exception();
    }
    done.store(true, std::memory_order_release);
  });

  // The window goes on with its events; ten times a second the count is
  // shown and a stop (the cancel button, the stop command, closing) is
  // handed to the search.
  QEventLoop loop;
  QTimer tick;
  tick.setInterval(100);
  bool shown = false;
  auto poll = [&] {
    if (stopRequested_) stop.store(true, std::memory_order_relaxed);
    if (done.load(std::memory_order_acquire)) {
      loop.quit();
      return;
    }
    if (!shown) {
      btnSearchCancel->show();
      shown = true;
    }
    SetStatusText(2, WinText(TWinText::AddingFolder).arg(count.load(std::memory_order_relaxed)));
  };
  connect(&tick, &QTimer::timeout, &loop, poll);
  tick.start();
  if (!done.load(std::memory_order_acquire)) loop.exec();
  tick.stop();
  worker.join();

  btnSearchCancel->hide();
  SetStatusText(2, before);
  const bool cancelled = stop.load() || stopRequested_;
  stopRequested_ = false;
  adding_ = false;
  ApplyCommandState();
  if (failure && !cancelled) std::rethrow_exception(failure);
  if (cancelled) return false;
  found = std::move(result);
  return true;
}

}  // namespace imprimo
