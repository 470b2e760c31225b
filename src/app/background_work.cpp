#include "app/background_work.h"

#include <QCloseEvent>
#include <QDialog>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <memory>

#include "app/drive_texts.h"
#include "app/texts.h"
#include "appcore/drive_jobs.h"
#include "engine/texts.h"
#include "ui/dialogs.h"

namespace app {
namespace {

// Only the work's end closes it: Esc and the frame's close button cancel.
class TfrmWorking : public QDialog {
 public:
  TfrmWorking(QWidget* parent, engine::TKavoBurner& burner) : QDialog(parent), FBurner(burner) {}
  bool Finished = false;
  bool CancelAsked = false;
  void reject() override { Cancel(); }
  void Cancel() {
    CancelAsked = true;
    FBurner.CancelOperation();
  }

 protected:
  void closeEvent(QCloseEvent* event) override {
    if (!Finished) {
      Cancel();
      event->ignore();
      return;
    }
    QDialog::closeEvent(event);
  }

 private:
  engine::TKavoBurner& FBurner;
};

}  // namespace

namespace {

using Starter = std::function<bool(std::function<void(engine::TKavoBurner&)> done)>;

WorkOutcome ShowWhileRunning(QWidget* parent, engine::TKavoBurner& burner, const QString& text, const Starter& start);

}  // namespace

WorkOutcome RunWithProgress(QWidget* parent, engine::TKavoBurner& burner, appcore::DriveJobs& jobs,
                            engine::OperationPhase phase, const QString& text,
                            std::function<void(engine::TKavoBurner&)> work) {
  const appcore::DriveJobs::HoldId hold = jobs.Begin(appcore::JobKind::DiscRead);
  const WorkOutcome outcome = ShowWhileRunning(parent, burner, text, [&](std::function<void(engine::TKavoBurner&)> done) {
    if (hold == 0) return false;
    jobs.Run(phase, std::move(work), std::move(done));
    return true;
  });
  jobs.End(hold);
  return outcome;
}

namespace {

WorkOutcome ShowWhileRunning(QWidget* parent, engine::TKavoBurner& burner, const QString& text, const Starter& start) {
  TfrmWorking dialog(parent, burner);
  dialog.setObjectName(QStringLiteral("frmWorking"));
  dialog.setWindowTitle(QString::fromUtf8(texts::kWorkingCaption));
  dialog.setModal(true);
  auto* layout = new QVBoxLayout(&dialog);
  auto* labWork = new QLabel(text, &dialog);
  labWork->setObjectName(QStringLiteral("labWork"));
  labWork->setMinimumWidth(labWork->fontMetrics().averageCharWidth() * 48);
  auto* labFile = new QLabel(&dialog);
  labFile->setObjectName(QStringLiteral("labFile"));
  auto* pbWork = new QProgressBar(&dialog);
  pbWork->setObjectName(QStringLiteral("pbWork"));
  pbWork->setAccessibleName(text);
  pbWork->setRange(0, 0);
  auto* btnCancel = new QPushButton(QString::fromUtf8(texts::kCancel), &dialog);
  btnCancel->setObjectName(QStringLiteral("btnCancel"));
  layout->addWidget(labWork);
  layout->addWidget(labFile);
  layout->addWidget(pbWork);
  layout->addWidget(btnCancel, 0, Qt::AlignRight);
  QObject::connect(btnCancel, &QPushButton::clicked, &dialog, [&dialog, btnCancel] {
    dialog.Cancel();
    btnCancel->setEnabled(false);
  });

  QTimer poll;
  poll.setInterval(200);
  QObject::connect(&poll, &QTimer::timeout, &dialog, [&burner, pbWork, labFile] {
    const engine::ProgressSnapshot now = burner.ProgressNow();
    if (now.BytesTotal > 0) {
      pbWork->setRange(0, 1000);
      pbWork->setValue(static_cast<int>(std::min<std::uint64_t>(now.BytesWritten, now.BytesTotal) * 1000 /
                                        now.BytesTotal));
    }
    labFile->setText(QString::fromStdString(now.CurrentFile));
  });

  // The end arrives through the window's dispatcher, so never before exec.
  auto alive = std::make_shared<bool>(true);
  const bool started = start([&dialog, alive](engine::TKavoBurner&) {
    if (!*alive) return;
    dialog.Finished = true;
    dialog.accept();
  });
  if (!started) {
    ui::CurrentDialogs().Inform(parent, QString::fromUtf8(engine::texts::kAnotherOperation));
    return WorkOutcome::NotStarted;
  }
  poll.start();
  while (!dialog.Finished) dialog.exec();
  *alive = false;
  return dialog.CancelAsked ? WorkOutcome::Cancelled : WorkOutcome::Done;
}

}  // namespace

}  // namespace app
