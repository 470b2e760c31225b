#include "ui/dialogs.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QMessageBox>

namespace ui {

namespace {

class QtDialogs final : public Dialogs {
 public:
  Button Message(QWidget* parent, const QString& caption, const QString& text, MessageIcon icon, Buttons buttons,
                 Button defaultButton) override {
    QMessageBox box(parent);
    box.setWindowTitle(caption);
    box.setText(text);
    box.setIcon(icon == MessageIcon::Question  ? QMessageBox::Question
                : icon == MessageIcon::Warning ? QMessageBox::Warning
                : icon == MessageIcon::Critical ? QMessageBox::Critical
                                                : QMessageBox::Information);
    QMessageBox::StandardButtons std;
    if (buttons & Ok) std |= QMessageBox::Ok;
    if (buttons & Cancel) std |= QMessageBox::Cancel;
    if (buttons & Yes) std |= QMessageBox::Yes;
    if (buttons & No) std |= QMessageBox::No;
    box.setStandardButtons(std);
    const int answer = box.exec();
    if (answer == QMessageBox::Ok) return Ok;
    if (answer == QMessageBox::Cancel) return Cancel;
    if (answer == QMessageBox::Yes) return Yes;
    if (answer == QMessageBox::No) return No;
    return defaultButton;
  }
  QString OpenFileName(QWidget* parent, const QString& caption, const QString& dir, const QString& filter) override {
    return QFileDialog::getOpenFileName(parent, caption, dir, filter);
  }
  QStringList OpenFileNames(QWidget* parent, const QString& caption, const QString& dir,
                            const QString& filter) override {
    return QFileDialog::getOpenFileNames(parent, caption, dir, filter);
  }
  QString SaveFileName(QWidget* parent, const QString& caption, const QString& dir, const QString& filter) override {
    return QFileDialog::getSaveFileName(parent, caption, dir, filter);
  }
  QString ExistingDirectory(QWidget* parent, const QString& caption, const QString& dir) override {
    return QFileDialog::getExistingDirectory(parent, caption, dir);
  }
  QColor Color(QWidget* parent, const QColor& initial, const QString& caption) override {
    return QColorDialog::getColor(initial, parent, caption);
  }
};

Dialogs* gCurrent = nullptr;

}  // namespace

Dialogs& CurrentDialogs() {
  if (gCurrent == nullptr) {
    static QtDialogs fallback;
    return fallback;
  }
  return *gCurrent;
}

void SetDialogs(Dialogs* dialogs) { gCurrent = dialogs; }

}  // namespace ui
