#include "app/option_form.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include "app/option_texts.h"
#include "appcore/schedule.h"
#include "engine/kavo_burner.h"
#include "platform/autostart.h"
#include "platform/program_folder.h"
#include "ui/dialogs.h"

namespace app {

namespace {

namespace texts = option_texts;

QColor FromBgr(std::int32_t bgr) {
  const auto v = static_cast<std::uint32_t>(bgr);
  return QColor(int(v & 0xFFu), int((v >> 8) & 0xFFu), int((v >> 16) & 0xFFu));
}

std::int32_t ToBgr(const QColor& c) {
  return static_cast<std::int32_t>(std::uint32_t(c.red()) | (std::uint32_t(c.green()) << 8) |
                                   (std::uint32_t(c.blue()) << 16));
}

// A radio pair stored as two keys: an unusual file may set both or neither;
// the first of the pair wins unless only the second is set.
void SetPair(QRadioButton* first, QRadioButton* second, bool firstOn, bool secondOn) {
  if (secondOn && !firstOn)
    second->setChecked(true);
  else
    first->setChecked(true);
}

bool SessionTextValid(const QString& text, int& value) {
  bool ok = false;
  value = text.trimmed().toInt(&ok);
  return ok && value >= -128 && value <= 127;
}

}  // namespace

TOptionForm::TOptionForm(appcore::Options& options, engine::TKavoBurner& burner, const QString& programFolder,
                         const std::string& currentDrive, QWidget* parent)
    : QDialog(parent),
      FOptions(options),
      FBurner(burner),
      FProgramFolder(programFolder),
      FSkins(QDir(programFolder).filePath(QStringLiteral("Skins")),
             QDir(QString::fromStdString(platform::ShippedDataFolder())).filePath(QStringLiteral("Skins"))) {
  setObjectName(QStringLiteral("TOptionForm"));
  setWindowTitle(texts::kCaption);
  setAccessibleName(texts::kCaption);
  resize(520, 460);

  auto* box = new QVBoxLayout(this);
  FPages = new QTabWidget(this);
  FPages->setObjectName(QStringLiteral("PageControl1"));
  FPages->addTab(BuildGeneralPage(), texts::kPageGeneral);
  FPages->addTab(BuildBurningPage(), texts::kPageBurning);
  FPages->addTab(BuildSchedulePage(), texts::kPageSchedule);
  FPages->addTab(BuildSoundPage(), texts::kPageSound);
  FPages->addTab(BuildInterfacePage(), texts::kPageInterface);
  box->addWidget(FPages, 1);

  auto* buttons = new QDialogButtonBox(this);
  btnOK = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
  btnCancel = buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
  btnOK->setObjectName(QStringLiteral("btnOK"));
  btnCancel->setObjectName(QStringLiteral("btnCancel"));
  btnOK->setDefault(true);
  box->addWidget(buttons);
  // The buttons' own handlers decide whether the window closes.
  connect(btnOK, &QPushButton::clicked, this, &TOptionForm::btnOKClick);
  connect(btnCancel, &QPushButton::clicked, this, &TOptionForm::btnCancelClick);
  connect(&FTestPlayer, &ui::SoundPlayer::Failed, this,
          [this] { ui::CurrentDialogs().Inform(this, texts::kSoundFailed, texts::kInformation); });

  Load(currentDrive);
}

TOptionForm::~TOptionForm() = default;

QString TOptionForm::OptionFilePath() const {
  return QDir(FProgramFolder).filePath(QLatin1String(appcore::kOptionFileName));
}

void TOptionForm::SetShippedSkinsFolder(const QString& folder) {
  FSkins = ui::SkinStore(FSkins.UserFolder(), folder);
  ApplySkin(false);
  FillSkinList();
}

void TOptionForm::SetBackgroundApplier(std::function<QString(const appcore::Options&)> applier) {
  FBackgroundApplier = std::move(applier);
  // The last step of loading: the start window gets its background; a bad
  // picture is reported and the program goes on.
  if (!ApplyBackground().isEmpty()) ui::CurrentDialogs().Inform(this, texts::kBackgroundLoadFailed, texts::kInformation);
}

void TOptionForm::ShowPage(Page page) { FPages->setCurrentIndex(static_cast<int>(page)); }

void TOptionForm::Load(const std::string& currentDrive) {
  FOptions.LoadFromFile(OptionFilePath().toStdString(), currentDrive);
  FCurrentSkin = QString::fromStdString(FOptions.Skin);
  OptionsToControls();
  ApplyToBurnerAndRunTime();
  ApplySkin(false);
}

void TOptionForm::OptionsToControls() {
  const appcore::Options& o = FOptions;
  chkEjectNoDisc->setChecked(o.EjectNoDisc);
  chkEjectDone->setChecked(o.EjectDone);
  chkExit->setChecked(o.ExitProgram);
  chkClose->setChecked(o.CloseComputer);
  chkTip->setChecked(o.DisplayTips);
  chkDetect->setChecked(o.DetectNewVersion);
  edtBuffer->setValue(o.BufferMiB());  // moves the slider too

  cArchiveOnly->setChecked(o.ArchiveFiles);
  cImportSession->setChecked(o.ImportSession);
  eSession->setText(QString::fromStdString(o.SessionNo));
  cCloseTrack->setChecked(o.CloseTrack);
  cCloseDisc->setChecked(o.CloseDisc);
  cUnderrunProtection->setChecked(o.UnderrunProtection);
  cJoliet->setChecked(o.JolietFS);
  cRockRidge->setChecked(o.RockRidge);
  cBootable->setChecked(o.Bootable);
  labBootImage->setText(QString::fromStdString(o.BootImage));
  cTestWrite->setChecked(o.TestWrite);
  cQuickSaveISO->setChecked(o.QuickSaveISO);
  cShowFiles->setChecked(o.ShowFiles);
  cOPC->setChecked(o.PerformOPC);
  cChecksums->setChecked(o.Checksums);

  chkAutoExe->setChecked(o.AutoExecute);
  chkLog->setChecked(o.RecordLog);
  chkInform->setChecked(o.InformTaskDone);
  // "Hide" is the default of this pair: only a file that says "show" and
  // not "hide" shows.
  SetPair(rdbHide, rdbShow, o.HideWindow, o.DisplayWindow);
  SetPair(rdbQuery, rdbCancel, o.Query, o.CancelTask);
  FillDriveList();

  for (std::size_t i = 0; i < appcore::kSoundEventCount; ++i) {
    const appcore::SoundOptions& s = o.Sounds[i];
    FSoundRows[i].Enable->setChecked(s.Enabled);
    SetPair(FSoundRows[i].Default, FSoundRows[i].Custom, s.UseDefault, s.UseCustom);
    FSoundRows[i].File->setText(QString::fromStdString(s.File));
  }

  if (o.BackgroundImage && !o.BackgroundColor && !o.BackgroundGradient)
    rdbImage->setChecked(true);
  else if (o.BackgroundGradient && !o.BackgroundColor)
    rdbGradient->setChecked(true);
  else
    rdbColor->setChecked(true);
  SetSwatch(sctColor, FColor = o.BkColor);
  SetSwatch(sctTop, FTopColor = o.BkStartColor);
  SetSwatch(sctBottom, FBottomColor = o.BkEndColor);
  edtImage->setText(QString::fromStdString(o.BkImage));
}

void TOptionForm::ControlsToOptions() {
  appcore::Options& o = FOptions;
  o.EjectNoDisc = chkEjectNoDisc->isChecked();
  o.EjectDone = chkEjectDone->isChecked();
  o.ExitProgram = chkExit->isChecked();
  o.CloseComputer = chkClose->isChecked();
  o.DisplayTips = chkTip->isChecked();
  o.DetectNewVersion = chkDetect->isChecked();
  o.Buffer = QString::number(edtBuffer->value()).toStdString();

  o.ArchiveFiles = cArchiveOnly->isChecked();
  o.ImportSession = cImportSession->isChecked();
  o.SessionNo = eSession->text().trimmed().toStdString();
  o.CloseTrack = cCloseTrack->isChecked();
  o.CloseDisc = cCloseDisc->isChecked();
  o.UnderrunProtection = cUnderrunProtection->isChecked();
  o.JolietFS = cJoliet->isChecked();
  o.RockRidge = cRockRidge->isChecked();
  o.Bootable = cBootable->isChecked();
  o.BootImage = labBootImage->text().toStdString();
  o.TestWrite = cTestWrite->isChecked();
  o.QuickSaveISO = cQuickSaveISO->isChecked();
  o.ShowFiles = cShowFiles->isChecked();
  o.PerformOPC = cOPC->isChecked();
  o.Checksums = cChecksums->isChecked();

  o.AutoExecute = chkAutoExe->isChecked();
  o.RecordLog = chkLog->isChecked();
  o.Drive = cmbDrive->currentText().toStdString();
  o.InformTaskDone = chkInform->isChecked();
  o.DisplayWindow = rdbShow->isChecked();
  o.HideWindow = rdbHide->isChecked();
  o.Query = rdbQuery->isChecked();
  o.CancelTask = rdbCancel->isChecked();

  for (std::size_t i = 0; i < appcore::kSoundEventCount; ++i) {
    appcore::SoundOptions& s = o.Sounds[i];
    s.Enabled = FSoundRows[i].Enable->isChecked();
    s.UseDefault = FSoundRows[i].Default->isChecked();
    s.UseCustom = FSoundRows[i].Custom->isChecked();
    s.File = FSoundRows[i].File->text().toStdString();
  }

  o.BackgroundColor = rdbColor->isChecked();
  o.BackgroundGradient = rdbGradient->isChecked();
  o.BackgroundImage = rdbImage->isChecked();
  o.BkColor = FColor;
  o.BkStartColor = FTopColor;
  o.BkEndColor = FBottomColor;
  o.BkImage = edtImage->text().toStdString();
  o.Skin = FCurrentSkin.toStdString();
}

void TOptionForm::ApplyToBurnerAndRunTime() {
  FOptions.ApplyToBurner(FBurner);
  FOptions.UpdateRunTime();
}

void TOptionForm::ApplySkin(bool reportFailure) {
  const QString file = FCurrentSkin == QLatin1String(ui::kNoSkin) ? QString() : FSkins.FileOf(FCurrentSkin);
  QString error;
  if (FCurrentSkin != QLatin1String(ui::kNoSkin) && file.isEmpty())
    error = QStringLiteral("There is no skin named \"%1\".").arg(FCurrentSkin);
  else
    error = ui::ApplySkinFile(file);
  if (!error.isEmpty() && reportFailure) ui::CurrentDialogs().Inform(this, error, texts::kInformation);
}

QString TOptionForm::ApplyBackground() const {
  if (FBackgroundApplier) return FBackgroundApplier(FOptions);
  if (!FOptions.BackgroundImage) return {};
  const QString file = QString::fromStdString(FOptions.BkImage);
  QImageReader reader(file);
  if (file.isEmpty() || reader.read().isNull()) return texts::kBackgroundOkFailed.arg(file);
  return {};
}

void TOptionForm::FillDriveList() {
  cmbDrive->clear();
  for (const std::string& drive : FBurner.DeviceList()) cmbDrive->addItem(QString::fromStdString(drive));
  const QString stored = QString::fromStdString(FOptions.Drive);
  // A drive that is not attached now is kept, so that saving does not lose it.
  if (!stored.isEmpty() && cmbDrive->findText(stored) < 0) cmbDrive->addItem(stored);
  cmbDrive->setCurrentIndex(cmbDrive->findText(stored));
}

void TOptionForm::DrivesScanned(const std::string& selected) {
  const QString shown = cmbDrive->currentText();
  FillDriveList();
  const QString keep = shown.isEmpty() ? QString::fromStdString(selected) : shown;
  if (keep.isEmpty()) return;
  if (cmbDrive->findText(keep) < 0) cmbDrive->addItem(keep);
  cmbDrive->setCurrentIndex(cmbDrive->findText(keep));
}

void TOptionForm::FillSkinList() {
  ltbSkin->clear();
  ltbSkin->addItems(FSkins.Names());
  ltbSkin->setCurrentRow(0);
  const auto found = ltbSkin->findItems(FCurrentSkin, Qt::MatchExactly);
  if (!found.isEmpty()) ltbSkin->setCurrentItem(found.first());
}

QString TOptionForm::SelectedSkin() const {
  const QListWidgetItem* item = ltbSkin->currentItem();
  return item != nullptr ? item->text() : QString();
}

void TOptionForm::SetSwatch(QFrame* swatch, std::int32_t bgr) {
  swatch->setStyleSheet(QStringLiteral("QFrame { background-color: %1; border: 1px solid #606060; }")
                            .arg(FromBgr(bgr).name()));
  swatch->setToolTip(FromBgr(bgr).name());
}

void TOptionForm::ChooseColor(QFrame* swatch, std::int32_t& bgr) {
  const QColor chosen = ui::CurrentDialogs().Color(this, FromBgr(bgr), texts::kSelectColor);
  if (!chosen.isValid()) return;
  bgr = ToBgr(chosen);
  SetSwatch(swatch, bgr);
}

void TOptionForm::showEvent(QShowEvent* event) {
  // Other windows change some options while this one is hidden (the burn
  // dialog's boxes mirror them); show what holds now.
  if (!event->spontaneous()) OptionsToControls();
  FillSkinList();
  QDialog::showEvent(event);
}

void TOptionForm::closeEvent(QCloseEvent* event) {
  FTestPlayer.Stop();
  QDialog::closeEvent(event);
}

void TOptionForm::reject() { btnCancelClick(); }

void TOptionForm::btnOKClick() {
  int session = 0;
  if (cImportSession->isChecked() && !SessionTextValid(eSession->text(), session)) {
    ui::CurrentDialogs().Inform(this, texts::kSessionInvalid.arg(eSession->text()), texts::kInformation);
    ShowPage(Page::Burning);
    eSession->setFocus();
    return;
  }
  if (ltbSkin->currentItem() == nullptr && ltbSkin->count() > 0) ltbSkin->setCurrentRow(0);
  const QString selectedSkin = SelectedSkin().isEmpty() ? QString::fromLatin1(ui::kNoSkin) : SelectedSkin();

  ControlsToOptions();
  ApplyToBurnerAndRunTime();
  if (FOptions.ImportSessionZeroWarning()) ui::CurrentDialogs().Inform(this, texts::kSessionZero, texts::kInformation);

  FCurrentSkin = selectedSkin;
  FOptions.Skin = FCurrentSkin.toStdString();
  ApplySkin(true);

  const appcore::ScheduleStore schedule(FProgramFolder.toStdString());
  const std::size_t tasks = schedule.LoadList(appcore::Today()).size();
  if (base::Status s = appcore::UpdateScheduledStart(FOptions.AutoExecute, tasks, platform::ExecutablePath()); !s)
    ui::CurrentDialogs().Inform(this, texts::kAutostartFailed.arg(QString::fromStdString(s.Err().Message)),
                                texts::kInformation);

  // A picture that cannot be loaded stops OK here: nothing is saved and the
  // window stays open with everything the person changed.
  if (const QString error = ApplyBackground(); !error.isEmpty()) {
    ui::CurrentDialogs().Inform(this, error, texts::kInformation);
    ShowPage(Page::Interface);
    edtImage->setFocus();
    return;
  }

  if (base::Status s = FOptions.SaveToFile(OptionFilePath().toStdString(), FBurner.CacheSize()); !s) {
    ui::CurrentDialogs().Inform(this, texts::kSaveFailed.arg(QString::fromStdString(s.Err().Message)),
                                texts::kInformation);
    return;
  }
  emit OptionsApplied();
  FTestPlayer.Stop();
  accept();
}

void TOptionForm::MirroredOptionsChanged() {
  const appcore::Options& o = FOptions;
  chkEjectDone->setChecked(o.EjectDone);
  cCloseDisc->setChecked(o.CloseDisc);
  cTestWrite->setChecked(o.TestWrite);
  cBootable->setChecked(o.Bootable);
  cShowFiles->setChecked(o.ShowFiles);
}

void TOptionForm::SetDisplayTips(bool display) {
  chkTip->setChecked(display);
  FOptions.DisplayTips = display;
}

bool TOptionForm::SaveOptions() {
  if (base::Status s = FOptions.SaveToFile(OptionFilePath().toStdString(), FBurner.CacheSize()); !s) {
    ui::CurrentDialogs().Inform(this, texts::kSaveFailed.arg(QString::fromStdString(s.Err().Message)),
                                texts::kInformation);
    return false;
  }
  return true;
}

void TOptionForm::btnCancelClick() {
  // Nothing is saved or applied, but the edits stay: values other windows
  // read live follow them at once. What OK applies (the burner, the
  // run-time flags such as import session, archive only and quick save)
  // keeps the values of the last OK.
  ControlsToOptions();
  FTestPlayer.Stop();
  QDialog::reject();
}

void TOptionForm::btnShowLogClick() {
  const appcore::ScheduleStore schedule(FProgramFolder.toStdString());
  const QString log = QString::fromStdString(schedule.LogPath());
  if (!QFileInfo(log).isFile()) {
    ui::CurrentDialogs().Inform(this, texts::kNoLog, texts::kInformation);
    return;
  }
  QDesktopServices::openUrl(QUrl::fromLocalFile(log));
}

void TOptionForm::btnImportClick() {
  const QString file = ui::CurrentDialogs().OpenFileName(this, QStringLiteral("Import Skins"), {}, texts::kSkinFilter);
  if (file.isEmpty()) return;
  if (const QString error = FSkins.Import(file); !error.isEmpty())
    ui::CurrentDialogs().Inform(this, error, texts::kInformation);
  FillSkinList();
}

void TOptionForm::btnExportClick() {
  const QString name = SelectedSkin();
  if (FSkins.FileOf(name).isEmpty()) {
    ui::CurrentDialogs().Inform(this, QStringLiteral("Select a skin to export."), texts::kInformation);
    return;
  }
  const QString target = ui::CurrentDialogs().SaveFileName(this, QStringLiteral("Export Skins"),
                                                           name + QLatin1String(ui::kSkinExtension), texts::kSkinFilter);
  if (target.isEmpty()) return;
  if (const QString error = FSkins.Export(name, target); !error.isEmpty())
    ui::CurrentDialogs().Inform(this, error, texts::kInformation);
}

void TOptionForm::btnDeleteClick() {
  const QString name = SelectedSkin();
  if (FSkins.FileOf(name).isEmpty()) {
    ui::CurrentDialogs().Inform(this, QStringLiteral("Select a skin to delete."), texts::kInformation);
    return;
  }
  if (ui::CurrentDialogs().Message(this, texts::kInformation, texts::kDeleteSkin, ui::MessageIcon::Question,
                                   ui::Yes | ui::No, ui::No) != ui::Yes)
    return;
  if (const QString error = FSkins.Delete(name); !error.isEmpty()) {
    ui::CurrentDialogs().Inform(this, error, texts::kInformation);
    return;
  }
  // A shipped skin of the same name may show through again.
  FillSkinList();
}

void TOptionForm::btnPlayClick() {
  const int index = cmbSound->currentIndex();
  if (index < 0 || std::size_t(index) >= FSoundRows.size()) return;
  const SoundRow& row = FSoundRows[std::size_t(index)];
  if (row.Custom->isChecked() && row.File->text().trimmed().isEmpty()) {
    FTestPlayer.Stop();
    ui::CurrentDialogs().Inform(this, texts::kSoundFailed, texts::kInformation);
    return;
  }
  FTestPlayer.Play(row.Custom->isChecked() ? row.File->text() : QString());
}

void TOptionForm::btnPauseClick() { FTestPlayer.PauseResume(); }

void TOptionForm::btnStopClick() { FTestPlayer.Stop(); }

}  // namespace app
