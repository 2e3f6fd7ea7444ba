// Tells the desktop about a run of the window: its progress on the taskbar
// entry (the LauncherEntry signal docks and task managers read), "n of N"
// with the time left beside the progress bar, and a notification at its end
// when the window is not the active one (the Notifications service).
// Neither service is required: without a session bus, or with nobody
// listening, nothing is shown and nothing fails.
#pragma once

#include <QElapsedTimer>
#include <QPointer>
#include <QString>

class QLabel;
class QWidget;

namespace imprimo {

inline constexpr const char* kNotificationsService = "org.freedesktop.Notifications";
inline constexpr const char* kNotificationsPath = "/org/freedesktop/Notifications";
inline constexpr const char* kLauncherEntryInterface = "com.canonical.Unity.LauncherEntry";

// A duration as m:ss, or h:mm:ss from an hour on.
QString DurationText(qint64 seconds);

// "12 of 40 - 1:05 left" once the time left can be guessed from the time so
// far, "12 of 40" before.
QString RunProgressText(int done, int rows, qint64 elapsedMs);

// The two desktop services, by their D-Bus interfaces. Calls are sent
// without waiting for an answer.
class TDesktopNotify {
 public:
  explicit TDesktopNotify(QString desktopId = QStringLiteral("org.imprimo.Imprimo"));

  // The taskbar entry shows fraction (0..1) as its progress; Clear hides it.
  void SetTaskbarProgress(double fraction);
  void ClearTaskbarProgress();
  // Shows a notification; false when there is no session bus to send it on.
  bool Notify(const QString& summary, const QString& body);

 private:
  QString desktopId_;
  int lastPermille_ = -1;
};

// A run's feedback, from its start to its end.
class TRunFeedback {
 public:
  // rows: the run's rows; bar: the progress bar's row, which gets the
  // counts beside the bar.
  void Start(int rows, QWidget* bar);
  void ImageDone(int done);
  // The notification goes out only when window is not the active one.
  void End(int succeeded, int failed, const QWidget& window);

 private:
  TDesktopNotify desktop_;
  QPointer<QLabel> counts_;
  QElapsedTimer clock_;
  int rows_ = 0;
  bool running_ = false;
};

}  // namespace imprimo
