// The drop-down menu button: opens its menu under itself after the ordinary
// click handlers, and shows the focus in bold.
#include "gui/menu_btn.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMenu>
#include <QWidget>
#include <memory>

#include "support/qt_application.h"

namespace imprimo {
namespace {

using ::imprimo::testing::EnsureApplication;

TEST(MenuBtnTest, ClickRunsHandlersThenOpensTheMenuAtTheBottomLeftCorner) {
  EnsureApplication();
  QWidget host;
  host.resize(200, 100);
  auto* button = new TMenuBtn(&host);
  button->setGeometry(30, 20, 24, 22);
  host.show();
  EXPECT_TRUE(button->text().isEmpty());
  EXPECT_FALSE(button->icon().isNull());

  int handled = 0;
  QObject::connect(button, &QPushButton::clicked, [&] { ++handled; });
  button->click();  // no menu yet: only the handler runs
  EXPECT_EQ(handled, 1);

  QMenu menu;
  menu.addAction(QStringLiteral("Avatar (100x75)"));
  button->SetPopupMenu(&menu);
  EXPECT_EQ(button->PopupMenu(), &menu);
  button->click();
  EXPECT_EQ(handled, 2);
  ASSERT_TRUE(menu.isVisible());
  EXPECT_EQ(menu.pos(), button->mapToGlobal(QPoint(0, button->height())));
  menu.hide();
}

TEST(MenuBtnTest, FocusMakesTheFontBold) {
  EnsureApplication();
  QWidget host;
  auto* button = new TMenuBtn(&host);
  auto* other = new TMenuBtn(&host);
  other->move(40, 0);
  host.show();
  host.activateWindow();
  QApplication::setActiveWindow(&host);
  button->setFocus(Qt::TabFocusReason);
  QApplication::processEvents();
  if (!button->hasFocus()) GTEST_SKIP() << "the platform gives no keyboard focus";
  EXPECT_TRUE(button->font().bold());
  other->setFocus(Qt::TabFocusReason);
  QApplication::processEvents();
  EXPECT_FALSE(button->font().bold());
  EXPECT_TRUE(other->font().bold());
}

}  // namespace
}  // namespace imprimo
