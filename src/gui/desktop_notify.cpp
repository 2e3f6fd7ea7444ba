#include "gui/desktop_notify.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QLabel>
#include <QLayout>
#include <QVariantMap>
#include <QWidget>
#include <algorithm>

#include "gui/window_texts.h"

namespace imprimo {

QString DurationText(qint64 seconds) {
  seconds = std::max<qint64>(seconds, 0);
  const qint64 h = seconds / 3600, m = seconds / 60 % 60, s = seconds % 60;
  if (h > 0)
    return QStringLiteral("%1:%2:%3")
        .arg(h)
        .arg(m, 2, 10, QLatin1Char('0'))
        .arg(s, 2, 10, QLatin1Char('0'));
  return QStringLiteral("%1:%2").arg(m).arg(s, 2, 10, QLatin1Char('0'));
}

QString RunProgressText(int done, int rows, qint64 elapsedMs) {
  // A guess needs one finished picture and a measurable time.
  if (done <= 0 || done >= rows || elapsedMs <= 0)
    return WinText(TWinText::ProgressCountsNoTime).arg(done).arg(rows);
  const qint64 leftMs = elapsedMs * (rows - done) / done;
  return WinText(TWinText::ProgressCounts)
      .arg(done)
      .arg(rows)
      .arg(DurationText((leftMs + 999) / 1000));
}

TDesktopNotify::TDesktopNotify(QString desktopId) : desktopId_(std::move(desktopId)) {}

namespace {

// The taskbar entry's properties as one LauncherEntry "Update" signal.
void SendLauncherUpdate(const QString& desktopId, const QVariantMap& properties) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return;
  QDBusMessage update =
      QDBusMessage::createSignal(QStringLiteral("/org/imprimo/Imprimo/launcher"),
                                 QLatin1String(kLauncherEntryInterface), QStringLiteral("Update"));
  update << QStringLiteral("application://%1.desktop").arg(desktopId) << properties;
  bus.send(update);
}

}  // namespace

void TDesktopNotify::SetTaskbarProgress(double fraction) {
  const int permille = int(std::clamp(fraction, 0.0, 1.0) * 1000);
  if (permille == lastPermille_) return;  // one signal per visible step
  lastPermille_ = permille;
  SendLauncherUpdate(desktopId_, {{QStringLiteral("progress"), permille / 1000.0},
                                  {QStringLiteral("progress-visible"), true}});
}

void TDesktopNotify::ClearTaskbarProgress() {
  lastPermille_ = -1;
  SendLauncherUpdate(
      desktopId_, {{QStringLiteral("progress"), 0.0}, {QStringLiteral("progress-visible"), false}});
}

bool TDesktopNotify::Notify(const QString& summary, const QString& body) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return false;
  QDBusMessage call = QDBusMessage::createMethodCall(
      QLatin1String(kNotificationsService), QLatin1String(kNotificationsPath),
      QLatin1String(kNotificationsService), QStringLiteral("Notify"));
  const QVariantMap hints{{QStringLiteral("desktop-entry"), desktopId_}};
  call << QStringLiteral("Imprimo") << uint(0) << desktopId_ << summary << body << QStringList()
       << hints << int(-1);
  // Without a service the bus answers with an error nobody waits for.
  call.setAutoStartService(true);
  return bus.send(call);
}

void TRunFeedback::Start(int rows, QWidget* bar) {
  rows_ = rows;
  running_ = true;
  clock_.start();
  if (!counts_ && bar && bar->layout()) {
    counts_ = new QLabel(bar);
    counts_->setObjectName(QStringLiteral("lblProgressCounts"));
    bar->layout()->addWidget(counts_);
  }
  if (counts_) counts_->setText(RunProgressText(0, rows_, 0));
  desktop_.SetTaskbarProgress(0);
}

void TRunFeedback::ImageDone(int done) {
  if (!running_) return;
  if (counts_) counts_->setText(RunProgressText(done, rows_, clock_.elapsed()));
  desktop_.SetTaskbarProgress(rows_ > 0 ? double(done) / rows_ : 1.0);
}

void TRunFeedback::End(int succeeded, int failed, const QWidget& window) {
  if (!running_) return;
  running_ = false;
  desktop_.ClearTaskbarProgress();
  if (!window.isActiveWindow())
    desktop_.Notify(WinText(TWinText::NotificationTitle),
                    WinText(TWinText::NotificationFinished).arg(succeeded).arg(failed));
}

}  // namespace imprimo
