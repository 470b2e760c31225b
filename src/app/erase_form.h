#pragma once
// The erase dialog: drive, method and speed, then the main window's quick or
// complete erase; progress, elapsed and remaining time while it runs.
// Drive work (speed list, readiness) runs on the burner's worker, never on
// the window's thread.
#include <QDialog>
#include <QString>
#include <functional>
#include <string>
#include <vector>

class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;

namespace engine {
class TKavoBurner;
}

namespace appcore {
class DriveJobs;
}

namespace app {

class TEraseForm : public QDialog {
  Q_OBJECT
 public:
  TEraseForm(engine::TKavoBurner& burner, appcore::DriveJobs& jobs, QWidget* parent = nullptr);
  ~TEraseForm() override;

  enum class State { Ready, Checking, Running, Done };
  State CurrentState() const { return FState; }

  // Handlers, named after the control and the event.
  void FormShow();
  void cmbMethodChange(int index);
  void btnEraseClick();
  void btnAbortClick();
  void btnCancelClick();

  // What the main window's routines read and write.
  QString SelectedDrive() const;
  QString SelectedSpeed() const;
  bool QuickMethod() const;
  // The bar and its percentage, as the burner tells them; the clocks are ShowClocks'.
  void ShowProgress(int percent);
  // The end of a blanking: Abort hidden, the bar full after success; then,
  // once the person has read the end message, Cancel ("&Finish") enabled.
  void ShowEnd(bool withError);
  void AllowClose(bool success);
  void ShowClocks(const QString& elapsed, const QString& remain);
  bool SpeedListReady() const { return FSpeedsFilled; }

  // A ready drive: the main window starts the quick or complete erase.
  std::function<void()> OnStart;
  // Shown (true) and closed (false): the main and start windows follow.
  std::function<void(bool open)> OnOpenChanged;

 signals:
  void SpeedListFilled();

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void reject() override;

 private:
  void SetState(State state);
  void SpeedsFilled(std::vector<std::string> speeds);
  void ReadinessChecked(bool started, bool ready, const QString& drive);

  engine::TKavoBurner& FBurner;
  appcore::DriveJobs& FJobs;
  State FState = State::Ready;
  bool FSpeedsFilled = false;
  bool FOpen = false;

  QComboBox* cmbDrive = nullptr;
  QComboBox* cmbMethod = nullptr;
  QComboBox* cmbSpeed = nullptr;
  QLabel *Label3 = nullptr, *Label4 = nullptr, *Label5 = nullptr, *Label6 = nullptr, *Label7 = nullptr;
  QProgressBar* pbprogress = nullptr;
  QLabel* labProgress = nullptr;
  QLabel* LabElapse = nullptr;
  QLabel* LabRemain = nullptr;
  QPushButton* btnErase = nullptr;
  QPushButton* btnCancel = nullptr;
  QPushButton* btnAbort = nullptr;
};

}  // namespace app
