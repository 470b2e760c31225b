#include "app/main_form.h"

#include <QAction>
#include <algorithm>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFileSystemModel>
#include <QGroupBox>
#include <QHeaderView>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QMenuBar>
#include <QSplitter>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

#include "app/about_form.h"
#include "app/erase_form.h"
#include "app/main_form_erase.h"
#include "app/burning_form.h"
#include "app/disc_layout_form.h"
#include "engine/health/checksum_burn.h"
#include "app/name_list_model.h"
#include "app/name_list_view.h"
#include "app/texts.h"
#include "app/version_check.h"
#include "appcore/source_size.h"
#include "engine/kavo_burner.h"
#include "ui/dialog_interaction.h"
#include "ui/qt_dispatcher.h"
#include "ui/size_bar.h"

namespace app {

namespace {

QString Text(const char* s) { return QString::fromUtf8(s); }

}  // namespace

dispatch::Dispatcher& TForm1::Dispatcher() { return *FDispatcher; }
engine::Interaction& TForm1::Questions() { return *FQuestions; }

TForm1::TForm1(const QString& programFolder, const QString& versionText, QWidget* parent)
    : QMainWindow(parent), FAppFolder(programFolder), FVersionText(versionText),
      FDispatcher(std::make_unique<ui::QtDispatcher>(this)),
      FQuestions(std::make_unique<ui::DialogInteraction>(this)),
      FBurner(std::make_unique<engine::TKavoBurner>()) {
  FBurner->SetDispatcher(FDispatcher.get());
  FJobs = std::make_unique<appcore::DriveJobs>(*FBurner, *FDispatcher);
  FJob = std::make_unique<appcore::OperationJob>(*FBurner, *FJobs, FOptions);
  FWorker = std::make_unique<appcore::Worker>(*FDispatcher);
  setObjectName(QStringLiteral("TForm1"));
  setWindowTitle(Text(texts::kProductName) + QStringLiteral(" V") + versionText);
  setWindowIcon(QIcon(QStringLiteral(":/artwork/zantic-64.png")));
  FOptions.LoadFromFile((FAppFolder + QStringLiteral("/") + Text(appcore::kOptionFileName)).toStdString(), "");
  FOptions.ApplyToBurner(*FBurner);

  FRootIcon = style()->standardIcon(QStyle::SP_DriveCDIcon);
  FFolderIcon = style()->standardIcon(QStyle::SP_DirIcon);
  BuildActions();
  BuildMenus();
  BuildToolbars();
  BuildPanes();
  ConnectDriveSide();
  PlaceToolbars(Job::Burn);
  resize(kDefaultWidth, kDefaultHeight);
  ResetTask();
  FErase = std::make_unique<EraseRoutines>(*this);
  BuildVersionCheckEntries();
  BindOperations();
  // "Show files before burning": the compilation as the disc will hold it,
  // over the burn dialog that started it.
  OnShowDiscLayout = [this] { ShowDiscLayout(&BurningForm(), *FBurner); };
}

TForm1::~TForm1() {
  if (FMeasure) FMeasure->Cancel = true;
  // A save being written is finished, not cut off.
  FWorker.reset();
  FErase.reset();
  // The burn dialog is a window of its own; the burner's workers that may
  // still call back are ended with the burner, a wait for a disc first.
  if (FBurningForm != nullptr) FBurningForm->EndWait();
  FBurner->CancelOperation();
  FBurner->WaitForOperation();
  delete FBurningForm;
}

QAction* TForm1::MakeAction(const char* name, const char* text, const char* hint, void (TForm1::*handler)()) {
  auto* action = new QAction(Text(text), this);
  action->setObjectName(Text(name));
  if (hint != nullptr) {
    action->setToolTip(Text(hint));
    action->setStatusTip(Text(hint));
  }
  if (handler != nullptr) connect(action, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
  return action;
}

void TForm1::BuildActions() {
  // Actions that a later version fills in are present and switched off.
  const auto disabled = [this](const char* name, const char* text, const char* hint) {
    QAction* action = MakeAction(name, text, hint, nullptr);
    action->setEnabled(false);
    return action;
  };
  const QStyle* s = style();
  struct Edit {
    const char* Name;
    const char* Text;
    const char* IconText;
    const char* Hint;
    void (TForm1::*Handler)();
    QIcon Icon;
    QKeySequence Keys;
  };
  const Edit edits[] = {
      {"btnNew", "&New", "New", texts::kHintNew, &TForm1::btnNewClick, s->standardIcon(QStyle::SP_FileIcon),
       QKeySequence::New},
      {"btnOpen", "&Open", "Open", texts::kHintOpen, &TForm1::btnOpenClick,
       s->standardIcon(QStyle::SP_DialogOpenButton), QKeySequence::Open},
      {"btnSave", "&Save", "Save", texts::kHintSave, nullptr, s->standardIcon(QStyle::SP_DialogSaveButton),
       QKeySequence::Save},
      {"btnCut", "&Cut", "Cut", texts::kHintCut, &TForm1::btnCutClick, QIcon(QStringLiteral(":/artwork/tool-cut.png")),
       QKeySequence::Cut},
      {"btnCopy", "C&opy", "Copy", texts::kHintCopy, &TForm1::btnCopyClick,
       QIcon(QStringLiteral(":/artwork/tool-copy.png")), QKeySequence::Copy},
      {"btnPaste", "Pa&ste", "Paste", texts::kHintPaste, &TForm1::btnPasteClick,
       QIcon(QStringLiteral(":/artwork/tool-paste.png")), QKeySequence::Paste},
  };
  for (const Edit& e : edits) {
    QAction* action = MakeAction(e.Name, e.Text, e.Hint, e.Handler);
    action->setIconText(Text(e.IconText));
    action->setIcon(e.Icon);
    action->setShortcut(e.Keys);
    FEditActions.push_back(action);
  }
  connect(findChild<QAction*>(QStringLiteral("btnSave")), &QAction::triggered, this, [this] { btnSaveClick(); });

  FEditActions.push_back(MakeAction("mnuRemove", "&Remove (Name List Item)", nullptr, &TForm1::CustomItem2Click));
  FEditActions.push_back(MakeAction("mnuRemoveAll", "Remover &All (Name List Items)", nullptr, &TForm1::CustomItem3Click));
  FEditActions.push_back(MakeAction("CustomItem2", "&Remove", nullptr, &TForm1::CustomItem2Click));
  FEditActions.push_back(MakeAction("CustomItem3", "Remove &All", nullptr, &TForm1::CustomItem3Click));
  FEditActions.push_back(MakeAction("CustomItem7", "&Create Folder", nullptr, &TForm1::CustomItem7Click));
  FEditActions.push_back(MakeAction("CustomItem9", "&Remove Folder", nullptr, &TForm1::CustomItem9Click));
  FEditActions.push_back(MakeAction("CustomItem10", "Remove &All", nullptr, &TForm1::CustomItem10Click));
  findChild<QAction*>(QStringLiteral("CustomItem2"))->setShortcut(QKeySequence::Delete);
  findChild<QAction*>(QStringLiteral("CustomItem2"))->setShortcutContext(Qt::WidgetShortcut);

  // Disc operations come with the next version of the window.
  const auto picture = [](const char* file) { return QIcon(QStringLiteral(":/artwork/") + Text(file)); };
  disabled("bEject", "E&ject", texts::kHintEject)->setIcon(picture("tool-eject.png"));
  disabled("bCaps", "D&river Information", texts::kHintCaps)->setIcon(picture("tool-drive.png"));
  disabled("bDisc", "D&isk Information", texts::kHintDisc)->setIcon(picture("tool-disc.png"));
  disabled("bBurn", "&Burn Disc", texts::kHintBurn)->setIcon(picture("tool-burn.png"));
  disabled("btnClone", "&Copy Disc", texts::kHintClone)->setIcon(picture("tool-clone.png"));
  disabled("btnErase", "Er&ase Disc", texts::kHintErase)->setIcon(picture("tool-erase.png"));
  disabled("btnBuildISO", "B&uild .ISO Image", texts::kHintBuildISO)->setIcon(picture("tool-iso.png"));
  disabled("btnBurnISO", "Bu&rn .ISO Image", texts::kHintBurnISO)->setIcon(picture("tool-burn.png"));
  QAction* help = disabled("btnHelp", "Co&ntent", texts::kHintHelp);
  help->setShortcut(QKeySequence(Qt::Key_F1));
  help->setIcon(picture("tool-help.png"));
  disabled("mnuCheckVersion", "&Check the latest version", nullptr);

  FOptionsAction = MakeAction("bAdvance", "O&ptions", texts::kHintOptions, &TForm1::bAdvanceClick);
  FOptionsAction->setIcon(picture("tool-options.png"));
  FOptionsAction->setEnabled(false);
  QAction* about = MakeAction("btnAbout", "&About", texts::kHintAbout, &TForm1::btnAboutClick);
  about->setIcon(picture("tool-about.png"));

  const auto mail = [this](const char* name, const char* text, const char* address) {
    QAction* action = MakeAction(name, text, nullptr, nullptr);
    connect(action, &QAction::triggered, this, [address] { QDesktopServices::openUrl(QUrl(Text(address))); });
  };
  mail("mnuTechnicalSupport", "Te&chnical Support", texts::kTechnicalSupportMail);
  mail("mnuSaleSupport", "Sa&le Support", texts::kSaleSupportMail);
  mail("mnuReportBug", "&Report Bug", texts::kReportBugMail);
  // The address is the "WebSite" setting as it is when clicked.
  connect(MakeAction("mnuHomepage", "O&ur Homepage", nullptr, nullptr), &QAction::triggered, this,
          [this] { QDesktopServices::openUrl(HomePageUrl(QString::fromStdString(FOptions.WebSite))); });
}

void TForm1::BuildMenus() {
  const auto act = [this](const char* name) { return findChild<QAction*>(Text(name)); };
  QMenuBar* MenuBar1 = menuBar();
  MenuBar1->setObjectName(QStringLiteral("MenuBar1"));
  QMenu* task = MenuBar1->addMenu(QStringLiteral("&Task"));
  task->addActions({act("btnNew"), act("btnOpen"), act("btnSave")});
  QMenu* edit = MenuBar1->addMenu(QStringLiteral("&Edit"));
  edit->addActions({act("btnCut"), act("btnCopy"), act("btnPaste")});
  edit->addSeparator();
  edit->addActions({act("mnuRemove"), act("mnuRemoveAll")});
  QMenu* disc = MenuBar1->addMenu(QStringLiteral("D&isc"));
  disc->addActions({act("bEject"), act("bCaps"), act("bDisc")});
  QMenu* operation = MenuBar1->addMenu(QStringLiteral("&Operation"));
  operation->addActions({act("bBurn"), act("btnClone"), act("btnErase")});
  QMenu* iso = MenuBar1->addMenu(QStringLiteral("I&SO Image"));
  iso->addActions({act("btnBuildISO"), act("btnBurnISO")});
  // "Options" is an item of the bar itself, without a submenu.
  FOptionsMenu = MakeAction("mnuOptions", "O&ptions", nullptr, &TForm1::bAdvanceClick);
  FOptionsMenu->setEnabled(false);
  MenuBar1->addAction(FOptionsMenu);
  QMenu* tools = MenuBar1->addMenu(QStringLiteral("Too&ls"));
  tools->addAction(act("mnuCheckVersion"));
  QMenu* help = MenuBar1->addMenu(QStringLiteral("&Help"));
  help->addAction(act("btnHelp"));
  QMenu* contact = help->addMenu(QStringLiteral("Con&tact Us"));
  contact->addActions({act("mnuTechnicalSupport"), act("mnuSaleSupport"), act("mnuReportBug")});
  help->addAction(act("mnuHomepage"));
  help->addSeparator();
  help->addAction(act("btnAbout"));

  PopupMenu1 = new QMenu(this);
  PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
  PopupMenu1->addActions({act("CustomItem7"), act("CustomItem9"), act("CustomItem10")});
  PopupMenu2 = new QMenu(this);
  PopupMenu2->setObjectName(QStringLiteral("PopupMenu2"));
  PopupMenu2->addActions({act("CustomItem2"), act("CustomItem3")});
}

void TForm1::BuildToolbars() {
  const auto act = [this](const char* name) { return findChild<QAction*>(Text(name)); };
  const auto bar = [this](const char* name, const char* title, std::initializer_list<QAction*> actions) {
    auto* toolbar = new QToolBar(Text(title), this);
    toolbar->setObjectName(Text(name));
    // Pictures only, as the hints say what each button does.
    toolbar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    for (QAction* action : actions) {
      toolbar->addAction(action);
      QWidget* button = toolbar->widgetForAction(action);
      // Each tool button carries its action's name (btnNew), so tests find it.
      button->setObjectName(action->objectName());
      button->setAccessibleName(action->toolTip());
    }
    return toolbar;
  };
  tbFile = bar("tbFile", "Task", {act("btnNew"), act("btnOpen"), act("btnSave"), act("btnCut"), act("btnCopy"),
                                  act("btnPaste")});
  tbDrive = bar("tbDrive", "Drive", {});
  auto* lDrive = new QLabel(Text(texts::kNoDrive), tbDrive);
  lDrive->setObjectName(QStringLiteral("lDrive"));
  auto* cbDrives = new QComboBox(tbDrive);
  cbDrives->setObjectName(QStringLiteral("cbDrives"));
  cbDrives->setToolTip(Text(texts::kHintDrives));
  cbDrives->setAccessibleName(Text(texts::kHintDrives));
  cbDrives->setMinimumContentsLength(20);
  cbDrives->setEnabled(false);
  lDrive->setBuddy(cbDrives);
  tbDrive->addWidget(lDrive);
  tbDrive->addWidget(cbDrives);
  for (const char* name : {"bEject", "bCaps", "bDisc"}) {
    tbDrive->addAction(act(name));
    tbDrive->widgetForAction(act(name))->setObjectName(Text(name));
    tbDrive->widgetForAction(act(name))->setAccessibleName(act(name)->toolTip());
  }
  tbBurn = bar("tbBurn", "Burn", {act("bBurn"), act("btnClone"), act("btnErase")});
  tbISO = bar("tbISO", "ISO Image", {act("btnBuildISO"), act("btnBurnISO")});
  tbHelp = bar("tbHelp", "Help", {act("bAdvance"), act("btnAbout"), act("btnHelp")});
}

void TForm1::PlaceToolbars(Job job) {
  // Re-adding puts each bar at the end of the row: file, drive, the job's
  // bar, help.
  QToolBar* shown = job == Job::Burn ? tbBurn : tbISO;
  QToolBar* hidden = job == Job::Burn ? tbISO : tbBurn;
  for (QToolBar* toolbar : {tbFile, tbDrive, tbBurn, tbISO, tbHelp}) removeToolBar(toolbar);
  for (QToolBar* toolbar : {tbFile, tbDrive, shown, tbHelp}) {
    addToolBar(Qt::TopToolBarArea, toolbar);
    toolbar->show();
  }
  addToolBar(Qt::TopToolBarArea, hidden);
  hidden->hide();
}

void TForm1::ShowForJob(Job job) {
  PlaceToolbars(job);
  if (job == Job::ISO) btnNewClick();
  showNormal();
  raise();
  activateWindow();
  if (job == Job::Burn) btnNewClick();
}

void TForm1::BuildPanes() {
  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(4, 4, 4, 2);

  auto* destination = new QGroupBox(Text(texts::kDestinationDisc), central);
  destination->setObjectName(QStringLiteral("GroupBox1"));
  auto* destinationLayout = new QVBoxLayout(destination);
  trvDir = new QTreeWidget(destination);
  trvDir->setObjectName(QStringLiteral("trvDir"));
  trvDir->setAccessibleName(QStringLiteral("Folders of the disc"));
  trvDir->setHeaderHidden(true);
  trvDir->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
  trvDir->setContextMenuPolicy(Qt::CustomContextMenu);
  destinationLayout->addWidget(trvDir);
  connect(trvDir, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { PopupMenu1->popup(trvDir->viewport()->mapToGlobal(at)); });
  connect(trvDir, &QTreeWidget::currentItemChanged, this, [this] { RefreshNameList(); });
  connect(trvDir, &QTreeWidget::itemChanged, this, &TForm1::trvDirEdited);

  auto* names = new TNameListView(central);
  clbox = names;
  clbox->setObjectName(QStringLiteral("clbox"));
  clbox->setAccessibleName(QStringLiteral("Files and folders of the selected disc folder"));
  FNameList = new TNameListModel(clbox);
  clbox->setModel(FNameList);
  clbox->setRootIsDecorated(false);
  clbox->setUniformRowHeights(true);
  clbox->setAlternatingRowColors(true);
  clbox->setSelectionMode(QAbstractItemView::ExtendedSelection);
  clbox->setEditTriggers(QAbstractItemView::NoEditTriggers);
  clbox->setDragDropMode(QAbstractItemView::DropOnly);
  clbox->setDropIndicatorShown(false);
  // Paths are long: the name column takes the room the size column leaves.
  clbox->header()->setStretchLastSection(false);
  clbox->header()->setSectionResizeMode(0, QHeaderView::Stretch);
  clbox->header()->setMinimumSectionSize(256 * logicalDpiX() / 96 / 4);
  clbox->header()->resizeSection(1, std::max(80 * logicalDpiX() / 96, clbox->fontMetrics().horizontalAdvance(
                                                                             Text(texts::kSizeColumn) + "MMM")));
  clbox->setContextMenuPolicy(Qt::CustomContextMenu);
  clbox->addAction(findChild<QAction*>(QStringLiteral("CustomItem2")));
  names->CanDrop = [this](const QMimeData* mime, const QObject* source) { return clBoxDragOver(mime, source); };
  names->Drop = [this](const QMimeData* mime, const QObject* source) { return clBoxDragDrop(mime, source); };
  connect(clbox, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { PopupMenu2->popup(clbox->viewport()->mapToGlobal(at)); });

  auto* top = new QSplitter(Qt::Horizontal, central);
  top->addWidget(destination);
  top->addWidget(clbox);
  top->setStretchFactor(0, 1);
  top->setStretchFactor(1, 3);
  top->setSizes({260, 700});

  auto* source = new QGroupBox(Text(texts::kSourceList), central);
  source->setObjectName(QStringLiteral("GroupBox2"));
  auto* sourceLayout = new QVBoxLayout(source);
  auto* panes = new QSplitter(Qt::Horizontal, source);
  FDirModel = new QFileSystemModel(this);
  FDirModel->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::Drives);
  Dirlist = new QTreeView(panes);
  Dirlist->setObjectName(QStringLiteral("Dirlist"));
  Dirlist->setAccessibleName(Text(texts::kDirlistHint));
  Dirlist->setToolTip(Text(texts::kDirlistHint));
  Dirlist->setModel(FDirModel);
  for (int column = 1; column < FDirModel->columnCount(); ++column) Dirlist->hideColumn(column);
  Dirlist->setHeaderHidden(true);
  Dirlist->setDragEnabled(true);
  Dirlist->setDragDropMode(QAbstractItemView::DragOnly);
  FFileModel = new QFileSystemModel(this);
  FFileModel->setFilter(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
  lbFiles = new QTreeView(panes);
  lbFiles->setObjectName(QStringLiteral("lbFiles"));
  lbFiles->setAccessibleName(Text(texts::kFilesHint));
  lbFiles->setToolTip(Text(texts::kFilesHint));
  lbFiles->setModel(FFileModel);
  lbFiles->setRootIsDecorated(false);
  lbFiles->setItemsExpandable(false);
  lbFiles->setSelectionMode(QAbstractItemView::ExtendedSelection);
  lbFiles->setDragEnabled(true);
  lbFiles->setDragDropMode(QAbstractItemView::DragOnly);
  panes->setStretchFactor(0, 1);
  panes->setStretchFactor(1, 2);
  sourceLayout->addWidget(panes);

  auto* vertical = new QSplitter(Qt::Vertical, central);
  vertical->addWidget(top);
  vertical->addWidget(source);
  vertical->setStretchFactor(0, 3);
  vertical->setStretchFactor(1, 2);
  layout->addWidget(vertical, 1);

  BuildBusyPanel(central);
  layout->addWidget(panBusy);
  ProgressBar1 = new ui::SizeBar(central);
  ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
  layout->addWidget(ProgressBar1);
  setCentralWidget(central);
}

void TForm1::ShowSources() {
  // Filled when the window first shows, not at program start.
  FDirModel->setRootPath(QDir::rootPath());
  // The file list shows the folder chosen in the folder tree; opening a
  // sub-folder in the list chooses it in the tree.
  const auto showFolder = [this](const QString& path) {
    lbFiles->setRootIndex(FFileModel->setRootPath(path));
    const QModelIndex inTree = FDirModel->index(path);
    if (inTree.isValid() && Dirlist->currentIndex() != inTree) {
      Dirlist->setCurrentIndex(inTree);
      Dirlist->scrollTo(inTree);
    }
  };
  connect(Dirlist->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this, showFolder](const QModelIndex& current) {
            if (current.isValid()) showFolder(FDirModel->filePath(current));
          });
  connect(lbFiles, &QAbstractItemView::doubleClicked, this, [this, showFolder](const QModelIndex& index) {
    if (FFileModel->isDir(index)) showFolder(FFileModel->filePath(index));
  });
  showFolder(QDir::homePath());

}

void TForm1::showEvent(QShowEvent* event) {
  if (!FSourcesShown) {
    FSourcesShown = true;
    ShowSources();
  }
  QMainWindow::showEvent(event);
}

void TForm1::BuildBusyPanel(QWidget* parent) {
  // Long work shows here, inside the window, with its own Cancel.
  panBusy = new QWidget(parent);
  panBusy->setObjectName(QStringLiteral("panBusy"));
  auto* row = new QHBoxLayout(panBusy);
  row->setContentsMargins(0, 0, 0, 0);
  labBusy = new QLabel(panBusy);
  labBusy->setObjectName(QStringLiteral("labBusy"));
  auto* pbBusy = new QProgressBar(panBusy);
  pbBusy->setObjectName(QStringLiteral("pbBusy"));
  pbBusy->setAccessibleName(QStringLiteral("Work in progress"));
  pbBusy->setRange(0, 0);
  pbBusy->setMaximumWidth(200);
  auto* btnBusyCancel = new QPushButton(Text(texts::kCancel), panBusy);
  btnBusyCancel->setObjectName(QStringLiteral("btnBusyCancel"));
  connect(btnBusyCancel, &QPushButton::clicked, this, &TForm1::CancelBusy);
  row->addWidget(labBusy, 1);
  row->addWidget(pbBusy);
  row->addWidget(btnBusyCancel);
  panBusy->hide();
}

void TForm1::SetOptionsAvailable(bool available) {
  FOptionsAction->setEnabled(available);
  FOptionsMenu->setEnabled(available);
}

void TForm1::bAdvanceClick() {
  if (OnOptions) OnOptions();
}

void TForm1::btnAboutClick() {
  if (FAbout == nullptr) FAbout = new TAboutForm(FVersionText, this);
  FAbout->show();
  FAbout->raise();
  FAbout->activateWindow();
}

}  // namespace app
