#pragma once
// The options window: five pages over appcore::Options. The window edits a
// copy in its controls; OK applies it to the burner, the skin and the start
// window, updates the log-on entry and saves Option.ini.
#include <QDialog>
#include <QString>
#include <array>
#include <functional>

#include "appcore/options.h"
#include "ui/skins.h"
#include "ui/sound_player.h"

class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QSlider;
class QSpinBox;
class QTabWidget;
class QToolButton;

namespace engine {
class TKavoBurner;
}

namespace app {

class TOptionForm : public QDialog {
  Q_OBJECT
 public:
  // Loads Option.ini from `programFolder` (missing keys take defaults) and
  // applies it; `currentDrive` is the default of the schedule drive.
  TOptionForm(appcore::Options& options, engine::TKavoBurner& burner, const QString& programFolder,
              const std::string& currentDrive, QWidget* parent = nullptr);
  ~TOptionForm() override;
  // The drives found once the window exists: the list is filled again,
  // keeping what it shows, else showing `selected`.
  void DrivesScanned(const std::string& selected);

  // Where the skins delivered with the program lie (default: the data
  // folder next to the program).
  void SetShippedSkinsFolder(const QString& folder);
  // The start window's background: returns an error text when the picture
  // cannot be loaded. Without one, OK checks the picture itself.
  void SetBackgroundApplier(std::function<QString(const appcore::Options&)> applier);

  enum class Page { General, Burning, Schedule, Sound, Interface };
  void ShowPage(Page page);

  QString OptionFilePath() const;
  const ui::SkinStore& Skins() const { return FSkins; }
  // The current skin name ("None" for none).
  const QString& CurrentSkin() const { return FCurrentSkin; }

  // The tip window's box: the option follows at once.
  void SetDisplayTips(bool display);
  // The burn dialog changed one of the boxes it mirrors (close disc, test
  // write, bootable, show files, eject): the controls here show it, so that
  // OK or Cancel does not write back what they held before.
  void MirroredOptionsChanged();
  // Writes the options in force to Option.ini; false (and a message) when it cannot.
  bool SaveOptions();

  // Handlers, named after the control and the event.
  void btnOKClick();
  void btnCancelClick();
  void btnShowLogClick();
  void btnImportClick();
  void btnExportClick();
  void btnDeleteClick();
  void btnPlayClick();
  void btnPauseClick();
  void btnStopClick();

 signals:
  // After Load and after OK: the start and main windows follow.
  void OptionsApplied();

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void reject() override;

 private:
  struct SoundRow {
    QCheckBox* Enable = nullptr;
    QRadioButton* Default = nullptr;
    QRadioButton* Custom = nullptr;
    QLineEdit* File = nullptr;
    QToolButton* Browse = nullptr;
  };

  QWidget* BuildGeneralPage();
  QWidget* BuildBurningPage();
  QWidget* BuildSchedulePage();
  QWidget* BuildSoundPage();
  QWidget* BuildInterfacePage();

  void Load(const std::string& currentDrive);
  void OptionsToControls();
  void ControlsToOptions();
  void ApplyToBurnerAndRunTime();
  void ApplySkin(bool reportFailure);
  QString ApplyBackground() const;
  void FillSkinList();
  void FillDriveList();
  void SetSwatch(QFrame* swatch, std::int32_t bgr);
  void ChooseColor(QFrame* swatch, std::int32_t& bgr);
  QString SelectedSkin() const;

  appcore::Options& FOptions;
  engine::TKavoBurner& FBurner;
  QString FProgramFolder;
  ui::SkinStore FSkins;
  QString FCurrentSkin;
  std::function<QString(const appcore::Options&)> FBackgroundApplier;
  ui::SoundPlayer FTestPlayer;
  // The colours the swatches show (0x00BBGGRR).
  std::int32_t FColor = 0, FTopColor = 0, FBottomColor = 0;

  QTabWidget* FPages = nullptr;
  // General
  QCheckBox *chkEjectNoDisc = nullptr, *chkEjectDone = nullptr, *chkExit = nullptr, *chkClose = nullptr,
            *chkTip = nullptr, *chkDetect = nullptr;
  QSpinBox* edtBuffer = nullptr;
  QSlider* tkbBuffer = nullptr;
  // Burning
  QCheckBox *cArchiveOnly = nullptr, *cImportSession = nullptr, *cCloseTrack = nullptr, *cCloseDisc = nullptr,
            *cUnderrunProtection = nullptr, *cJoliet = nullptr, *cRockRidge = nullptr, *cBootable = nullptr, *cTestWrite = nullptr,
            *cQuickSaveISO = nullptr, *cShowFiles = nullptr, *cOPC = nullptr, *cChecksums = nullptr;
  QLineEdit* eSession = nullptr;
  QLabel* labBootImage = nullptr;
  // Schedule
  QCheckBox *chkAutoExe = nullptr, *chkLog = nullptr, *chkInform = nullptr;
  QComboBox* cmbDrive = nullptr;
  QRadioButton *rdbShow = nullptr, *rdbHide = nullptr, *rdbQuery = nullptr, *rdbCancel = nullptr;
  QPushButton* btnShowLog = nullptr;
  // Sound
  std::array<SoundRow, appcore::kSoundEventCount> FSoundRows;
  QComboBox* cmbSound = nullptr;
  QToolButton *btnPlay = nullptr, *btnPause = nullptr, *btnStop = nullptr;
  // Interface
  QRadioButton *rdbColor = nullptr, *rdbGradient = nullptr, *rdbImage = nullptr;
  QFrame *sctColor = nullptr, *sctTop = nullptr, *sctBottom = nullptr;
  QToolButton *btnColor = nullptr, *btnTop = nullptr, *btnBottom = nullptr, *btnImage = nullptr;
  QLineEdit* edtImage = nullptr;
  QListWidget* ltbSkin = nullptr;
  QPushButton *btnImport = nullptr, *btnExport = nullptr, *btnDelete = nullptr;
  QPushButton *btnOK = nullptr, *btnCancel = nullptr;
};

}  // namespace app
