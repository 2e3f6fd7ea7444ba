#include "gui/about_dialog.h"

#include <QApplication>
#include <QByteArray>
#include <QDesktopServices>
#include <QEvent>
#include <QFont>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <filesystem>
#include <system_error>

#include "gui/app_icon.h"
#include "gui/form_controls.h"
#include "gui/form_translation.h"
#include "platform/version.h"

namespace imprimo {

namespace {

constexpr int kLeftWidth = 123;

// The addresses are stored XOR-ed with a running key and base64-encoded, so
// they do not show as plain text in the program file.
QString Unscramble(const char* stored) {
  QByteArray bytes = QByteArray::fromBase64(QByteArray(stored));
  for (qsizetype i = 0; i < bytes.size(); ++i)
    bytes[i] = char(static_cast<unsigned char>(bytes[i]) ^ ((0x5A + 7 * i) & 0xFF));
  return QString::fromUtf8(bytes);
}

constexpr const char* kHomePageStored = "MhUcHwVHq6T18NTP29eSoKW897aLnYaSb2Y9dm5VA1pXMTomOzI=";
constexpr const char* kEmailStored = "KRQYHxkP8Mv79NDVx9jT7quhqPGJn5M=";

// A label that looks and acts like a link: the palette's link colour (blue
// on light schemes, a light blue on dark ones), underlined, hand pointer,
// and a click runs `onClick`.
class LinkLabel : public QLabel {
 public:
  LinkLabel(const QString& text, std::function<void()> onClick, QWidget* parent)
      : QLabel(text, parent), onClick_(std::move(onClick)) {
    QFont f = font();
    f.setUnderline(true);
    setFont(f);
    // The text is drawn in the foreground role, which follows a changed
    // palette; a colour of its own would vanish on some schemes.
    setForegroundRole(QPalette::Link);
    setCursor(Qt::PointingHandCursor);
  }

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
      onClick_();
    QLabel::mouseReleaseEvent(event);
  }

 private:
  std::function<void()> onClick_;
};

QPixmap ProductPicture() {
  constexpr int kSize = 48;
  QPixmap pixmap(kSize, kSize);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  PaintAppIcon(p, kSize);
  return pixmap;
}

}  // namespace

QString ProgramVersion() { return QString::fromLatin1(kProgramVersion); }
QString HomePageAddress() { return Unscramble(kHomePageStored); }
QString SupportEmailAddress() { return Unscramble(kEmailStored); }

TfrmAbout::TfrmAbout(const std::string& programFolder, UrlOpener opener, QWidget* parent)
    : QDialog(parent), opener_(std::move(opener)) {
  setObjectName(QStringLiteral("frmAbout"));
  setWindowTitle(QStringLiteral("About"));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);

  auto* outer = new QHBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  outer->setSpacing(0);

  ImageLeft = new QLabel(this);
  ImageLeft->setObjectName(QStringLiteral("ImageLeft"));
  ImageLeft->setFixedWidth(kLeftWidth);
  ImageLeft->setMinimumHeight(kClientHeight);
  ImageLeft->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
  // A missing or unreadable picture leaves the panel empty.
  if (const QPixmap logo = LeftLogoPixmap(programFolder, QSize(kLeftWidth, kClientHeight));
      !logo.isNull())
    ImageLeft->setPixmap(logo);
  outer->addWidget(ImageLeft);

  auto* right = new QVBoxLayout;
  right->setContentsMargins(16, 10, 14, 10);
  right->setSpacing(3);
  outer->addLayout(right, 1);

  auto* top = new QHBoxLayout;
  ImageProduct = new QLabel(this);
  ImageProduct->setObjectName(QStringLiteral("ImageProduct"));
  ImageProduct->setPixmap(ProductPicture());
  top->addWidget(ImageProduct);
  auto* name = new QLabel(QStringLiteral("Imprimo"), this);
  name->setObjectName(QStringLiteral("lbProduct"));
  QFont big = name->font();
  big.setPointSizeF(big.pointSizeF() * 1.8);
  big.setBold(true);
  name->setFont(big);
  top->addWidget(name, 1);
  right->addLayout(top);
  right->addSpacing(4);

  lbVersion = new QLabel(UiText(TTextId::VersionCaption).arg(ProgramVersion()), this);
  lbVersion->setObjectName(QStringLiteral("lbVersion"));
  right->addWidget(lbVersion);
  lbNotice = new QLabel(QStringLiteral("Watermarks your pictures by the thousand."), this);
  lbNotice->setObjectName(QStringLiteral("lbNotice"));
  right->addWidget(lbNotice);
  right->addSpacing(6);

  // Each address has a line of its own under its caption, so a long one
  // is never cut off by the fixed width.
  const auto addLink = [&](const QString& caption, const QString& address, const char* name,
                           void (TfrmAbout::*click)()) {
    auto* heading = new QLabel(caption, this);
    heading->setObjectName(QString::fromLatin1(name) + QStringLiteral("Caption"));
    right->addWidget(heading);
    auto* link = new LinkLabel(
        address, [this, click] { (this->*click)(); }, this);
    link->setObjectName(QString::fromLatin1(name));
    link->setContentsMargins(12, 0, 0, 0);
    link->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Preferred);
    right->addWidget(link, 0, Qt::AlignLeft);
    return link;
  };
  lbHomePage = addLink(QStringLiteral("Home Page:"), HomePageAddress(), "lbHomePage",
                       &TfrmAbout::lbHomePageClick);
  right->addSpacing(2);
  lbEmail = addLink(QStringLiteral("E-mail:"), SupportEmailAddress(), "lbEmail",
                    &TfrmAbout::lbEmailClick);
  right->addStretch(1);
  // Names, numbers and addresses that no language changes.
  for (QWidget* fixed : std::initializer_list<QWidget*>{lbVersion, lbHomePage, lbEmail, name})
    MarkFixedText(*fixed);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  btnClose = new QPushButton(QStringLiteral("&Close"), this);
  btnClose->setObjectName(QStringLiteral("btnClose"));
  btnClose->setDefault(true);
  connect(btnClose, &QPushButton::clicked, this, &QDialog::accept);
  buttons->addWidget(btnClose);
  right->addLayout(buttons);

  TranslateWindow(*this, "TfrmAbout");
  // The design's size, grown where a language or a large font needs more.
  const QSize size = QSize(kClientWidth, kClientHeight).expandedTo(sizeHint());
  setFixedSize(size);
  if (const QScreen* screen = parent ? parent->screen() : QApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    move(area.x() + (area.width() - size.width()) / 2,
         area.y() + (area.height() - size.height()) / 2);
  }
}

bool TfrmAbout::HasLeftPicture() const { return !ImageLeft->pixmap().isNull(); }

void TfrmAbout::lbHomePageClick() { OpenUrl(QUrl(HomePageAddress())); }

void TfrmAbout::lbEmailClick() { OpenUrl(QUrl(QStringLiteral("mailto:") + SupportEmailAddress())); }

void TfrmAbout::OpenUrl(const QUrl& url) {
  // The result of the desktop's open is not looked at.
  if (opener_)
    opener_(url);
  else
    QDesktopServices::openUrl(url);
}

}  // namespace imprimo
