#pragma once
// The bar along the main window's bottom edge whose length stands for the
// size of the task: the full design width (969 pixels) is 5250 MB.
#include <QWidget>
#include <cstdint>

namespace ui {

class SizeBar : public QWidget {
  Q_OBJECT
 public:
  explicit SizeBar(QWidget* parent = nullptr);
  // `width` counts pixels of the design width; the bar scales it to its own.
  void SetBar(std::int64_t width, const QString& hint);
  std::int64_t BarWidth() const { return FWidth; }
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::int64_t FWidth = 0;
};

}  // namespace ui
