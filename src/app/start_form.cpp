#include "app/start_form.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include "app/drive_texts.h"
#include "app/help_form.h"
#include "app/texts.h"
#include "app/version_check.h"
#include "appcore/ini_file.h"
#include "appcore/options.h"
#include "appcore/schedule.h"
#include "ui/dialogs.h"
#include "ui/picture_button.h"

namespace app {

QColor ColorFromOptions(std::int32_t value) {
  const auto v = static_cast<std::uint32_t>(value);
  return QColor(static_cast<int>(v & 0xFFu), static_cast<int>((v >> 8) & 0xFFu), static_cast<int>((v >> 16) & 0xFFu));
}

TStartForm::TStartForm(const QString& programFolder, const std::vector<std::string>& arguments, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), FAppFolder(programFolder) {
  setObjectName(QStringLiteral("TStartForm"));
  setWindowTitle(QString::fromUtf8(texts::kProductName));
  setWindowIcon(QIcon(QStringLiteral(":/artwork/zantic-64.png")));
  setAccessibleName(QString::fromUtf8(texts::kProductName));
  ReadVersion();
  const appcore::Options defaults;
  FColor = ColorFromOptions(defaults.BkColor);
  FTop = ColorFromOptions(defaults.BkStartColor);
  FBottom = ColorFromOptions(defaults.BkEndColor);
  BuildControls();
  BuildTray();
  resize(kDefaultWidth, kDefaultHeight);
  if (const QScreen* screen = QApplication::primaryScreen())
    move(screen->availableGeometry().center() - QPoint(kDefaultWidth / 2, kDefaultHeight / 2));
  FScheduleStart = appcore::IsScheduleStart(arguments);
}

void TStartForm::ReadVersion() {
  const appcore::IniFile ini((FAppFolder + QStringLiteral("/") + QString::fromUtf8(appcore::kOptionFileName)).toStdString());
  FVersionText = QString::fromStdString(ini.ReadString("General", "Version", texts::kDefaultVersion));
  bool ok = false;
  FVersionNumber = FVersionText.trimmed().toDouble(&ok);
  if (!ok) FVersionNumber = texts::kDefaultVersionNumber;
}

void TStartForm::BuildControls() {
  auto* root = new QVBoxLayout(this);
  root->setContentsMargins(10, 8, 10, 8);
  root->setSpacing(6);

  // Title row: icon, product name, help, minimise, close.
  auto* top = new QHBoxLayout;
  auto* Image3 = new QLabel(this);
  Image3->setObjectName(QStringLiteral("Image3"));
  Image3->setPixmap(QPixmap(QStringLiteral(":/artwork/zantic-32.png")));
  Image3->setAccessibleName(QStringLiteral("Program icon; double-click to close"));
  Image3->installEventFilter(this);
  auto* Image1 = new QLabel(QString::fromUtf8(texts::kProductName), this);
  Image1->setObjectName(QStringLiteral("Image1"));
  QFont titleFont = Image1->font();
  titleFont.setPointSizeF(titleFont.pointSizeF() * 1.8);
  titleFont.setBold(true);
  Image1->setFont(titleFont);
  auto* btnHelp = new ui::PictureButton(QStringLiteral(":/artwork/help.png"), QStringLiteral("Help"), this);
  btnHelp->setObjectName(QStringLiteral("btnHelp"));
  connect(btnHelp, &QAbstractButton::clicked, this, [this] { btnHelpClick(); });
  auto* btnMin = new ui::PictureButton(QStringLiteral(":/artwork/min.png"), QStringLiteral("Minimise"), this);
  btnMin->setObjectName(QStringLiteral("btnMin"));
  auto* btnClose = new ui::PictureButton(QStringLiteral(":/artwork/close.png"), QStringLiteral("Close"), this);
  btnClose->setObjectName(QStringLiteral("btnClose"));
  top->addWidget(Image3);
  top->addWidget(Image1);
  top->addStretch(1);
  top->addWidget(btnHelp, 0, Qt::AlignTop);
  top->addWidget(btnMin, 0, Qt::AlignTop);
  top->addWidget(btnClose, 0, Qt::AlignTop);
  root->addLayout(top);

  auto* Image2 = new QLabel(QStringLiteral("CD / DVD burning"), this);
  Image2->setObjectName(QStringLiteral("Image2"));
  root->addWidget(Image2, 0, Qt::AlignLeft);

  // The job buttons, two rows of three.
  auto* grid = new QGridLayout;
  grid->setSpacing(12);
  struct Job {
    const char* Name;
    const char* Picture;
    const char* Label;
  };
  const Job jobs[] = {
      {"btnBurn", ":/artwork/burn.png", "Burn Disc"},   {"btnISO", ":/artwork/iso.png", "ISO Image"},
      {"btnClone", ":/artwork/clone.png", "Copy Disc"}, {"btnEraser", ":/artwork/eraser.png", "Erase Disc"},
      {"btnBackup", ":/artwork/backup.png", "Backup"},  {"btnOption", ":/artwork/option.png", "Options"},
  };
  int index = 0;
  for (const Job& job : jobs) {
    auto* button = new ui::PictureButton(QString::fromUtf8(job.Picture), QString::fromUtf8(job.Label), this);
    button->setObjectName(QString::fromUtf8(job.Name));
    grid->addWidget(button, index / 3, index % 3);
    ++index;
  }
  root->addLayout(grid, 1);

  auto* bottom = new QHBoxLayout;
  auto* Image4 = new QLabel(this);
  Image4->setObjectName(QStringLiteral("Image4"));
  Image4->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
  labHomepage = new QLabel(this);
  labHomepage->setObjectName(QStringLiteral("labHomepage"));
  labHomepage->setStyleSheet(QStringLiteral("QLabel { color: blue; text-decoration: underline; }"));
  labHomepage->setCursor(Qt::PointingHandCursor);
  SetWebSite(QString());
  auto* labVersion = new QLabel(QString::fromUtf8(texts::kVersionPrefix) + FVersionText, this);
  labVersion->setObjectName(QStringLiteral("labVersion"));
  auto* Image5 = new QLabel(this);
  Image5->setObjectName(QStringLiteral("Image5"));
  Image5->setMinimumWidth(8);
  bottom->addWidget(Image4, 1);
  bottom->addWidget(labHomepage);
  bottom->addSpacing(16);
  bottom->addWidget(labVersion);
  bottom->addWidget(Image5);
  root->addLayout(bottom);

  for (QWidget* handle : {static_cast<QWidget*>(Image1), static_cast<QWidget*>(Image2), static_cast<QWidget*>(Image4),
                          static_cast<QWidget*>(Image5), static_cast<QWidget*>(labVersion),
                          static_cast<QWidget*>(labHomepage)})
    handle->installEventFilter(this);

  // The texts sit on a light panel so that any background colour or picture
  // leaves them readable.
  for (QLabel* label : {Image1, Image2, labHomepage, labVersion}) {
    label->setAutoFillBackground(false);
    label->setStyleSheet(label->styleSheet() +
                         QStringLiteral("QLabel { background: rgba(255, 255, 255, 190); border-radius: 4px; "
                                        "padding: 1px 5px; }"));
  }
  Image1->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Preferred);
  Image2->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Preferred);

  btnOption = findChild<ui::PictureButton*>(QStringLiteral("btnOption"));
  connect(findChild<ui::PictureButton*>(QStringLiteral("btnBurn")), &QAbstractButton::clicked, this,
          [this] { Call(OnBurn); });
  connect(findChild<ui::PictureButton*>(QStringLiteral("btnISO")), &QAbstractButton::clicked, this,
          [this] { Call(OnISO); });
  connect(btnOption, &QAbstractButton::clicked, this, [this] { Call(OnOptions); });
  connect(btnMin, &QAbstractButton::clicked, this, [this] { btnMinClick(); });
  connect(btnClose, &QAbstractButton::clicked, this, [this] { Call(OnClose); });
  btnBackup = findChild<ui::PictureButton*>(QStringLiteral("btnBackup"));
  connect(btnBackup, &QAbstractButton::clicked, this, [this] { Call(OnScheduleList); });
  // Copy, erase and the schedule list open windows that come with the disc
  // operations; until then their buttons are off rather than doing nothing.
  for (const char* name : {"btnClone", "btnEraser", "btnBackup"})
    findChild<ui::PictureButton*>(QString::fromUtf8(name))->setEnabled(false);
  btnOption->setEnabled(false);
}

void TStartForm::BuildTray() {
  TrayIcon = new QSystemTrayIcon(QIcon(QStringLiteral(":/artwork/zantic-32.png")), this);
  TrayIcon->setObjectName(QStringLiteral("TrayIcon"));
  TrayIcon->setToolTip(QString::fromUtf8(texts::kProductName));
  PopupMenu1 = new QMenu(this);
  PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
  QAction* mainWindow = PopupMenu1->addAction(QString::fromUtf8(texts::kTrayMainWindow));
  mainWindow->setObjectName(QStringLiteral("mnuMainWindow"));
  QAction* scheduleList = PopupMenu1->addAction(QString::fromUtf8(texts::kTrayScheduleList));
  scheduleList->setObjectName(QStringLiteral("mnuScheduleList"));
  scheduleList->setEnabled(false);
  FTrayScheduleList = scheduleList;
  PopupMenu1->addSeparator();
  FTrayOptions = PopupMenu1->addAction(QString::fromUtf8(texts::kTrayOptions));
  FTrayOptions->setObjectName(QStringLiteral("mnuOptions"));
  FTrayOptions->setEnabled(false);
  PopupMenu1->addSeparator();
  QAction* exitAction = PopupMenu1->addAction(QString::fromUtf8(texts::kTrayExit));
  exitAction->setObjectName(QStringLiteral("mnuExit"));
  TrayIcon->setContextMenu(PopupMenu1);
  // The same menu on the window itself, so that Exit is reachable where the
  // desktop has no tray and the window waits on the taskbar instead.
  setContextMenuPolicy(Qt::CustomContextMenu);
  connect(this, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { PopupMenu1->popup(mapToGlobal(at)); });

  connect(mainWindow, &QAction::triggered, this, [this] {
    showNormal();
    raise();
    activateWindow();
  });
  connect(scheduleList, &QAction::triggered, this, [this] { Call(OnScheduleList); });
  connect(FTrayOptions, &QAction::triggered, this, [this] { Call(OnOptions); });
  connect(exitAction, &QAction::triggered, this, [this] { Call(OnExit); });
  connect(TrayIcon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::DoubleClick) Call(OnScheduleList);
  });
}

void TStartForm::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (FShownOnce) return;
  FShownOnce = true;
  if (!AutoVersionCheck || !AutoVersionCheck()) return;
  Timer1 = new QTimer(this);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  Timer1->setSingleShot(true);
  Timer1->setInterval(2000);
  connect(Timer1, &QTimer::timeout, this, [this] { Call(OnVersionCheck); });
  Timer1->start();
}

void TStartForm::SetOptionsAvailable(bool available) {
  btnOption->setEnabled(available);
  FTrayOptions->setEnabled(available);
}

void TStartForm::Call(const std::function<void()>& handler) {
  if (handler) handler();
}

void TStartForm::btnMinClick() { showMinimized(); }

void TStartForm::btnHelpClick() {
  // The manual's first page is its welcome.
  const QString file = HelpFile();
  if (file.isEmpty()) {
    ui::CurrentDialogs().Inform(this, QString::fromUtf8(texts::kHelpMissing) + QStringLiteral("Help/index.html"));
    return;
  }
  ShowHelp(this, file);
}

bool TStartForm::TrayAvailable() { return QSystemTrayIcon::isSystemTrayAvailable(); }

void TStartForm::ActivateTray() {
  FTrayActive = true;
  if (TrayAvailable()) {
    TrayIcon->show();
    hide();
  } else {
    showMinimized();
  }
}

void TStartForm::DeactivateTray() {
  FTrayActive = false;
  TrayIcon->hide();
}

void TStartForm::SetWebSite(const QString& webSite) {
  FHomePage = HomePageUrl(webSite);
  const QString shown = HomePageText(FHomePage);
  labHomepage->setText(shown);
  labHomepage->setToolTip(FHomePage.toString());
  labHomepage->setAccessibleName(QStringLiteral("Home page ") + shown);
}

QString TStartForm::ApplyBackground(const appcore::Options& options) {
  if (options.BackgroundImage) {
    const QString path = QString::fromStdString(options.BkImage);
    QPixmap picture;
    if (path.isEmpty() || !picture.load(path)) return QString::fromUtf8(texts::kBackgroundImageFailed) + path;
    FImage = picture;
    FFill = Fill::Image;
  } else if (options.BackgroundGradient) {
    FTop = ColorFromOptions(options.BkStartColor);
    FBottom = ColorFromOptions(options.BkEndColor);
    FFill = Fill::Gradient;
  } else {
    FColor = ColorFromOptions(options.BkColor);
    FFill = Fill::Color;
  }
  update();
  return {};
}

void TStartForm::paintEvent(QPaintEvent*) {
  QPainter p(this);
  switch (FFill) {
    case Fill::Color: p.fillRect(rect(), FColor); break;
    case Fill::Gradient: {
      QLinearGradient gradient(0, 0, 0, height());
      gradient.setColorAt(0, FTop);
      gradient.setColorAt(1, FBottom);
      p.fillRect(rect(), gradient);
      break;
    }
    case Fill::Image: p.drawPixmap(rect(), FImage); break;
  }
  p.setPen(palette().color(QPalette::Dark));
  p.drawRect(rect().adjusted(0, 0, -1, -1));
  FPainted = true;
}

void TStartForm::closeEvent(QCloseEvent* event) {
  event->ignore();
  Call(OnClose);
}

bool TStartForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched->objectName() == QLatin1String("Image3")) {
    if (event->type() == QEvent::MouseButtonDblClick) {
      Call(OnClose);
      return true;
    }
    return false;
  }
  switch (event->type()) {
    case QEvent::MouseButtonPress: {
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (mouse->button() != Qt::LeftButton) return false;
      FDragging = true;
      FDragMoved = false;
      FDragStart = mouse->globalPosition().toPoint() - frameGeometry().topLeft();
      return true;
    }
    case QEvent::MouseMove: {
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (!FDragging || (mouse->buttons() & Qt::LeftButton) == 0) return false;
      FDragMoved = true;
      move(mouse->globalPosition().toPoint() - FDragStart);
      return true;
    }
    case QEvent::MouseButtonRelease: {
      const bool click = FDragging && !FDragMoved;
      FDragging = false;
      if (click && watched == labHomepage) QDesktopServices::openUrl(FHomePage);
      return true;
    }
    default: return false;
  }
}

void TStartForm::SetScheduleListAvailable(bool available) {
  if (FTrayScheduleList != nullptr) FTrayScheduleList->setEnabled(available);
  if (btnBackup != nullptr) btnBackup->setEnabled(available);
}

void TStartForm::SetTrayHint(const QString& hint) {
  if (TrayIcon != nullptr) TrayIcon->setToolTip(hint);
}

}  // namespace app
