// The run's desktop feedback: the counts and time left, the notification at
// the end of a run and the taskbar progress, seen by a stand-in
// notification service and a listener on a private session bus.
#include "gui/desktop_notify.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QTest>
#include <memory>

#include "app/settings.h"
#include "gui/window_fixture.h"

namespace imprimo {

// Stands in for the desktop's notification service and records what it is
// asked to show; also listens to the taskbar entry's updates.
class FakeDesktop : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

 public:
  struct Shown {
    QString app, icon, summary, body;
  };
  std::vector<Shown> shown;
  std::vector<QVariantMap> updates;
  QString updatedApp;

 public slots:
  uint Notify(const QString& app, uint, const QString& icon, const QString& summary,
              const QString& body, const QStringList&, const QVariantMap&, int) {
    shown.push_back({app, icon, summary, body});
    return uint(shown.size());
  }
  void Update(const QString& app, const QVariantMap& properties) {
    updatedApp = app;
    updates.push_back(properties);
  }
};

namespace {

using testing_gui::WindowFixture;

TEST(RunProgressText, CountsThenTimeLeft) {
  EXPECT_EQ(RunProgressText(0, 40, 0), QStringLiteral("0 of 40"));
  EXPECT_EQ(RunProgressText(0, 40, 5000), QStringLiteral("0 of 40"));
  EXPECT_EQ(RunProgressText(10, 40, 15000), QStringLiteral("10 of 40 - 0:45 left"));
  EXPECT_EQ(RunProgressText(1, 3, 40000), QStringLiteral("1 of 3 - 1:20 left"));
  EXPECT_EQ(RunProgressText(40, 40, 60000), QStringLiteral("40 of 40"));
  // Partial seconds round up: a run is never promised to end sooner.
  EXPECT_EQ(RunProgressText(3, 4, 1001), QStringLiteral("3 of 4 - 0:01 left"));
  EXPECT_EQ(DurationText(3600), QStringLiteral("1:00:00"));
  EXPECT_EQ(DurationText(3 * 3600 + 5 * 60 + 9), QStringLiteral("3:05:09"));
  EXPECT_EQ(DurationText(-4), QStringLiteral("0:00"));
}

class DesktopBusTest : public WindowFixture {
 protected:
  void SetUp() override {
    WindowFixture::SetUp();
    if (!QDBusConnection::sessionBus().isConnected())
      GTEST_SKIP() << "no session bus (run under dbus-run-session)";
    // The service sits on a connection of its own, as a real one would.
    service_ = std::make_unique<QDBusConnection>(
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("fake")));
    ASSERT_TRUE(service_->isConnected());
    ASSERT_TRUE(service_->registerObject(QLatin1String(kNotificationsPath), &fake_,
                                         QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(service_->registerService(QLatin1String(kNotificationsService)));
    ASSERT_TRUE(service_->connect(QString(), QString(), QLatin1String(kLauncherEntryInterface),
                                  QStringLiteral("Update"), &fake_,
                                  SLOT(Update(QString, QVariantMap))));
  }
  void TearDown() override {
    if (service_) {
      service_->unregisterService(QLatin1String(kNotificationsService));
      service_->unregisterObject(QLatin1String(kNotificationsPath));
      service_.reset();
      QDBusConnection::disconnectFromBus(QStringLiteral("fake"));
    }
    WindowFixture::TearDown();
  }

  FakeDesktop fake_;
  std::unique_ptr<QDBusConnection> service_;
};

TEST_F(DesktopBusTest, NotificationAndTaskbarProgressReachTheDesktop) {
  TDesktopNotify desktop;
  EXPECT_TRUE(desktop.Notify(QStringLiteral("Summary"), QStringLiteral("Body")));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !fake_.shown.empty(); }, 5000));
  EXPECT_EQ(fake_.shown[0].app, QStringLiteral("Imprimo"));
  EXPECT_EQ(fake_.shown[0].icon, QStringLiteral("org.imprimo.Imprimo"));
  EXPECT_EQ(fake_.shown[0].summary, QStringLiteral("Summary"));
  EXPECT_EQ(fake_.shown[0].body, QStringLiteral("Body"));

  desktop.SetTaskbarProgress(0.25);
  desktop.SetTaskbarProgress(0.25);  // no change, no signal
  desktop.SetTaskbarProgress(2.0);   // held to the range
  desktop.ClearTaskbarProgress();
  ASSERT_TRUE(QTest::qWaitFor([&] { return fake_.updates.size() >= 3; }, 5000));
  QTest::qWait(100);
  ASSERT_EQ(fake_.updates.size(), 3u);
  EXPECT_EQ(fake_.updatedApp, QStringLiteral("application://org.imprimo.Imprimo.desktop"));
  EXPECT_DOUBLE_EQ(fake_.updates[0].value(QStringLiteral("progress")).toDouble(), 0.25);
  EXPECT_TRUE(fake_.updates[0].value(QStringLiteral("progress-visible")).toBool());
  EXPECT_DOUBLE_EQ(fake_.updates[1].value(QStringLiteral("progress")).toDouble(), 1.0);
  EXPECT_FALSE(fake_.updates[2].value(QStringLiteral("progress-visible")).toBool());
}

TEST_F(DesktopBusTest, AbsentServiceIsNoError) {
  service_->unregisterService(QLatin1String(kNotificationsService));
  TDesktopNotify desktop;
  EXPECT_TRUE(desktop.Notify(QStringLiteral("Nobody"), QStringLiteral("listens")));
  desktop.SetTaskbarProgress(0.5);
  QTest::qWait(200);
  EXPECT_TRUE(fake_.shown.empty());
}

TEST_F(DesktopBusTest, RunOfAnInactiveWindowEndsWithANotification) {
  TSettings settings;
  TProgramValues values;
  values.Jobs = 1;
  SaveSettings(folder_, settings, values);
  const std::string in = (root_ / "in").string() + "/";
  QStringList paths;
  for (int i = 0; i < 3; ++i) {
    WriteImage(in + "img" + std::to_string(i) + ".jpg", 40 + i, 30, "JPEG");
    paths << QString::fromStdString(in + "img" + std::to_string(i) + ".jpg");
  }
  WriteTemplate();
  TfrmMain& w = Open();
  w.DragDropMDrop(paths);
  w.findChild<QLineEdit*>("edtOutPath")->setText(QString::fromStdString(out_));
  std::vector<QString> counts;
  QLabel* label = nullptr;
  // The counts label appears with the run; its texts are kept as it goes.
  QObject::connect(w.findChild<QProgressBar*>("pbM"), &QProgressBar::valueChanged, [&](int) {
    if (!label) label = w.findChild<QLabel*>(QStringLiteral("lblProgressCounts"));
    if (label && (counts.empty() || counts.back() != label->text()))
      counts.push_back(label->text());
  });
  // Another window has the focus, as when the user works elsewhere.
  QWidget elsewhere;
  elsewhere.show();
  elsewhere.activateWindow();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !w.isActiveWindow(); }, 5000));
  w.findChild<QAction*>(QStringLiteral("actProcess"))->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !fake_.shown.empty(); }, 5000));
  EXPECT_EQ(fake_.shown[0].summary, QStringLiteral("Imprimo: processing finished"));
  EXPECT_EQ(fake_.shown[0].body, QStringLiteral("3 succeeded, 0 failed."));
  ASSERT_NE(label, nullptr);
  ASSERT_FALSE(counts.empty());
  EXPECT_EQ(counts.front(), QStringLiteral("0 of 3"));
  EXPECT_EQ(label->text(), QStringLiteral("3 of 3"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !fake_.updates.empty(); }, 5000));
  QTest::qWait(100);
  EXPECT_FALSE(fake_.updates.back().value(QStringLiteral("progress-visible")).toBool());

  // A run the user watches ends without one.
  w.activateWindow();
  ASSERT_TRUE(QTest::qWaitFor([&] { return w.isActiveWindow(); }, 5000));
  const size_t updates = fake_.updates.size();
  w.findChild<QAction*>(QStringLiteral("actProcess"))->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return fake_.updates.size() > updates + 1; }, 5000));
  QTest::qWait(300);
  EXPECT_EQ(fake_.shown.size(), 1u);
}

}  // namespace
}  // namespace imprimo

#include "desktop_notify_test.moc"
