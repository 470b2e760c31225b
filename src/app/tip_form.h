#pragma once
// The tip window: one tip picked at random from Tips.ini each time it shows,
// and the box that stops it from showing at start.
#include <QDialog>
#include <QString>
#include <functional>
#include <random>

class QCheckBox;
class QLabel;
class QPlainTextEdit;

namespace app {

class TTipForm : public QDialog {
  Q_OBJECT
 public:
  static constexpr int kDefaultWidth = 386;
  static constexpr int kDefaultHeight = 254;

  // `tipsFile` is read each time a tip is shown; a missing file shows nothing.
  explicit TTipForm(QString tipsFile, QWidget* parent = nullptr);

  void ShowTip();
  QString Title() const;
  QString Content() const;

  // The box was ticked (false: never show) or unticked (true).
  std::function<void(bool displayTips)> OnDisplayTipsChanged;
  // The window closed: the options are saved so that the choice holds.
  std::function<void()> OnClosed;

 protected:
  void showEvent(QShowEvent* event) override;
  void done(int result) override;

 private:
  QString FTipsFile;
  std::mt19937 FRandom;
  QLabel* Label1 = nullptr;
  QPlainTextEdit* memo1 = nullptr;
  QCheckBox* chkTip = nullptr;
};

// Tips.ini in the program folder when the person keeps one there, else the
// one delivered with the program.
QString TipsFilePath(const QString& programFolder);

}  // namespace app
