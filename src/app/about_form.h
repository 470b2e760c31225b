#pragma once
// The about box: product, version and the systems it was made for.
#include <QDialog>

namespace app {

class TAboutForm : public QDialog {
  Q_OBJECT
 public:
  explicit TAboutForm(const QString& versionText, QWidget* parent = nullptr);
};

}  // namespace app
