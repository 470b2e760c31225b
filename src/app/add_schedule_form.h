#pragma once
// The task dialog: a backup task's name, description, periodicity and the
// files and folders it burns. OK writes the task file and the task's section
// through the schedule store.
#include <QDialog>
#include <memory>
#include <string>

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTreeWidget;
class QMenu;

namespace appcore {
struct MeasureControl;
struct ScheduleTask;
class Worker;
}  // namespace appcore

namespace ui {
class QtDispatcher;
}

namespace app {

class TScheduleForm;

class TAddScheduleForm : public QDialog {
  Q_OBJECT
 public:
  enum class Mode { Add, Edit };

  explicit TAddScheduleForm(TScheduleForm& owner);
  ~TAddScheduleForm() override;

  // Shows the dialog for a new task, or for `row` to edit; the schedule
  // window is disabled until it closes.
  void Open(Mode mode, const appcore::ScheduleTask* row);
  Mode CurrentMode() const { return FMode; }

  void btnOKClick();
  void btnAddFileClick();
  void btnAddFolderClick();
  void btnRemoveClick();
  void btnClearClick();
  // A folder is being measured for the list.
  bool Measuring() const { return FMeasure != nullptr; }

 signals:
  void MeasureFinished();

 protected:
  void done(int result) override;

 private:
  void AddRow(const QString& path, const QString& size);
  void StopMeasuring();
  void MeasureDone(quint64 generation, const QString& folder, qint64 size, bool measured);

  TScheduleForm& FOwner;
  Mode FMode = Mode::Add;
  std::unique_ptr<ui::QtDispatcher> FDispatcher;
  std::unique_ptr<appcore::Worker> FWorker;  // after its dispatcher: goes first
  std::shared_ptr<appcore::MeasureControl> FMeasure;
  quint64 FGeneration = 0;

  QLineEdit* edtTaskName = nullptr;
  QLineEdit* edtDescription = nullptr;
  QRadioButton* rdbDays = nullptr;
  QRadioButton* rdbWeeks = nullptr;
  QRadioButton* rdbMonths = nullptr;
  QRadioButton* rdbOne = nullptr;
  QSpinBox* edtDays = nullptr;
  QSpinBox* edtWeeks = nullptr;
  QSpinBox* edtMonths = nullptr;
  QRadioButton* rdbEL = nullptr;
  QRadioButton* rdbE = nullptr;
  QLineEdit* EdtDate2 = nullptr;
  QLineEdit* EdtTime2 = nullptr;
  QLabel* labDate = nullptr;
  QLabel* labTime = nullptr;
  QTreeWidget* ltvFile = nullptr;
  QPushButton* btnAdd = nullptr;
  QMenu* FAddMenu = nullptr;
  QPushButton* btnRemove = nullptr;
  QPushButton* btnClear = nullptr;
  QPushButton* btnOK = nullptr;
  QPushButton* btnCancel = nullptr;
  QLabel* labMeasuring = nullptr;
};

}  // namespace app
