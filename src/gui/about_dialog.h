// The About box: product picture, version, a notice, and the home-page and
// support addresses as links.
#pragma once

#include <QDialog>
#include <QString>
#include <QUrl>
#include <functional>
#include <string>

class QLabel;
class QPushButton;

namespace imprimo {

// The program's version, set once by the build.
QString ProgramVersion();
// The product's home page (also the update page) and support e-mail. Both
// are kept in a scrambled form and unscrambled on each use.
QString HomePageAddress();
QString SupportEmailAddress();

class TfrmAbout : public QDialog {
  Q_OBJECT

 public:
  // Opens an address with the desktop; tests replace it.
  using UrlOpener = std::function<void(const QUrl& url)>;

  static constexpr int kClientWidth = 414;
  static constexpr int kClientHeight = 273;

  // programFolder ends with "/" and is where leftlogo.bmp is looked for.
  explicit TfrmAbout(const std::string& programFolder, UrlOpener opener = {},
                     QWidget* parent = nullptr);

  // True when leftlogo.bmp was found and shown.
  bool HasLeftPicture() const;

  void lbHomePageClick();
  void lbEmailClick();

 private:
  void OpenUrl(const QUrl& url);

  UrlOpener opener_;
  QLabel* ImageLeft = nullptr;
  QLabel* ImageProduct = nullptr;
  QLabel* lbVersion = nullptr;
  QLabel* lbNotice = nullptr;
  QLabel* lbHomePage = nullptr;
  QLabel* lbEmail = nullptr;
  QPushButton* btnClose = nullptr;
};

}  // namespace imprimo
