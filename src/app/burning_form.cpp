#include "app/burning_form.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDate>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPixmap>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <memory>
#include <tuple>

#include "app/burning_texts.h"
#include "app/main_form.h"
#include "appcore/speed_list.h"
#include "engine/device/media_types.h"
#include "engine/kavo_burner.h"
#include "ui/dialog_interaction.h"
#include "ui/dialogs.h"

namespace app {

namespace {

QString Text(const char* s) { return QString::fromUtf8(s); }

template <typename T>
T* Named(T* widget, const char* name) {
  widget->setObjectName(Text(name));
  return widget;
}

QToolButton* BrowseButton(QWidget* parent, const char* name, const QString& what) {
  auto* button = Named(new QToolButton(parent), name);
  button->setText(QStringLiteral("..."));
  button->setAccessibleName(QStringLiteral("Browse for ") + what);
  button->setToolTip(button->accessibleName());
  return button;
}

QLabel* Caption(QWidget* parent, const char* text, QWidget* buddy = nullptr) {
  auto* label = new QLabel(Text(text), parent);
  if (buddy != nullptr) label->setBuddy(buddy);
  return label;
}

}  // namespace

TBurningForm::TBurningForm(TForm1& main, QWidget* parent) : QDialog(parent), FMain(main) {
  setObjectName(QStringLiteral("TBurningForm"));
  setWindowTitle(Text(texts::kCaptionBurn));
  // A window of its own: the main window hides while it is open.
  setWindowFlag(Qt::Window, true);
  setWindowFlag(Qt::WindowMinimizeButtonHint, true);
  FQuestions = std::make_shared<ui::DialogInteraction>(this);

  auto* outer = new QVBoxLayout(this);
  auto* top = new QHBoxLayout();
  top->addWidget(BuildPreference(), 3);
  top->addWidget(BuildOptions(), 2);
  outer->addLayout(top);
  outer->addWidget(BuildBurnISO());
  outer->addWidget(BuildCopy());
  outer->addWidget(BuildProgress(), 1);

  auto* notes = new QVBoxLayout();
  for (const char* note : {texts::kNoteRw, texts::kNoteClosed}) {
    auto* label = new QLabel(Text(note), this);
    label->setWordWrap(true);
    notes->addWidget(label);
  }
  auto* bottom = new QHBoxLayout();
  bottom->addLayout(notes, 1);
  btnCancel = Named(new QPushButton(Text(texts::kCancelButton), this), "btnCancel");
  bottom->addWidget(btnCancel, 0, Qt::AlignBottom);
  outer->addLayout(bottom);
  connect(btnCancel, &QPushButton::clicked, this, &TBurningForm::btnCancelClick);

  BindOptionBoxes();
  BindIconControls();
  resize(640, 520);
  Setup(Text(texts::kModeBurn));
  FImageFile = true;  // as at program start, before any setup ran
}

TBurningForm::~TBurningForm() = default;

QWidget* TBurningForm::BuildPreference() {
  gpbPreference = Named(new QGroupBox(Text(texts::kPreference), this), "gpbPreference");
  auto* box = new QVBoxLayout(gpbPreference);
  auto* names = new QGridLayout();
  edtLabel = Named(new QLineEdit(gpbPreference), "edtLabel");
  LabLabel = Named(Caption(gpbPreference, texts::kVolumeLabel, edtLabel), "LabLabel");
  edtLabel->setAccessibleName(LabLabel->text());
  edtISO = Named(new QLineEdit(gpbPreference), "edtISO");
  labISO = Named(Caption(gpbPreference, texts::kIsoFileName, edtISO), "labISO");
  edtISO->setAccessibleName(labISO->text());
  btnBrowseISO = BrowseButton(gpbPreference, "btnBrowseISO", QStringLiteral("the .ISO file"));
  chkQuick = Named(new QCheckBox(Text(texts::kQuickSave), gpbPreference), "chkQuick");
  names->addWidget(LabLabel, 0, 0);
  names->addWidget(edtLabel, 0, 1, 1, 2);
  names->addWidget(labISO, 1, 0);
  names->addWidget(edtISO, 1, 1);
  names->addWidget(btnBrowseISO, 1, 2);
  names->addWidget(chkQuick, 2, 1, 1, 2);
  names->setColumnStretch(1, 1);
  box->addLayout(names);

  gpbIcon = Named(new QGroupBox(Text(texts::kDiskIcon), gpbPreference), "gpbIcon");
  auto* icon = new QGridLayout(gpbIcon);
  imgIcon = Named(new QLabel(gpbIcon), "imgIcon");
  imgIcon->setFixedSize(32, 32);
  imgIcon->setFrameShape(QFrame::StyledPanel);
  imgIcon->setAccessibleName(QStringLiteral("Icon preview"));
  rdbBlank = Named(new QRadioButton(Text(texts::kBlankIcon), gpbIcon), "rdbBlank");
  rdbCustom = Named(new QRadioButton(Text(texts::kCustomIcon), gpbIcon), "rdbCustom");
  rdbAutoIcon = Named(new QRadioButton(Text(texts::kAutoRunIcon), gpbIcon), "rdbAutoIcon");
  edtIcon = Named(new QLineEdit(gpbIcon), "edtIcon");
  edtIcon->setAccessibleName(QStringLiteral("Icon file"));
  btnBrowseIcon = BrowseButton(gpbIcon, "btnBrowseIcon", QStringLiteral("the icon file"));
  icon->addWidget(imgIcon, 0, 0, 3, 1, Qt::AlignTop);
  icon->addWidget(rdbBlank, 0, 1, 1, 2);
  icon->addWidget(rdbCustom, 1, 1, 1, 2);
  icon->addWidget(rdbAutoIcon, 2, 1, 1, 2);
  icon->addWidget(edtIcon, 3, 1);
  icon->addWidget(btnBrowseIcon, 3, 2);
  icon->setColumnStretch(1, 1);
  box->addWidget(gpbIcon);

  gpbAutoRun = Named(new QGroupBox(Text(texts::kAutoRunGroup), gpbPreference), "gpbAutoRun");
  auto* autorun = new QGridLayout(gpbAutoRun);
  chkAutoRun = Named(new QCheckBox(Text(texts::kUseAutoRun), gpbAutoRun), "chkAutoRun");
  edtAutoRun = Named(new QLineEdit(gpbAutoRun), "edtAutoRun");
  btnBrowseAutoRun = BrowseButton(gpbAutoRun, "btnBrowseAutoRun", QStringLiteral("the auto-run file"));
  autorun->addWidget(chkAutoRun, 0, 0, 1, 3);
  autorun->addWidget(Caption(gpbAutoRun, texts::kFileThatAutoRuns, edtAutoRun), 1, 0);
  autorun->addWidget(edtAutoRun, 1, 1);
  autorun->addWidget(btnBrowseAutoRun, 1, 2);
  autorun->setColumnStretch(1, 1);
  edtAutoRun->setAccessibleName(Text(texts::kFileThatAutoRuns));
  box->addWidget(gpbAutoRun);
  box->addStretch(1);

  connect(btnBrowseISO, &QToolButton::clicked, this, [this] {
    QString path = ui::CurrentDialogs().SaveFileName(this, labISO->text(), edtISO->text(), Text(texts::kIsoFilter));
    if (path.isEmpty()) return;
    if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".iso");
    edtISO->setText(path);
  });
  connect(btnBrowseAutoRun, &QToolButton::clicked, this, [this] {
    const QString path = ui::CurrentDialogs().OpenFileName(this, Text(texts::kFileThatAutoRuns), edtAutoRun->text(),
                                                           Text(texts::kExeFilter));
    if (!path.isEmpty()) edtAutoRun->setText(path);
  });
  connect(btnBrowseIcon, &QToolButton::clicked, this, [this] {
    const QString path =
        ui::CurrentDialogs().OpenFileName(this, Text(texts::kDiskIcon), edtIcon->text(), Text(texts::kIconFilter));
    if (!path.isEmpty()) edtIcon->setText(path);
  });
  return gpbPreference;
}

QWidget* TBurningForm::BuildOptions() {
  gpbOption = Named(new QGroupBox(Text(texts::kOptionsGroup), this), "gpbOption");
  auto* box = new QVBoxLayout(gpbOption);
  cbspeed = Named(new QComboBox(gpbOption), "cbspeed");
  cbspeed->setEditable(false);
  cbspeed->setMinimumContentsLength(18);
  box->addWidget(Caption(gpbOption, texts::kBurningSpeed, cbspeed));
  box->addWidget(cbspeed);
  cbspeed->setAccessibleName(Text(texts::kBurningSpeed));
  chkStreaming = Named(new QCheckBox(Text(texts::kStreaming), gpbOption), "chkStreaming");
  labSpareNote = Named(new QLabel(gpbOption), "labSpareNote");
  labSpareNote->setWordWrap(true);
  box->addWidget(chkStreaming);
  box->addWidget(labSpareNote);
  ShowSpareAreas(0);
  cCloseDisc = Named(new QCheckBox(Text(texts::kCloseDisk), gpbOption), "cCloseDisc");
  cTestWrite = Named(new QCheckBox(Text(texts::kTestWrite), gpbOption), "cTestWrite");
  cEject = Named(new QCheckBox(Text(texts::kEjectAfter), gpbOption), "cEject");
  cBootable = Named(new QCheckBox(Text(texts::kBootable), gpbOption), "cBootable");
  cShowFiles = Named(new QCheckBox(Text(texts::kShowFiles), gpbOption), "cShowFiles");
  cCloseDisc->setChecked(true);
  cEject->setChecked(true);
  for (QCheckBox* b : {cCloseDisc, cTestWrite, cEject, cBootable, cShowFiles}) box->addWidget(b);
  box->addStretch(1);
  auto* buttons = new QHBoxLayout();
  btnAdvance = Named(new QPushButton(Text(texts::kAdvance), gpbOption), "btnAdvance");
  btnStartBurn = Named(new QPushButton(Text(texts::kStart), gpbOption), "btnStartBurn");
  btnStartBurn->setDefault(true);
  buttons->addWidget(btnAdvance);
  buttons->addWidget(btnStartBurn);
  box->addLayout(buttons);
  connect(btnAdvance, &QPushButton::clicked, this, [this] {
    if (FMain.OnOptions) FMain.OnOptions();
  });
  connect(btnStartBurn, &QPushButton::clicked, this, &TBurningForm::btnStartBurnClick);
  return gpbOption;
}

QWidget* TBurningForm::BuildBurnISO() {
  gpbBurnISO = Named(new QGroupBox(Text(texts::kBurnISOGroup), this), "gpbBurnISO");
  auto* grid = new QGridLayout(gpbBurnISO);
  edtSourceISO = Named(new QLineEdit(gpbBurnISO), "edtSourceISO");
  edtSourceISO->setReadOnly(true);
  edtSourceISO->setAccessibleName(Text(texts::kSourceISO));
  btnBrowseSourceISO = BrowseButton(gpbBurnISO, "btnBrowseSourceISO", QStringLiteral("the source .ISO file"));
  cmbDriveISO = Named(new QComboBox(gpbBurnISO), "cmbDriveISO");
  cmbDriveISO->setAccessibleName(Text(texts::kDestinationDrive));
  grid->addWidget(Caption(gpbBurnISO, texts::kSourceISO, edtSourceISO), 0, 0);
  grid->addWidget(edtSourceISO, 0, 1);
  grid->addWidget(btnBrowseSourceISO, 0, 2);
  grid->addWidget(Caption(gpbBurnISO, texts::kDestinationDrive, cmbDriveISO), 1, 0);
  grid->addWidget(cmbDriveISO, 1, 1, 1, 2);
  grid->setColumnStretch(1, 1);
  connect(btnBrowseSourceISO, &QToolButton::clicked, this, [this] {
    const QString path = ui::CurrentDialogs().OpenFileName(this, Text(texts::kSourceISO), edtSourceISO->text(),
                                                           Text(texts::kIsoFilter));
    if (!path.isEmpty()) edtSourceISO->setText(path);
  });
  return gpbBurnISO;
}

QWidget* TBurningForm::BuildCopy() {
  gpbCopy = Named(new QGroupBox(Text(texts::kCopyGroup), this), "gpbCopy");
  auto* grid = new QGridLayout(gpbCopy);
  rdbDual = Named(new QRadioButton(Text(texts::kDualCopy), gpbCopy), "rdbDual");
  rdbDual->setChecked(true);
  cmbSource = Named(new QComboBox(gpbCopy), "cmbSource");
  cmbDestination = Named(new QComboBox(gpbCopy), "cmbDestination");
  cmbSource->setAccessibleName(Text(texts::kSource));
  cmbDestination->setAccessibleName(Text(texts::kDestination));
  grid->addWidget(rdbDual, 0, 0, 1, 2);
  grid->addWidget(Caption(gpbCopy, texts::kSource, cmbSource), 1, 0);
  grid->addWidget(cmbSource, 1, 1);
  grid->addWidget(Caption(gpbCopy, texts::kDestination, cmbDestination), 2, 0);
  grid->addWidget(cmbDestination, 2, 1);
  grid->addWidget(new QLabel(Text(texts::kCopyStep1), gpbCopy), 3, 0, 1, 2);
  grid->addWidget(new QLabel(Text(texts::kCopyStep2), gpbCopy), 4, 0, 1, 2);
  grid->setColumnStretch(1, 1);
  // The streaming choice is about the disc written, which this box names.
  connect(cmbDestination, &QComboBox::currentTextChanged, this, [this] {
    if (isVisible() && gpbCopy->isVisible() && !gpbProgress->isVisible()) ReadSpareAreas();
  });
  return gpbCopy;
}

QWidget* TBurningForm::BuildProgress() {
  gpbProgress = Named(new QGroupBox(Text(texts::kProgressGroup), this), "gpbProgress");
  auto* box = new QVBoxLayout(gpbProgress);
  auto* figures = new QGridLayout();
  const auto value = [this](const char* name) {
    auto* label = Named(new QLabel(gpbProgress), name);
    label->setMinimumWidth(label->fontMetrics().horizontalAdvance(QStringLiteral("00,000.00 MB")));
    return label;
  };
  lSize = value("lSize");
  labFinished = value("labFinished");
  labElapse = value("labElapse");
  labRemain = value("labRemain");
  labProgress = value("labProgress");
  figures->addWidget(Caption(gpbProgress, texts::kTotalSize), 0, 0);
  figures->addWidget(lSize, 0, 1);
  figures->addWidget(Caption(gpbProgress, texts::kFinished), 0, 2);
  figures->addWidget(labFinished, 0, 3);
  figures->addWidget(Caption(gpbProgress, texts::kElapse), 1, 0);
  figures->addWidget(labElapse, 1, 1);
  figures->addWidget(Caption(gpbProgress, texts::kRemain), 1, 2);
  figures->addWidget(labRemain, 1, 3);
  pcd = Named(new QProgressBar(gpbProgress), "pcd");
  pcd->setTextVisible(false);
  pcd->setAccessibleName(Text(texts::kProgress));
  figures->addWidget(Caption(gpbProgress, texts::kProgress), 2, 0);
  figures->addWidget(labProgress, 2, 1);
  figures->addWidget(pcd, 2, 2, 1, 2);
  PanSoftBuff = Named(new QWidget(gpbProgress), "PanSoftBuff");
  pBuf = Named(new QProgressBar(PanSoftBuff), "pBuf");
  PanDeviceBuff = Named(new QWidget(gpbProgress), "PanDeviceBuff");
  pHBuf = Named(new QProgressBar(PanDeviceBuff), "pHBuf");
  for (auto [panel, bar, caption] : {std::tuple{PanSoftBuff, pBuf, texts::kSoftBuffer},
                                     std::tuple{PanDeviceBuff, pHBuf, texts::kDeviceBuffer}}) {
    auto* row = new QHBoxLayout(panel);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(bar);
    bar->setAccessibleName(Text(caption));
  }
  figures->addWidget(Caption(gpbProgress, texts::kSoftBuffer), 3, 0, 1, 2);
  figures->addWidget(PanSoftBuff, 3, 2, 1, 2);
  figures->addWidget(Caption(gpbProgress, texts::kDeviceBuffer), 4, 0, 1, 2);
  figures->addWidget(PanDeviceBuff, 4, 2, 1, 2);
  figures->setColumnStretch(3, 1);
  box->addLayout(figures);

  memo1 = Named(new QTextEdit(gpbProgress), "memo1");
  memo1->setReadOnly(true);
  memo1->setAcceptRichText(true);
  memo1->setAccessibleName(Text(texts::kLog));
  box->addWidget(Caption(gpbProgress, texts::kLog, memo1));
  box->addWidget(memo1, 1);

  auto* buttons = new QHBoxLayout();
  btnSaveLog = Named(new QPushButton(Text(texts::kSaveLog), gpbProgress), "btnSaveLog");
  btnPrint = Named(new QPushButton(Text(texts::kPrint), gpbProgress), "btnPrint");
  btnClear = Named(new QPushButton(Text(texts::kClear), gpbProgress), "btnClear");
  btnAbort = Named(new QPushButton(Text(texts::kAbort), gpbProgress), "btnAbort");
  btnSaveISO = Named(new QPushButton(Text(texts::kSaveISO), gpbProgress), "btnSaveISO");
  btnCloseTrack = Named(new QPushButton(Text(texts::kCloseTrack), gpbProgress), "btnCloseTrack");
  btnEject = Named(new QPushButton(Text(texts::kDoneAndEject), gpbProgress), "btnEject");
  for (QPushButton* b : {btnSaveLog, btnPrint, btnClear}) buttons->addWidget(b);
  buttons->addStretch(1);
  for (QPushButton* b : {btnAbort, btnSaveISO, btnCloseTrack, btnEject}) buttons->addWidget(b);
  box->addLayout(buttons);
  connect(btnSaveLog, &QPushButton::clicked, this, &TBurningForm::btnSaveLogClick);
  connect(btnPrint, &QPushButton::clicked, this, &TBurningForm::btnPrintClick);
  connect(btnClear, &QPushButton::clicked, this, &TBurningForm::btnClearClick);
  connect(btnAbort, &QPushButton::clicked, this, &TBurningForm::btnAbortClick);
  connect(btnSaveISO, &QPushButton::clicked, this, &TBurningForm::btnSaveISOClick);
  connect(btnCloseTrack, &QPushButton::clicked, this, &TBurningForm::btnCloseTrackClick);
  connect(btnEject, &QPushButton::clicked, this, &TBurningForm::btnEjectClick);
  return gpbProgress;
}

void TBurningForm::BindOptionBoxes() {
  // The boxes change the burner and the options store at once; the options
  // window's own boxes follow.
  connect(cCloseDisc, &QCheckBox::toggled, this, [this](bool on) {
    FMain.Burner().SetFinalizeDisc(on);
    FMain.Options().CloseDisc = on;
    emit OptionBoxesChanged();
  });
  connect(cTestWrite, &QCheckBox::toggled, this, [this](bool on) {
    FMain.Burner().SetTestWrite(on);
    FMain.Options().TestWrite = on;
    emit OptionBoxesChanged();
  });
  connect(cBootable, &QCheckBox::toggled, this, [this](bool on) {
    FMain.Burner().Bootable = on;
    FMain.Burner().BootImageFile = FMain.Options().BootImage;
    FMain.Options().Bootable = on;
    emit OptionBoxesChanged();
  });
  connect(cShowFiles, &QCheckBox::toggled, this, [this](bool on) {
    FMain.Options().ShowFiles = on;
    FMain.Options().RunTime.ShowFiles = on;
    emit OptionBoxesChanged();
  });
  connect(cEject, &QCheckBox::toggled, this, [this](bool on) {
    FMain.Options().EjectDone = on;
    emit OptionBoxesChanged();
  });
}

void TBurningForm::OptionsApplied() {
  // The options window's OK set the burner: the boxes show what it holds.
  // A running operation's view is left as it is.
  if (!gpbProgress->isHidden()) return;
  CopyOptionBoxes();
}

void TBurningForm::CopyOptionBoxes() {
  const appcore::Options& o = FMain.Options();
  cCloseDisc->setChecked(o.CloseDisc);
  cTestWrite->setChecked(o.TestWrite);
  cBootable->setChecked(o.Bootable);
  cShowFiles->setChecked(o.ShowFiles);
  cEject->setChecked(o.EjectDone);
}

void TBurningForm::Setup(const QString& mode) {
  ++FUse;
  FStartPending = false;
  FMode = mode;
  rdbBlank->setChecked(true);
  rdbBlankClick();
  edtIcon->clear();
  ClearPreview();
  chkAutoRun->setChecked(false);
  edtAutoRun->setEnabled(false);
  edtAutoRun->clear();
  ShowSpareAreas(0);
  for (QWidget* w : {static_cast<QWidget*>(btnAdvance), static_cast<QWidget*>(btnStartBurn),
                     static_cast<QWidget*>(btnCancel)})
    w->show();
  for (QProgressBar* bar : {pcd, pBuf, pHBuf}) bar->setValue(0);
  // The buttons of the last operation's end do not carry over.
  btnEject->setText(Text(texts::kDoneAndEject));
  btnEject->setEnabled(false);
  btnAbort->show();
  btnAbort->setEnabled(true);
  const auto groups = [this](bool progress, bool copy, bool preference, bool options, bool burnIso) {
    gpbProgress->setVisible(progress);
    gpbCopy->setVisible(copy);
    gpbPreference->setVisible(preference);
    gpbOption->setVisible(options);
    gpbBurnISO->setVisible(burnIso);
  };
  const std::vector<std::string>& drives = FMain.Burner().DeviceList();
  const auto fillDrives = [&drives](QComboBox* combo) {
    combo->clear();
    for (const std::string& d : drives) combo->addItem(QString::fromStdString(d));
    if (combo->count() > 0) combo->setCurrentIndex(0);
  };
  if (mode == Text(texts::kModeBurn)) {
    setWindowTitle(Text(texts::kCaptionBurn));
    for (QWidget* w : {static_cast<QWidget*>(labISO), static_cast<QWidget*>(edtISO),
                       static_cast<QWidget*>(btnBrowseISO), static_cast<QWidget*>(chkQuick)})
      w->hide();
    LabLabel->show();
    edtLabel->show();
    edtLabel->setText(FMain.Task().Root != nullptr ? QString::fromStdString(FMain.Task().Root->Name) : QString());
    groups(false, false, true, true, false);
    FImageFile = false;
  } else if (mode == Text(texts::kModeBuildISO)) {
    setWindowTitle(Text(texts::kCaptionBuildISO));
    LabLabel->hide();
    edtLabel->hide();
    for (QWidget* w : {static_cast<QWidget*>(labISO), static_cast<QWidget*>(edtISO),
                       static_cast<QWidget*>(btnBrowseISO), static_cast<QWidget*>(chkQuick)})
      w->show();
    edtISO->clear();
    // The label is hidden here, yet the image takes it: the task's name, as
    // a burn of the task would.
    edtLabel->setText(FMain.Task().Root != nullptr ? QString::fromStdString(FMain.Task().Root->Name) : QString());
    chkQuick->setChecked(FMain.Options().RunTime.QuickSave);
    groups(false, false, true, true, false);
    FImageFile = true;
  } else if (mode == Text(texts::kModeBurnISO)) {
    setWindowTitle(Text(texts::kCaptionBurnISO));
    groups(false, false, false, true, true);
    edtSourceISO->clear();
    fillDrives(cmbDriveISO);
  } else if (mode == Text(texts::kModeCopy)) {
    setWindowTitle(Text(texts::kCaptionCopy));
    edtLabel->setText(QLocale().toString(QDate::currentDate(), QLocale::ShortFormat));
    groups(false, true, false, true, false);
    rdbDual->setChecked(true);
    if (!drives.empty()) {
      fillDrives(cmbSource);
      fillDrives(cmbDestination);
    }
  }
}

void TBurningForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!event->spontaneous()) FormShow();
}

void TBurningForm::FormShow() {
  btnStartBurn->setEnabled(true);
  if (gpbBurnISO->isVisible()) return;
  // While an operation runs the dialog shows its progress; a restore from the
  // task bar leaves the boxes as they are.
  if (gpbProgress->isVisible()) return;
  FillSpeedList(cbspeed);
  ReadSpareAreas();
  CopyOptionBoxes();
}

void TBurningForm::ReadSpareAreas() {
  const appcore::JobKind kind = ModeKind();
  if (kind != appcore::JobKind::Burn && kind != appcore::JobKind::Copy) {
    ShowSpareAreas(0);
    return;
  }
  auto spare = std::make_shared<std::uint32_t>(0);
  const unsigned use = FUse;
  // Start waits for the answer as it does for the speed list.
  ++FFilling;
  FMain.RunOnDrive(
      engine::OperationPhase::Preparing,
      [spare](engine::TKavoBurner& b) {
        if (!device::IsBdMedium(b.DetectMediaType())) return;
        *spare = b.BdSpareBlocks().value_or(0);
      },
      [this, spare, use](engine::TKavoBurner&) {
        if (use == FUse && !gpbProgress->isVisible()) ShowSpareAreas(*spare);
        SpeedListFilled();
      },
      TargetDriveText().toStdString());
}

void TBurningForm::ShowSpareAreas(std::uint32_t blocks) {
  FSpareBlocks = blocks;
  const bool spare = blocks != 0;
  // Off by default: defect management is what the disc was formatted for.
  if (!spare) chkStreaming->setChecked(false);
  chkStreaming->setEnabled(spare);
  chkStreaming->setVisible(spare);
  labSpareNote->setVisible(spare);
  labSpareNote->setText(spare ? QLocale().toString(static_cast<qulonglong>(blocks) * 2048 / 1000000) +
                                    Text(texts::kSpareAreasNote)
                              : QString());
}

void TBurningForm::ApplyStreamingChoice() {
  FMain.Burner().SetBdStreaming(FSpareBlocks != 0 && chkStreaming->isEnabled() && chkStreaming->isChecked());
}

void TBurningForm::LogStreamingChoice() {
  if (FSpareBlocks == 0) return;
  FMain.AddLogLine(QStringLiteral(">>> ") +
                       Text(FMain.Burner().BdStreaming() ? texts::kLogStreaming : texts::kLogDefectManagement),
                   QColor(0, 0, 128));
}

void TBurningForm::FillSpeedList(QComboBox* combo, std::function<void()> done) {
  // The list asks the drive once per speed: a slow drive would freeze the
  // window, so the questions go to the burner's worker.
  const int remembered = combo->currentIndex();
  auto entries = std::make_shared<std::vector<std::string>>();
  const unsigned use = FUse;
  QPointer<QComboBox> target(combo);
  ++FFilling;
  FMain.RunOnDrive(
      engine::OperationPhase::Preparing, [entries](engine::TKavoBurner& b) { *entries = appcore::FillSpeedList(b); },
      [this, entries, remembered, use, target, done](engine::TKavoBurner&) {
        if (!target.isNull() && use == FUse) {
          target->clear();
          for (const std::string& e : *entries) target->addItem(QString::fromStdString(e));
          target->setCurrentIndex(static_cast<int>(appcore::RestoreSpeedIndex(remembered, entries->size())));
          if (done) done();
        }
        SpeedListFilled();
      });
}

void TBurningForm::SpeedListFilled() {
  if (--FFilling > 0 || !FStartPending) return;
  // Start was pressed while the drive was still answering the speed list.
  FStartPending = false;
  btnStartBurn->setEnabled(true);
  btnStartBurnClick();
}

void TBurningForm::closeEvent(QCloseEvent* event) {
  if (FMain.OperationRunning()) {
    // An operation runs: it goes on in the task bar.
    event->ignore();
    showMinimized();
    return;
  }
  QDialog::closeEvent(event);
}

void TBurningForm::reject() {
  // Also while the burn still prepares: it would run to its end unseen.
  if (FMain.OperationRunning()) {
    showMinimized();
    return;
  }
  const bool starting = Waiting() || FStartPending;
  // Between Start and the operation's own start (the drive asked once
  // more, the copy's source read): that start is dropped when it comes.
  if (!starting && FMain.OperationHeld()) FDropStart = true;
  if (FWaitCancel) FWaitCancel->Cancel();
  FWaitTries = -1;
  FStartPending = false;
  QDialog::reject();
  if (starting) StartDropped();
  if (FReturnToMain) FMain.show();
}

void TBurningForm::btnCancelClick() { close(); }

}  // namespace app
