#pragma once
// The burn, copy and image dialog: the settings of one operation, the wait
// for a disc, the autorun file, then the progress and the log while the main
// window's routines run the burner.
#include <QDialog>
#include <QImage>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>

#include "appcore/burn_job.h"
#include "appcore/drive_jobs.h"
#include "base/cancel_token.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPrinter;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTextEdit;
class QTimer;
class QToolButton;
class QWidget;

class QTextDocument;

namespace appcore {
struct DiscCopySource;
}

namespace ui {
class DialogInteraction;
}

namespace app {

class TForm1;

// The user state of a log block that holds a written line.
inline constexpr int kLogLineState = 1;
// The log as rich text: one paragraph per line in its colour.
QByteArray LogAsRtf(const QTextDocument& document);

class TBurningForm : public QDialog {
  Q_OBJECT
 public:
  explicit TBurningForm(TForm1& main, QWidget* parent = nullptr);
  ~TBurningForm() override;

  // "Burn", "Copy", "BuildISO" or "BurnISO".
  void Setup(const QString& mode);
  const QString& Mode() const { return FMode; }
  // Set when the main window opened the dialog: closing shows it again.
  void SetReturnToMain(bool v) { FReturnToMain = v; }
  bool ReturnToMain() const { return FReturnToMain; }
  bool ImageFileFlag() const { return FImageFile; }
  const QString& IconPath() const { return FIconPath; }

  // Start: the readiness wait when a drive is written, then the mode's start.
  void btnStartBurnClick();
  // True from Start until the wait for a disc has its answer.
  bool Waiting() const { return FWaitTries >= 0; }
  // Ends a wait for a disc and its open question: the program is closing.
  void EndWait() {
    if (FWaitCancel) FWaitCancel->Cancel();
  }
  // True while the drive is asked for the speed list; a Start meanwhile
  // waits for it.
  bool SpeedListFilling() const { return FFilling > 0; }
  // A start that ended without an operation (no disc, the wait cancelled,
  // a check refused): nothing will come through the write-done event.
  std::function<void()> OnStartDropped;

  // One file into the root of the task, checked, with its size.
  void AddToRoot(const QString& path);
  // Fills a speed combo from the selected drive off the window's thread;
  // `done` runs on this thread when the list is there.
  void FillSpeedList(QComboBox* combo, std::function<void()> done = {});

  // Progress and log buttons.
  void btnAbortClick();
  void btnCloseTrackClick();
  void btnSaveISOClick();
  void btnEjectClick();
  void btnSaveLogClick();
  void btnPrintClick();
  void btnClearClick();
  void btnCancelClick();
  // The printer set-up and print dialogs, in turn; false when either is
  // cancelled. Tests answer them.
  std::function<bool(QPrinter& printer)> PrintDialogs;

  // The first icon of an executable, null when it has none or is no
  // executable; the auto-run icon choice shows it.
  std::function<QImage(const QString& path)> FirstExeIcon;
  // The pause after Retry before the drive is tested again.
  int RetryPauseMs = 5000;

  // The log as plain text lines.
  QStringList LogLines() const;
  // After the options window's OK: the option boxes show the options.
  void OptionsApplied();

 signals:
  // One of the boxes the options window mirrors changed.
  void OptionBoxesChanged();

 public:

  // Controls the main window's routines write to.
  QGroupBox *gpbPreference = nullptr, *gpbOption = nullptr, *gpbBurnISO = nullptr, *gpbCopy = nullptr,
            *gpbProgress = nullptr, *gpbIcon = nullptr, *gpbAutoRun = nullptr;
  QLabel *LabLabel = nullptr, *labISO = nullptr, *imgIcon = nullptr;
  QLineEdit *edtLabel = nullptr, *edtISO = nullptr, *edtIcon = nullptr, *edtAutoRun = nullptr,
            *edtSourceISO = nullptr;
  QToolButton *btnBrowseISO = nullptr, *btnBrowseIcon = nullptr, *btnBrowseAutoRun = nullptr,
              *btnBrowseSourceISO = nullptr;
  QCheckBox *chkQuick = nullptr, *chkAutoRun = nullptr;
  QRadioButton *rdbBlank = nullptr, *rdbCustom = nullptr, *rdbAutoIcon = nullptr, *rdbDual = nullptr;
  QComboBox *cbspeed = nullptr, *cmbDriveISO = nullptr, *cmbSource = nullptr, *cmbDestination = nullptr;
  // Shown only for a Blu-ray disc formatted with spare areas.
  QCheckBox* chkStreaming = nullptr;
  QLabel* labSpareNote = nullptr;
  QCheckBox *cCloseDisc = nullptr, *cTestWrite = nullptr, *cEject = nullptr, *cBootable = nullptr,
            *cShowFiles = nullptr;
  QPushButton *btnAdvance = nullptr, *btnStartBurn = nullptr, *btnCancel = nullptr;
  QLabel *lSize = nullptr, *labFinished = nullptr, *labElapse = nullptr, *labRemain = nullptr,
         *labProgress = nullptr;
  QProgressBar *pcd = nullptr, *pBuf = nullptr, *pHBuf = nullptr;
  QWidget *PanSoftBuff = nullptr, *PanDeviceBuff = nullptr;
  QTextEdit* memo1 = nullptr;
  QPushButton *btnSaveLog = nullptr, *btnPrint = nullptr, *btnClear = nullptr, *btnAbort = nullptr,
              *btnSaveISO = nullptr, *btnCloseTrack = nullptr, *btnEject = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void reject() override;

 private:
  QWidget* BuildPreference();
  QWidget* BuildOptions();
  QWidget* BuildBurnISO();
  QWidget* BuildCopy();
  QWidget* BuildProgress();
  void BindOptionBoxes();
  void CopyOptionBoxes();
  void BindIconControls();
  void FormShow();

  // Icon preview.
  void rdbBlankClick();
  void rdbCustomClick();
  void rdbAutoIconClick();
  void LoadIconPreview(const QString& path);
  bool LoadAutoRunIcon(bool report);
  void ClearPreview();

  // Start.
  // The wait for a disc in the drive the mode writes, as a drive job; its
  // question comes to this window as a message box. Without `ask`, one test.
  void WaitForDisc(bool ask);
  void WaitAnswered(bool ready, bool asked);
  void Dispatch();
  void StartDropped();
  bool PrepareAutoRun();
  bool PrepareAutoRunFiles();
  bool EnsureTempFolder();
  void OpenLog(bool imageBuild);
  void ShowProgress(const QString& caption, const QString& ejectCaption, bool hideStart);
  void BurnStart();
  void ImageBuildStart();
  void ImageBurnStart();
  void CopyStart();
  void CopySourceOpened(std::shared_ptr<appcore::DiscCopySource> source);
  QString MainDriveText() const;
  // The drive the mode writes: the image's or the copy's destination, else
  // the main window's.
  QString TargetDriveText() const;
  appcore::JobKind ModeKind() const;
  // The request an operation of `kind` starts with: the options as they
  // stand with this dialog's boxes, speed and label.
  appcore::BurnJobRequest JobRequest(appcore::JobKind kind) const;

  TForm1& FMain;
  QString FMode;
  bool FReturnToMain = false;
  bool FImageFile = true;
  QString FIconPath;
  QImage FPreview;
  // Readiness wait: -1 idle, 0 waiting.
  int FWaitTries = -1;
  base::CancelTokenPtr FWaitCancel;  // ends the wait when the dialog closes
  std::shared_ptr<ui::DialogInteraction> FQuestions;
  bool FClosing = false;
  // Speed lists being filled: the drive is busy answering them.
  int FFilling = 0;
  bool FStartPending = false;
  // Closed between Start and the operation's own start: it does not come.
  bool FDropStart = false;
  bool StartStillWanted();
  void SpeedListFilled();
  // Asks the drive the mode writes whether its disc is a Blu-ray disc with
  // spare areas; the streaming choice is offered only then.
  void ReadSpareAreas();
  void ShowSpareAreas(std::uint32_t blocks);
  // Hands the streaming choice to the burner, and says it in the log.
  void ApplyStreamingChoice();
  void LogStreamingChoice();
  // Spare blocks of the disc the dialog last asked about; 0 without them.
  std::uint32_t FSpareBlocks = 0;
  // Bumped by each Setup so that a late speed list of an earlier use is dropped.
  unsigned FUse = 0;
};

}  // namespace app
