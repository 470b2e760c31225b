// The five pages of the options window: controls, captions and layouts.
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QPainter>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/option_form.h"
#include "app/option_texts.h"
#include "appcore/options.h"
#include "ui/dialogs.h"

namespace app {

namespace {

// Screen readers read the caption without its mnemonic marker.
QString Spoken(QString caption) {
  caption.replace(QLatin1String("&&"), QLatin1String("\x01"));
  caption.remove(QLatin1Char('&'));
  caption.replace(QLatin1Char('\x01'), QLatin1Char('&'));
  return caption;
}

template <typename T>
T* Make(QWidget* parent, const char* name, const QString& caption = {}) {
  auto* w = new T(parent);
  w->setObjectName(QLatin1String(name));
  if constexpr (requires { w->setText(caption); })
    if (!caption.isEmpty()) w->setText(caption);
  if (!caption.isEmpty()) w->setAccessibleName(Spoken(caption));
  return w;
}

QGroupBox* Group(QWidget* parent, const QString& title) {
  auto* g = new QGroupBox(title, parent);
  g->setAccessibleName(Spoken(title));
  return g;
}

QFrame* Swatch(QWidget* parent, const char* name, const QString& what) {
  auto* f = Make<QFrame>(parent, name);
  f->setFrameShape(QFrame::Box);
  f->setMinimumSize(48, 20);
  f->setAccessibleName(what);
  return f;
}

QToolButton* ColorButton(QWidget* parent, const char* name) {
  auto* b = Make<QToolButton>(parent, name, QStringLiteral("..."));
  b->setToolTip(option_texts::kSelectColor);
  b->setAccessibleName(option_texts::kSelectColor);
  return b;
}

enum class MediaShape { Play, Pause, Stop };

// A player button whose symbol takes the skin's text colour, so it stays
// readable on light and dark skins alike.
class MediaButton : public QToolButton {
 public:
  MediaButton(QWidget* parent, MediaShape shape) : QToolButton(parent), FShape(shape) {
    setMinimumSize(28, 24);
  }

 protected:
  void paintEvent(QPaintEvent* event) override {
    QToolButton::paintEvent(event);
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
    const qreal side = qMin(width(), height()) * 0.42;
    const QPointF c = QRectF(rect()).center();
    switch (FShape) {
      case MediaShape::Play: {
        const QPointF tri[3] = {c + QPointF(-side * 0.45, -side / 2), c + QPointF(-side * 0.45, side / 2),
                                c + QPointF(side * 0.55, 0)};
        p.drawPolygon(tri, 3);
        break;
      }
      case MediaShape::Pause:
        p.drawRect(QRectF(c.x() - side / 2, c.y() - side / 2, side * 0.35, side));
        p.drawRect(QRectF(c.x() + side * 0.15, c.y() - side / 2, side * 0.35, side));
        break;
      case MediaShape::Stop:
        p.drawRect(QRectF(c.x() - side / 2, c.y() - side / 2, side, side));
        break;
    }
  }

 private:
  MediaShape FShape;
};

}  // namespace

QWidget* TOptionForm::BuildGeneralPage() {
  auto* page = new QWidget;
  auto* box = new QVBoxLayout(page);
  chkEjectNoDisc = Make<QCheckBox>(page, "chkEjectNoDisc", QStringLiteral("Auto eject the drive if there is no disc in it."));
  chkEjectDone = Make<QCheckBox>(page, "chkEjectDone",
                                 QStringLiteral("Auto eject the drive when Burning or Erasing done. (Recommended)"));
  chkExit = Make<QCheckBox>(page, "chkExit", QStringLiteral("Exit program when Burning Done."));
  chkClose = Make<QCheckBox>(page, "chkClose", QStringLiteral("Close Computer when burning done."));
  chkTip = Make<QCheckBox>(page, "chkTip", QStringLiteral("Display Everyday Tips."));
  chkDetect = Make<QCheckBox>(page, "chkDetect", QStringLiteral("Auto check the latest version. (Network support needed.)"));
  for (QCheckBox* c : {chkEjectNoDisc, chkEjectDone, chkExit, chkClose, chkTip, chkDetect}) box->addWidget(c);

  QGroupBox* buffer = Group(page, QStringLiteral("Software Buffer Size:"));
  auto* grid = new QGridLayout(buffer);
  tkbBuffer = Make<QSlider>(buffer, "tkbBuffer");
  tkbBuffer->setOrientation(Qt::Horizontal);
  tkbBuffer->setRange(appcore::Options::kMinBufferMiB, appcore::Options::kMaxBufferMiB);
  tkbBuffer->setTickPosition(QSlider::TicksBelow);
  tkbBuffer->setTickInterval(5);
  tkbBuffer->setAccessibleName(QStringLiteral("Software Buffer Size"));
  edtBuffer = Make<QSpinBox>(buffer, "edtBuffer");
  edtBuffer->setRange(appcore::Options::kMinBufferMiB, appcore::Options::kMaxBufferMiB);
  edtBuffer->setAccessibleName(QStringLiteral("Software Buffer Size in MB"));
  grid->addWidget(new QLabel(QStringLiteral("Min: 1MB"), buffer), 0, 0);
  grid->addWidget(tkbBuffer, 0, 1);
  grid->addWidget(new QLabel(QStringLiteral("Max: 50MB"), buffer), 0, 2);
  grid->addWidget(edtBuffer, 0, 3);
  grid->addWidget(new QLabel(QStringLiteral("MB"), buffer), 0, 4);
  grid->setColumnStretch(1, 1);
  box->addWidget(buffer);
  box->addStretch(1);

  // The slider moves the spin box; the spin box, however changed, moves the slider.
  connect(tkbBuffer, &QSlider::valueChanged, edtBuffer, &QSpinBox::setValue);
  connect(edtBuffer, &QSpinBox::valueChanged, tkbBuffer, &QSlider::setValue);
  return page;
}

QWidget* TOptionForm::BuildBurningPage() {
  auto* page = new QWidget;
  auto* grid = new QGridLayout(page);
  cArchiveOnly = Make<QCheckBox>(page, "cArchiveOnly", QStringLiteral("Archive files only && Clear Archive Bit"));
  cImportSession = Make<QCheckBox>(page, "cImportSession", QStringLiteral("Import Session"));
  eSession = Make<QLineEdit>(page, "eSession");
  eSession->setToolTip(QStringLiteral("Session Number to Import; for Last Session enter -1"));
  eSession->setAccessibleName(QStringLiteral("Session Number to Import"));
  eSession->setMaxLength(8);
  eSession->setMaximumWidth(eSession->fontMetrics().horizontalAdvance(QStringLiteral("-00000000")) + 16);
  cCloseTrack = Make<QCheckBox>(page, "cCloseTrack", QStringLiteral("CloseTrack"));
  cCloseDisc = Make<QCheckBox>(page, "cCloseDisc", QStringLiteral("Close Disc (Finalize)"));
  cUnderrunProtection = Make<QCheckBox>(page, "cUnderrunProtection", QStringLiteral("Underrun Protection"));
  cJoliet = Make<QCheckBox>(page, "cJoliet", QStringLiteral("Joliet File System"));
  cJoliet->setToolTip(QStringLiteral("Long File Name"));
  cRockRidge = Make<QCheckBox>(page, "cRockRidge", QStringLiteral("Rock Ridge (whole names, permissions, links)"));
  cRockRidge->setToolTip(QStringLiteral("Keeps names, permissions, times and symbolic links for Linux and macOS"));
  cBootable = Make<QCheckBox>(page, "cBootable", QStringLiteral("Bootable"));
  labBootImage = Make<QLabel>(page, "labBootImage");
  labBootImage->setAccessibleName(QStringLiteral("Boot image"));
  labBootImage->setTextInteractionFlags(Qt::TextSelectableByMouse);
  labBootImage->setWordWrap(true);
  cTestWrite = Make<QCheckBox>(page, "cTestWrite", QStringLiteral("Test Write"));
  cQuickSaveISO = Make<QCheckBox>(page, "cQuickSaveISO", QStringLiteral("Quick Save .ISO"));
  cShowFiles = Make<QCheckBox>(page, "cShowFiles", QStringLiteral("Show files before burning"));
  cOPC = Make<QCheckBox>(page, "cOPC", QStringLiteral("Perform OPC"));
  cChecksums = Make<QCheckBox>(page, "cChecksums", QStringLiteral("Add a checksum file (~zantic.sha256) to every burn"));

  grid->addWidget(cArchiveOnly, 0, 0, 1, 2);
  grid->addWidget(cImportSession, 1, 0);
  grid->addWidget(eSession, 1, 1, Qt::AlignLeft);
  grid->addWidget(cCloseTrack, 2, 0);
  grid->addWidget(cCloseDisc, 2, 1);
  grid->addWidget(cUnderrunProtection, 3, 0);
  grid->addWidget(cJoliet, 3, 1);
  grid->addWidget(cTestWrite, 4, 0);
  grid->addWidget(cQuickSaveISO, 4, 1);
  grid->addWidget(cShowFiles, 5, 0);
  grid->addWidget(cOPC, 5, 1);
  grid->addWidget(cBootable, 6, 0);
  grid->addWidget(labBootImage, 6, 1);
  grid->addWidget(cRockRidge, 7, 0, 1, 2);
  grid->addWidget(cChecksums, 8, 0, 1, 2);
  grid->setRowStretch(9, 1);
  grid->setColumnStretch(1, 1);
  return page;
}

QWidget* TOptionForm::BuildSchedulePage() {
  auto* page = new QWidget;
  auto* box = new QVBoxLayout(page);
  chkAutoExe = Make<QCheckBox>(page, "chkAutoExe", QStringLiteral("Auto execute when Windows startup. (Strongly recommended.)"));
  chkLog = Make<QCheckBox>(page, "chkLog", QStringLiteral("Record Log. (Recommended.)"));
  chkInform = Make<QCheckBox>(page, "chkInform", QStringLiteral("Inform when the schedule task start."));
  box->addWidget(chkAutoExe);
  box->addWidget(chkLog);

  auto* driveRow = new QHBoxLayout;
  auto* driveLabel = new QLabel(QStringLiteral("Select Drive:"), page);
  cmbDrive = Make<QComboBox>(page, "cmbDrive");
  cmbDrive->setEditable(false);
  cmbDrive->setAccessibleName(QStringLiteral("Select Drive"));
  cmbDrive->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  cmbDrive->setMinimumContentsLength(24);
  driveLabel->setBuddy(cmbDrive);
  driveRow->addWidget(driveLabel);
  driveRow->addWidget(cmbDrive, 1);
  box->addLayout(driveRow);
  box->addWidget(chkInform);

  QGroupBox* running = Group(page, QStringLiteral("When the schedule task running:"));
  auto* runningBox = new QVBoxLayout(running);
  rdbShow = Make<QRadioButton>(running, "rdbShow", QStringLiteral("Show burning window."));
  rdbHide = Make<QRadioButton>(running, "rdbHide", QStringLiteral("Hide burning window."));
  runningBox->addWidget(rdbShow);
  runningBox->addWidget(rdbHide);
  box->addWidget(running);

  QGroupBox* notReady = Group(page, QStringLiteral("If the drive is not ready when the schedule task start:"));
  auto* notReadyBox = new QVBoxLayout(notReady);
  rdbQuery = Make<QRadioButton>(notReady, "rdbQuery", QStringLiteral("Query. (Recommended.)"));
  rdbCancel = Make<QRadioButton>(notReady, "rdbCancel", QStringLiteral("Cancel the task."));
  notReadyBox->addWidget(rdbQuery);
  notReadyBox->addWidget(rdbCancel);
  box->addWidget(notReady);

  btnShowLog = Make<QPushButton>(page, "btnShowLog", QStringLiteral("&Show Log"));
  auto* logRow = new QHBoxLayout;
  logRow->addStretch(1);
  logRow->addWidget(btnShowLog);
  box->addLayout(logRow);
  box->addStretch(1);
  connect(btnShowLog, &QPushButton::clicked, this, &TOptionForm::btnShowLogClick);
  return page;
}

QWidget* TOptionForm::BuildSoundPage() {
  struct RowNames {
    const char *Enable, *Default, *Custom, *File, *Browse;
    const char* Caption;
  };
  static constexpr std::array<RowNames, appcore::kSoundEventCount> kRows{{
      {"chkBurnDone", "rdbDB", "rdbCB", "edtCB", "btnCB", "Play sound when burning done."},
      {"chkEraseDone", "rdbDE", "rdbCE", "edtCE", "btnCE", "Play sound when erasing done."},
      {"chkCopyDone", "rdbDC", "rdbCC", "edtCC", "btnCC", "Play sound when copy disc done."},
      {"chkISODone", "rdbDI", "rdbCI", "edtCI", "btnCI", "Play sound when build ISO done."},
      {"chkScheduleStart", "rdbDSS", "rdbCSS", "edtCSS", "btnCSS", "Play sound when schedule task start."},
      {"chkScheduleDone", "rdbDSD", "rdbCSD", "edtCSD", "btnCSD", "Play sound when schedule task done."},
  }};
  auto* page = new QWidget;
  auto* grid = new QGridLayout(page);
  int row = 0;
  for (std::size_t i = 0; i < kRows.size(); ++i) {
    SoundRow& r = FSoundRows[i];
    const QString caption = QLatin1String(kRows[i].Caption);
    // Each row's radios form their own exclusive pair.
    auto* pair = new QWidget(page);
    auto* pairBox = new QHBoxLayout(pair);
    pairBox->setContentsMargins(0, 0, 0, 0);
    r.Enable = Make<QCheckBox>(page, kRows[i].Enable, caption);
    r.Default = Make<QRadioButton>(pair, kRows[i].Default, QStringLiteral("Default"));
    r.Custom = Make<QRadioButton>(pair, kRows[i].Custom, QStringLiteral("Custom"));
    r.Default->setAccessibleName(Spoken(caption) + QStringLiteral(" Default"));
    r.Custom->setAccessibleName(Spoken(caption) + QStringLiteral(" Custom"));
    pairBox->addWidget(r.Default);
    pairBox->addWidget(r.Custom);
    r.File = Make<QLineEdit>(page, kRows[i].File);
    r.File->setAccessibleName(Spoken(caption) + QStringLiteral(" File"));
    r.Browse = Make<QToolButton>(page, kRows[i].Browse, QStringLiteral("..."));
    r.Browse->setAccessibleName(QStringLiteral("Browse for the sound file"));
    r.Browse->setToolTip(QStringLiteral("Browse"));
    grid->addWidget(r.Enable, row, 0, 1, 3);
    grid->addWidget(pair, row + 1, 0);
    grid->addWidget(r.File, row + 1, 1);
    grid->addWidget(r.Browse, row + 1, 2);
    row += 2;
    QLineEdit* edit = r.File;
    connect(r.Browse, &QToolButton::clicked, this, [this, edit] {
      const QString file =
          ui::CurrentDialogs().OpenFileName(this, QStringLiteral("Open"), edit->text(), option_texts::kSoundFilter);
      if (!file.isEmpty()) edit->setText(file);
    });
  }
  grid->setColumnStretch(1, 1);

  auto* test = new QHBoxLayout;
  cmbSound = Make<QComboBox>(page, "cmbSound");
  cmbSound->addItems({QStringLiteral("Burning done"), QStringLiteral("Erasing done"), QStringLiteral("Copy disc done"),
                      QStringLiteral("Build ISO done"), QStringLiteral("Schedule task start"),
                      QStringLiteral("Schedult task done")});
  cmbSound->setAccessibleName(QStringLiteral("Sound to test"));
  const auto media = [&](const char* name, const QString& hint, MediaShape shape) {
    auto* b = new MediaButton(page, shape);
    b->setObjectName(QLatin1String(name));
    b->setToolTip(hint);
    b->setAccessibleName(hint);
    return b;
  };
  btnPlay = media("btnPlay", QStringLiteral("Play"), MediaShape::Play);
  btnPause = media("btnPause", QStringLiteral("Pause \\ Resume"), MediaShape::Pause);
  btnStop = media("btnStop", QStringLiteral("Stop"), MediaShape::Stop);
  test->addWidget(cmbSound, 1);
  test->addWidget(btnPlay);
  test->addWidget(btnPause);
  test->addWidget(btnStop);
  grid->addLayout(test, row, 0, 1, 3);
  grid->setRowStretch(row + 1, 1);
  connect(btnPlay, &QToolButton::clicked, this, &TOptionForm::btnPlayClick);
  connect(btnPause, &QToolButton::clicked, this, &TOptionForm::btnPauseClick);
  connect(btnStop, &QToolButton::clicked, this, &TOptionForm::btnStopClick);
  return page;
}

QWidget* TOptionForm::BuildInterfacePage() {
  auto* page = new QWidget;
  auto* box = new QVBoxLayout(page);

  QGroupBox* background = Group(page, QStringLiteral("Backgound of start window"));
  auto* grid = new QGridLayout(background);
  rdbColor = Make<QRadioButton>(background, "rdbColor", QStringLiteral("Color"));
  rdbGradient = Make<QRadioButton>(background, "rdbGradient", QStringLiteral("Color gradient"));
  rdbImage = Make<QRadioButton>(background, "rdbImage", QStringLiteral("Image"));
  sctColor = Swatch(background, "sctColor", QStringLiteral("Background color"));
  sctTop = Swatch(background, "sctTop", QStringLiteral("Top color"));
  sctBottom = Swatch(background, "sctBottom", QStringLiteral("Bottom color"));
  btnColor = ColorButton(background, "btnColor");
  btnTop = ColorButton(background, "btnTop");
  btnBottom = ColorButton(background, "btnBottom");
  edtImage = Make<QLineEdit>(background, "edtImage");
  edtImage->setAccessibleName(QStringLiteral("Background image file"));
  btnImage = Make<QToolButton>(background, "btnImage", QStringLiteral("..."));
  btnImage->setToolTip(QStringLiteral("Browse"));
  btnImage->setAccessibleName(QStringLiteral("Browse for the background image"));

  grid->addWidget(rdbColor, 0, 0);
  grid->addWidget(sctColor, 0, 2);
  grid->addWidget(btnColor, 0, 3);
  grid->addWidget(rdbGradient, 1, 0);
  grid->addWidget(new QLabel(QStringLiteral("Top color:"), background), 1, 1, Qt::AlignRight);
  grid->addWidget(sctTop, 1, 2);
  grid->addWidget(btnTop, 1, 3);
  grid->addWidget(new QLabel(QStringLiteral("Bottom color:"), background), 2, 1, Qt::AlignRight);
  grid->addWidget(sctBottom, 2, 2);
  grid->addWidget(btnBottom, 2, 3);
  grid->addWidget(rdbImage, 3, 0);
  grid->addWidget(edtImage, 3, 1, 1, 2);
  grid->addWidget(btnImage, 3, 3);
  grid->setColumnStretch(1, 1);
  box->addWidget(background);

  QGroupBox* skins = Group(page, QStringLiteral("Select a skin"));
  auto* skinBox = new QHBoxLayout(skins);
  ltbSkin = Make<QListWidget>(skins, "ltbSkin");
  ltbSkin->setAccessibleName(QStringLiteral("Skins"));
  ltbSkin->setMinimumHeight(90);
  auto* buttons = new QVBoxLayout;
  btnImport = Make<QPushButton>(skins, "btnImport", QStringLiteral("&Import Skins"));
  btnExport = Make<QPushButton>(skins, "btnExport", QStringLiteral("&Export Skins"));
  btnDelete = Make<QPushButton>(skins, "btnDelete", QStringLiteral("&Delete Skins"));
  for (QPushButton* b : {btnImport, btnExport, btnDelete}) buttons->addWidget(b);
  buttons->addStretch(1);
  skinBox->addWidget(ltbSkin, 1);
  skinBox->addLayout(buttons);
  box->addWidget(skins, 1);

  connect(btnColor, &QToolButton::clicked, this, [this] { ChooseColor(sctColor, FColor); });
  connect(btnTop, &QToolButton::clicked, this, [this] { ChooseColor(sctTop, FTopColor); });
  connect(btnBottom, &QToolButton::clicked, this, [this] { ChooseColor(sctBottom, FBottomColor); });
  connect(btnImage, &QToolButton::clicked, this, [this] {
    const QString file =
        ui::CurrentDialogs().OpenFileName(this, QStringLiteral("Open"), edtImage->text(), option_texts::kImageFilter);
    if (!file.isEmpty()) edtImage->setText(file);
  });
  connect(btnImport, &QPushButton::clicked, this, &TOptionForm::btnImportClick);
  connect(btnExport, &QPushButton::clicked, this, &TOptionForm::btnExportClick);
  connect(btnDelete, &QPushButton::clicked, this, &TOptionForm::btnDeleteClick);
  return page;
}

}  // namespace app
