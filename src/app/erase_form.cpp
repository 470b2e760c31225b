#include "app/erase_form.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <memory>

#include "app/texts.h"
#include "appcore/drive_jobs.h"
#include "appcore/speed_list.h"
#include "engine/kavo_burner.h"
#include "ui/dialogs.h"

namespace app {

namespace {

QString Text(const char* s) { return QString::fromUtf8(s); }

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(Text(name));
  return label;
}

}  // namespace

TEraseForm::TEraseForm(engine::TKavoBurner& burner, appcore::DriveJobs& jobs, QWidget* parent)
    : QDialog(parent), FBurner(burner), FJobs(jobs) {
  setObjectName(QStringLiteral("TEraseForm"));
  setWindowTitle(Text(texts::kEraseCaption));
  setAccessibleName(Text(texts::kEraseCaption));
  setWindowIcon(QIcon(QStringLiteral(":/artwork/zantic-64.png")));

  cmbDrive = new QComboBox(this);
  cmbDrive->setObjectName(QStringLiteral("cmbDrive"));
  cmbDrive->setMinimumContentsLength(28);
  cmbMethod = new QComboBox(this);
  cmbMethod->setObjectName(QStringLiteral("cmbMethod"));
  cmbMethod->addItems({Text(texts::kQuickEraseMethod), Text(texts::kFullEraseMethod)});
  cmbSpeed = new QComboBox(this);
  cmbSpeed->setObjectName(QStringLiteral("cmbSpeed"));
  cmbSpeed->setMinimumContentsLength(16);
  auto* labDrive = MakeLabel(this, "Label1", Text(texts::kSelectTheDrive));
  auto* labMethod = MakeLabel(this, "Label2", Text(texts::kSelectEraseMethod));
  auto* labSpeed = MakeLabel(this, "Label8", Text(texts::kSelectEraseSpeed));
  labDrive->setBuddy(cmbDrive);
  labMethod->setBuddy(cmbMethod);
  labSpeed->setBuddy(cmbSpeed);

  Label3 = MakeLabel(this, "Label3", Text(texts::kQuickNote1));
  Label4 = MakeLabel(this, "Label4", Text(texts::kQuickNote2));
  Label5 = MakeLabel(this, "Label5", Text(texts::kQuickNote3));
  Label6 = MakeLabel(this, "Label6", Text(texts::kFullNote1));
  Label7 = MakeLabel(this, "Label7", Text(texts::kFullNote2));
  // The notes share one place: only one method's note shows at a time.
  auto* notes = new QWidget(this);
  auto* notesBox = new QVBoxLayout(notes);
  notesBox->setContentsMargins(12, 0, 0, 0);
  notesBox->setSpacing(0);
  for (QLabel* note : {Label3, Label4, Label5, Label6, Label7}) {
    note->setParent(notes);
    note->setForegroundRole(QPalette::PlaceholderText);
    notesBox->addWidget(note);
  }
  // Room for the longer note, so that switching methods never moves the rest.
  notesBox->addStretch(1);
  notes->setMinimumHeight(notes->sizeHint().height() * 3 / 5);

  auto* labProgressCaption = MakeLabel(this, "Label9", Text(texts::kProgressLabel));
  pbprogress = new QProgressBar(this);
  pbprogress->setObjectName(QStringLiteral("pbprogress"));
  pbprogress->setAccessibleName(Text(texts::kProgressLabel));
  pbprogress->setRange(0, 100);
  pbprogress->setTextVisible(false);
  labProgress = MakeLabel(this, "labProgress", QString());
  labProgress->setMinimumWidth(labProgress->fontMetrics().horizontalAdvance(QStringLiteral("100%")) + 6);
  auto* labElapseCaption = MakeLabel(this, "Label10", Text(texts::kElapseTime));
  auto* labRemainCaption = MakeLabel(this, "Label11", Text(texts::kRemainTime));
  LabElapse = MakeLabel(this, "LabElapse", QString());
  LabRemain = MakeLabel(this, "LabRemain", QString());
  for (QLabel* clock : {LabElapse, LabRemain})
    clock->setMinimumWidth(clock->fontMetrics().horizontalAdvance(QStringLiteral("000:00:00")));

  btnErase = new QPushButton(Text(texts::kEraseButton), this);
  btnErase->setObjectName(QStringLiteral("btnErase"));
  btnErase->setDefault(true);
  btnAbort = new QPushButton(Text(texts::kAbortButton), this);
  btnAbort->setObjectName(QStringLiteral("btnAbort"));
  btnCancel = new QPushButton(Text(texts::kCancelButton), this);
  btnCancel->setObjectName(QStringLiteral("btnCancel"));
  btnAbort->hide();

  auto* grid = new QGridLayout;
  grid->addWidget(labDrive, 0, 0);
  grid->addWidget(cmbDrive, 1, 0, 1, 2);
  grid->addWidget(labMethod, 2, 0);
  grid->addWidget(cmbMethod, 3, 0, 1, 2);
  grid->addWidget(notes, 4, 0, 1, 2);
  grid->addWidget(labSpeed, 5, 0);
  grid->addWidget(cmbSpeed, 6, 0);
  grid->setColumnStretch(1, 1);

  auto* progressRow = new QHBoxLayout;
  progressRow->addWidget(labProgressCaption);
  progressRow->addWidget(pbprogress, 1);
  progressRow->addWidget(labProgress);
  auto* clocks = new QHBoxLayout;
  clocks->addWidget(labElapseCaption);
  clocks->addWidget(LabElapse);
  clocks->addSpacing(24);
  clocks->addWidget(labRemainCaption);
  clocks->addWidget(LabRemain);
  clocks->addStretch(1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(btnErase);
  buttons->addWidget(btnAbort);
  buttons->addWidget(btnCancel);

  auto* root = new QVBoxLayout(this);
  root->addLayout(grid);
  root->addSpacing(6);
  root->addLayout(progressRow);
  root->addLayout(clocks);
  root->addStretch(1);
  root->addLayout(buttons);

  connect(cmbMethod, &QComboBox::currentIndexChanged, this, &TEraseForm::cmbMethodChange);
  connect(btnErase, &QPushButton::clicked, this, &TEraseForm::btnEraseClick);
  connect(btnAbort, &QPushButton::clicked, this, &TEraseForm::btnAbortClick);
  connect(btnCancel, &QPushButton::clicked, this, &TEraseForm::btnCancelClick);
  cmbMethodChange(0);
  resize(sizeHint().expandedTo(QSize(420, 330)));
}

TEraseForm::~TEraseForm() = default;

void TEraseForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!event->spontaneous()) FormShow();
}

void TEraseForm::FormShow() {
  // Speeds of the drive the burner has selected now; the drive talks on the
  // burner's worker and the list arrives when it has answered.
  cmbSpeed->clear();
  cmbSpeed->addItem(Text(appcore::kSpeedMax));
  FSpeedsFilled = false;
  QPointer<TEraseForm> self(this);
  auto speeds = std::make_shared<std::vector<std::string>>();
  if (FBurner.DeviceList().empty())
    SpeedsFilled({});
  else
    FJobs.Run(
        engine::OperationPhase::Preparing,
        [speeds](engine::TKavoBurner& burner) { *speeds = appcore::FillSpeedList(burner); },
        [self, speeds](engine::TKavoBurner&) {
          if (self) self->SpeedsFilled(std::move(*speeds));
        });

  SetState(State::Ready);
  cmbDrive->clear();
  for (const std::string& drive : FBurner.DeviceList()) cmbDrive->addItem(QString::fromStdString(drive));
  // The drive whose speeds are listed, where the burner has one selected.
  const std::string& chosen = FJobs.ChosenDevice();
  const int current = cmbDrive->findText(QString::fromStdString(chosen), Qt::MatchStartsWith);
  if (cmbDrive->count() > 0) cmbDrive->setCurrentIndex(current >= 0 && !chosen.empty() ? current : 0);
  cmbMethod->setCurrentIndex(0);
  cmbMethodChange(0);
  pbprogress->setValue(0);
  labProgress->clear();
  LabElapse->clear();
  LabRemain->clear();
  if (!FOpen) {
    FOpen = true;
    if (OnOpenChanged) OnOpenChanged(true);
  }
}

void TEraseForm::SpeedsFilled(std::vector<std::string> speeds) {
  if (!speeds.empty()) {
    cmbSpeed->clear();
    for (const std::string& speed : speeds) cmbSpeed->addItem(QString::fromStdString(speed));
    cmbSpeed->setCurrentIndex(0);
  }
  FSpeedsFilled = true;
  if (FState == State::Ready) btnErase->setEnabled(cmbDrive->count() > 0);
  emit SpeedListFilled();
}

void TEraseForm::SetState(State state) {
  FState = state;
  const bool ready = state == State::Ready;
  for (QWidget* w : {static_cast<QWidget*>(cmbDrive), static_cast<QWidget*>(cmbMethod),
                     static_cast<QWidget*>(cmbSpeed)})
    w->setEnabled(ready);
  btnErase->setVisible(ready || state == State::Checking);
  // Erase waits for the speed list: both talk to the drive.
  btnErase->setEnabled(ready && FSpeedsFilled && cmbDrive->count() > 0);
  btnAbort->setVisible(state == State::Running);
  btnCancel->setEnabled(state != State::Running && state != State::Checking);
  if (ready) btnCancel->setText(Text(texts::kCancelButton));
}

void TEraseForm::cmbMethodChange(int index) {
  const bool quick = index == 0;
  for (QLabel* note : {Label3, Label4, Label5}) note->setVisible(quick);
  for (QLabel* note : {Label6, Label7}) note->setVisible(!quick);
}

QString TEraseForm::SelectedDrive() const { return cmbDrive->currentText(); }
QString TEraseForm::SelectedSpeed() const { return cmbSpeed->currentText(); }
bool TEraseForm::QuickMethod() const { return cmbMethod->currentIndex() == 0; }

void TEraseForm::btnEraseClick() {
  if (FState != State::Ready || cmbDrive->count() == 0) return;
  const std::string drive = cmbDrive->currentText().toStdString();
  SetState(State::Checking);
  struct Answer {
    bool Ready = false;
    QString Drive;
  };
  auto answer = std::make_shared<Answer>();
  QPointer<TEraseForm> self(this);
  // Up to five seconds for the drive's answer: on the burner's worker.
  FJobs.Run(
      engine::OperationPhase::Preparing,
      [answer](engine::TKavoBurner& burner) {
        answer->Ready = burner.TestUnitReady(5000);
        const char letter = burner.DriveLetter();
        answer->Drive = letter != 0 ? QString(QChar(letter)) : QString::fromStdString(burner.DriveLocation());
      },
      [self, answer](engine::TKavoBurner&) {
        if (self) self->ReadinessChecked(true, answer->Ready, answer->Drive);
      },
      drive);
}

void TEraseForm::ReadinessChecked(bool started, bool ready, const QString& drive) {
  if (FState != State::Checking) return;
  if (!started) {
    SetState(State::Ready);
    ui::CurrentDialogs().Message(this, Text(texts::kInformation), Text(texts::kDriveBusy), ui::MessageIcon::Warning,
                                 ui::Ok, ui::Ok);
    return;
  }
  if (!ready) {
    SetState(State::Ready);
    ui::CurrentDialogs().Message(this, Text(texts::kInformaiton), Text(texts::kEraseDriveNotReady).arg(drive),
                                 ui::MessageIcon::Warning, ui::Ok, ui::Ok);
    return;
  }
  SetState(State::Running);
  if (OnStart) OnStart();
}

void TEraseForm::btnAbortClick() {
  FBurner.CancelOperation();
  btnCancel->setEnabled(true);
}

void TEraseForm::btnCancelClick() { close(); }

void TEraseForm::ShowProgress(int percent) {
  pbprogress->setValue(percent);
  labProgress->setText(QString::number(percent) + QLatin1Char('%'));
}

void TEraseForm::ShowClocks(const QString& elapsed, const QString& remain) {
  LabElapse->setText(elapsed);
  LabRemain->setText(remain);
}

void TEraseForm::ShowEnd(bool withError) {
  FState = State::Done;
  btnAbort->hide();
  if (!withError) {
    pbprogress->setValue(100);
    labProgress->setText(QStringLiteral("100%"));
  }
}

void TEraseForm::AllowClose(bool success) {
  if (success) btnCancel->setText(Text(texts::kFinishButton));
  btnCancel->setEnabled(true);
}

void TEraseForm::closeEvent(QCloseEvent* event) {
  // A running blanking keeps the dialog: Abort first.
  if (!btnCancel->isEnabled()) {
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);  // through reject()
}

void TEraseForm::reject() {
  // Esc and the window's close button obey the same rule as Cancel.
  if (!btnCancel->isEnabled()) return;
  pbprogress->setValue(0);
  labProgress->clear();
  QDialog::reject();
  if (FOpen) {
    FOpen = false;
    if (OnOpenChanged) OnOpenChanged(false);
  }
}

}  // namespace app
