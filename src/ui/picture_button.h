#pragma once
// A round-rectangle picture button without a caption: the picture carries the
// label, so the accessible name must be set by whoever makes the button.
#include <QAbstractButton>
#include <QPixmap>

namespace ui {

class PictureButton : public QAbstractButton {
  Q_OBJECT
 public:
  PictureButton(const QString& picture, const QString& accessibleName, QWidget* parent = nullptr);
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  QPixmap FPicture;
  bool FHover = false;
};

}  // namespace ui
