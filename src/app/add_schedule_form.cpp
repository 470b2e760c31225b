#include "app/add_schedule_form.h"

#include <QButtonGroup>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <optional>

#include "app/schedule_form.h"
#include "app/schedule_texts.h"
#include "appcore/schedule.h"
#include "appcore/source_size.h"
#include "appcore/texts.h"
#include "appcore/worker.h"
#include "platform/file_find.h"
#include "platform/time_zone.h"
#include "ui/dialogs.h"
#include "ui/qt_dispatcher.h"

namespace app {

namespace texts = schedule_texts;

namespace {

QString Text(const char* utf8) { return QString::fromUtf8(utf8); }

QSpinBox* MakeSpin(QWidget* parent, const char* name, int maximum) {
  auto* spin = new QSpinBox(parent);
  spin->setObjectName(QString::fromUtf8(name));
  spin->setRange(1, maximum);
  spin->setValue(1);
  return spin;
}

std::string SizeText(qint64 bytes) {
  return appcore::FormatSize(bytes, QLocale().groupSeparator().toStdString());
}

}  // namespace

TAddScheduleForm::TAddScheduleForm(TScheduleForm& owner)
    : QDialog(&owner),
      FOwner(owner),
      FDispatcher(std::make_unique<ui::QtDispatcher>(this)),
      FWorker(std::make_unique<appcore::Worker>(*FDispatcher)) {
  setObjectName(QStringLiteral("TAddScheduleForm"));
  auto* box = new QVBoxLayout(this);

  auto* names = new QGridLayout;
  auto* labName = new QLabel(Text(texts::kTaskName), this);
  edtTaskName = new QLineEdit(this);
  edtTaskName->setObjectName(QStringLiteral("edtTaskName"));
  labName->setBuddy(edtTaskName);
  names->addWidget(labName, 0, 0);
  names->addWidget(edtTaskName, 0, 1);
  names->addWidget(new QLabel(Text(texts::kDiscVolumeNote), this), 0, 2);
  auto* labDescription = new QLabel(Text(texts::kDescription), this);
  edtDescription = new QLineEdit(this);
  edtDescription->setObjectName(QStringLiteral("edtDescription"));
  labDescription->setBuddy(edtDescription);
  names->addWidget(labDescription, 1, 0);
  names->addWidget(edtDescription, 1, 1, 1, 2);
  box->addLayout(names);

  auto* period = new QGroupBox(Text(texts::kPeriodicity), this);
  period->setObjectName(QStringLiteral("GroupBox1"));
  auto* grid = new QGridLayout(period);
  grid->addWidget(new QLabel(Text(texts::kCarryOut), period), 0, 0, 1, 4);
  rdbDays = new QRadioButton(Text(texts::kDays), period);
  rdbWeeks = new QRadioButton(Text(texts::kWeeks), period);
  rdbMonths = new QRadioButton(Text(texts::kMonths), period);
  rdbOne = new QRadioButton(Text(texts::kOnlyOnce), period);
  rdbDays->setObjectName(QStringLiteral("rdbDays"));
  rdbWeeks->setObjectName(QStringLiteral("rdbWeeks"));
  rdbMonths->setObjectName(QStringLiteral("rdbMonths"));
  rdbOne->setObjectName(QStringLiteral("rdbOne"));
  auto* units = new QButtonGroup(this);
  for (QRadioButton* r : {rdbDays, rdbWeeks, rdbMonths, rdbOne}) units->addButton(r);
  edtDays = MakeSpin(period, "edtDays", 365);
  edtWeeks = MakeSpin(period, "edtWeeks", 48);
  edtMonths = MakeSpin(period, "edtMonths", 12);
  grid->addWidget(rdbDays, 1, 0);
  grid->addWidget(edtDays, 1, 1);
  grid->addWidget(rdbWeeks, 2, 0);
  grid->addWidget(edtWeeks, 2, 1);
  grid->addWidget(rdbMonths, 3, 0);
  grid->addWidget(edtMonths, 3, 1);
  rdbEL = new QRadioButton(Text(texts::kEqualOrLater), period);
  rdbE = new QRadioButton(Text(texts::kExactlyEqual), period);
  rdbEL->setObjectName(QStringLiteral("rdbEL"));
  rdbE->setObjectName(QStringLiteral("rdbE"));
  auto* rule = new QButtonGroup(this);
  rule->addButton(rdbEL);
  rule->addButton(rdbE);
  grid->addWidget(rdbEL, 1, 2, 1, 2);
  grid->addWidget(rdbE, 2, 2, 1, 2);
  // Kept for the keys an edit reads; never shown.
  labDate = new QLabel(Text(texts::kDate), period);
  labTime = new QLabel(Text(texts::kTime), period);
  EdtDate2 = new QLineEdit(period);
  EdtDate2->setObjectName(QStringLiteral("EdtDate2"));
  EdtTime2 = new QLineEdit(period);
  EdtTime2->setObjectName(QStringLiteral("EdtTime2"));
  for (QWidget* hidden : std::initializer_list<QWidget*>{rdbOne, labDate, labTime, EdtDate2, EdtTime2})
    hidden->setVisible(false);
  grid->setColumnStretch(3, 1);
  box->addWidget(period);

  const std::pair<QSpinBox*, QRadioButton*> spins[] = {{edtDays, rdbDays}, {edtWeeks, rdbWeeks}, {edtMonths, rdbMonths}};
  for (const auto& [spin, radio] : spins) {
    QRadioButton* r = radio;
    connect(spin, &QSpinBox::valueChanged, this, [r] { r->setChecked(true); });
    connect(radio, &QRadioButton::toggled, this, [this](bool on) {
      if (!on) return;
      rdbEL->setEnabled(true);
      rdbE->setEnabled(true);
      for (QWidget* w : std::initializer_list<QWidget*>{EdtDate2, EdtTime2, labDate, labTime}) w->setEnabled(false);
    });
  }

  auto* files = new QGroupBox(Text(texts::kFilesGroup), this);
  files->setObjectName(QStringLiteral("GroupBox2"));
  auto* filesBox = new QVBoxLayout(files);
  ltvFile = new QTreeWidget(files);
  ltvFile->setObjectName(QStringLiteral("ltvFile"));
  ltvFile->setAccessibleName(Text(texts::kFilesGroup));
  ltvFile->setRootIsDecorated(false);
  ltvFile->setHeaderLabels({Text(texts::kFileColumn), Text(texts::kSizeColumn)});
  ltvFile->header()->resizeSection(0, 300);
  filesBox->addWidget(ltvFile, 1);
  auto* fileButtons = new QHBoxLayout;
  btnAdd = new QPushButton(Text(texts::kAddButton), files);
  btnAdd->setObjectName(QStringLiteral("btnAdd"));
  FAddMenu = new QMenu(btnAdd);
  QAction* addFile = FAddMenu->addAction(Text(texts::kAddFile));
  addFile->setObjectName(QStringLiteral("mnuAddFile"));
  QAction* addFolder = FAddMenu->addAction(Text(texts::kAddFolder));
  addFolder->setObjectName(QStringLiteral("mnuAddFolder"));
  connect(addFile, &QAction::triggered, this, &TAddScheduleForm::btnAddFileClick);
  connect(addFolder, &QAction::triggered, this, &TAddScheduleForm::btnAddFolderClick);
  btnAdd->setMenu(FAddMenu);
  btnRemove = new QPushButton(Text(texts::kRemove), files);
  btnRemove->setObjectName(QStringLiteral("btnRemove"));
  connect(btnRemove, &QPushButton::clicked, this, &TAddScheduleForm::btnRemoveClick);
  btnClear = new QPushButton(Text(texts::kClearList), files);
  btnClear->setObjectName(QStringLiteral("btnClear"));
  connect(btnClear, &QPushButton::clicked, this, &TAddScheduleForm::btnClearClick);
  labMeasuring = new QLabel(files);
  labMeasuring->setObjectName(QStringLiteral("labMeasuring"));
  fileButtons->addWidget(btnAdd);
  fileButtons->addWidget(btnRemove);
  fileButtons->addWidget(btnClear);
  fileButtons->addWidget(labMeasuring, 1);
  filesBox->addLayout(fileButtons);
  box->addWidget(files, 1);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  btnOK = new QPushButton(Text(texts::kOk), this);
  btnOK->setObjectName(QStringLiteral("btnOK"));
  btnOK->setDefault(true);
  connect(btnOK, &QPushButton::clicked, this, &TAddScheduleForm::btnOKClick);
  btnCancel = new QPushButton(Text(texts::kCancel), this);
  btnCancel->setObjectName(QStringLiteral("btnCancel"));
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
  buttons->addWidget(btnOK);
  buttons->addWidget(btnCancel);
  box->addLayout(buttons);
  resize(520, 470);
}

TAddScheduleForm::~TAddScheduleForm() { StopMeasuring(); }

void TAddScheduleForm::Open(Mode mode, const appcore::ScheduleTask* row) {
  StopMeasuring();
  FMode = mode;
  setWindowTitle(Text(mode == Mode::Add ? texts::kModeAdd : texts::kModeEdit) + Text(texts::kDialogSuffix));
  ltvFile->clear();
  const appcore::CalendarDate today = FOwner.Today();
  appcore::TaskSettings settings;
  settings.Date2 = appcore::FormatDate(today);
  settings.Time2 = appcore::FormatTime(platform::NowLocal());
  std::string problem;
  if (mode == Mode::Edit && row != nullptr) {
    edtTaskName->setText(QString::fromStdString(row->Name));
    edtTaskName->setEnabled(false);
    appcore::ScheduleStore::EditedTask edited = FOwner.Store().ReadTaskForEdit(row->Name, today);
    settings = edited.Settings;
    problem = edited.Problem;
    for (const auto& f : edited.Files) AddRow(QString::fromStdString(f.Path), QString::fromStdString(f.SizeText));
  } else {
    edtTaskName->clear();
    edtTaskName->setEnabled(true);
  }
  edtDescription->setText(QString::fromStdString(settings.Description));
  edtDays->setValue(QString::fromStdString(settings.Days).toInt());
  edtWeeks->setValue(QString::fromStdString(settings.Weeks).toInt());
  edtMonths->setValue(QString::fromStdString(settings.Months).toInt());
  // After the spins: changing a spin checks its radio.
  QRadioButton* unit = settings.Unit == appcore::IntervalUnit::Weeks    ? rdbWeeks
                       : settings.Unit == appcore::IntervalUnit::Months ? rdbMonths
                                                                        : rdbDays;
  unit->setChecked(true);
  (settings.EqualOrLater ? rdbEL : rdbE)->setChecked(true);
  EdtDate2->setText(QString::fromStdString(settings.Date2));
  EdtTime2->setText(QString::fromStdString(settings.Time2));
  for (QWidget* w : std::initializer_list<QWidget*>{EdtDate2, EdtTime2, labDate, labTime}) w->setEnabled(settings.Once);
  FOwner.setEnabled(false);
  setEnabled(true);
  show();
  raise();
  (mode == Mode::Add ? edtTaskName : edtDescription)->setFocus();
  if (!problem.empty()) ui::CurrentDialogs().Inform(this, QString::fromStdString(problem));
}

void TAddScheduleForm::done(int result) {
  StopMeasuring();
  FOwner.setEnabled(true);
  QDialog::done(result);
}

void TAddScheduleForm::AddRow(const QString& path, const QString& size) {
  auto* item = new QTreeWidgetItem(ltvFile);
  item->setText(0, path);
  item->setText(1, size);
  item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
}

void TAddScheduleForm::btnAddFileClick() {
  const QStringList paths =
      ui::CurrentDialogs().OpenFileNames(this, Text(texts::kAddFile), QString(), Text(texts::kAllFiles));
  for (const QString& path : paths) {
    const QFileInfo info(path);
    if (!info.isFile()) continue;  // each chosen file must exist
    AddRow(QDir::toNativeSeparators(path), QString::fromStdString(SizeText(info.size())));
  }
}

void TAddScheduleForm::btnAddFolderClick() {
  if (Measuring()) return;
  QString folder = ui::CurrentDialogs().ExistingDirectory(this, Text(texts::kAddFolder), QString());
  if (folder.isEmpty()) return;
  while (folder.size() > 1 && (folder.endsWith(QLatin1Char('/')) || folder.endsWith(QLatin1Char('\\'))))
    folder.chop(1);
  // A folder of many files takes a while to measure: off this thread, and
  // OK waits for it.
  FMeasure = std::make_shared<appcore::MeasureControl>();
  const quint64 generation = ++FGeneration;
  btnOK->setEnabled(false);
  btnAdd->setEnabled(false);
  labMeasuring->setText(Text(texts::kMeasuring).arg(QDir::toNativeSeparators(folder)));
  FWorker->Run([this, generation, folder, control = FMeasure]() -> appcore::Worker::Delivery {
    const std::optional<std::int64_t> size = appcore::MeasureSource(folder.toStdString(), *control);
    return [this, generation, folder, size] { MeasureDone(generation, folder, size.value_or(0), size.has_value()); };
  });
}

void TAddScheduleForm::MeasureDone(quint64 generation, const QString& folder, qint64 size, bool measured) {
  if (generation != FGeneration) return;
  FMeasure.reset();
  btnOK->setEnabled(true);
  btnAdd->setEnabled(true);
  labMeasuring->clear();
  if (measured) AddRow(QDir::toNativeSeparators(folder), QString::fromStdString(SizeText(size)));
  emit MeasureFinished();
}

void TAddScheduleForm::StopMeasuring() {
  // The cancelled walk ends at its next entry; its generation drops the result.
  if (FMeasure) FMeasure->Cancel = true;
  if (FMeasure) {
    ++FGeneration;
    FMeasure.reset();
    btnOK->setEnabled(true);
    btnAdd->setEnabled(true);
    labMeasuring->clear();
  }
}

void TAddScheduleForm::btnRemoveClick() { delete ltvFile->currentItem(); }

void TAddScheduleForm::btnClearClick() {
  if (ui::CurrentDialogs().Ask(this, Text(texts::kClearListQuestion), ui::Yes | ui::No, ui::No) == ui::Yes)
    ltvFile->clear();
}

void TAddScheduleForm::btnOKClick() {
  if (Measuring()) return;
  const std::string name = edtTaskName->text().toStdString();
  if (name.empty()) {
    ui::CurrentDialogs().Inform(this, Text(appcore::texts::kEnterTaskName));
    edtTaskName->setFocus();
    return;
  }
  // The name becomes a file name and a section name.
  if (const base::Status valid = appcore::ValidateTaskName(name); !valid.Ok()) {
    ui::CurrentDialogs().Inform(this, QString::fromStdString(valid.Err().Message));
    edtTaskName->setFocus();
    return;
  }
  appcore::ScheduleStore& store = FOwner.Store();
  if (FMode == Mode::Add && (FOwner.RowOf(name) >= 0 || platform::FileExists(store.TaskFilePath(name)))) {
    if (ui::CurrentDialogs().Ask(this, Text(texts::kReplaceTask).arg(edtTaskName->text()), ui::Yes | ui::No, ui::No) !=
        ui::Yes) {
      edtTaskName->setFocus();
      return;
    }
  }
  appcore::TaskSettings settings;
  settings.Unit = rdbWeeks->isChecked()    ? appcore::IntervalUnit::Weeks
                  : rdbMonths->isChecked() ? appcore::IntervalUnit::Months
                                           : appcore::IntervalUnit::Days;
  settings.Days = edtDays->text().toStdString();
  settings.Weeks = edtWeeks->text().toStdString();
  settings.Months = edtMonths->text().toStdString();
  settings.EqualOrLater = rdbEL->isChecked();
  settings.Description = edtDescription->text().toStdString();
  std::vector<appcore::TaskFileEntry> files;
  files.reserve(static_cast<std::size_t>(ltvFile->topLevelItemCount()));
  for (int i = 0; i < ltvFile->topLevelItemCount(); ++i) {
    const QTreeWidgetItem* item = ltvFile->topLevelItem(i);
    files.push_back({item->text(0).toStdString(), item->text(1).toStdString()});
  }
  // An edit keeps the task's last backup: its next run stays where it was.
  std::optional<std::string> lastBackup;
  if (const int row = FOwner.RowOf(name); FMode == Mode::Edit && row >= 0)
    lastBackup = FOwner.Tasks()[static_cast<std::size_t>(row)].LastBackup;
  const base::Result<appcore::ScheduleTask> saved = store.SaveTask(name, settings, files, FOwner.Today(), lastBackup);
  if (!saved.Ok()) {
    ui::CurrentDialogs().Inform(this, QString::fromStdString(saved.Err().Message));
    return;
  }
  accept();
  FOwner.TaskSaved(saved.Value(), FMode == Mode::Edit);
}

}  // namespace app
