#pragma once
// The main window's erase routines: the erase dialog, the erasability check
// (told through the Interaction) and confirmation, the blanking's start off the window's thread, the
// progress as the burner tells it, the clocks once a second, and the end of the blanking.
#include <QObject>
#include <QString>
#include <cstdint>
#include <memory>
#include <string>

#include "appcore/drive_jobs.h"
#include "base/cancel_token.h"

#include "ui/sound_player.h"

namespace ui {
class DialogInteraction;
}

namespace app {

class TForm1;
class TEraseForm;

class EraseRoutines : public QObject {
  Q_OBJECT
 public:
  explicit EraseRoutines(TForm1& form);
  ~EraseRoutines() override;

  TEraseForm& Form();
  void Open();
  // QuickErase (true) and CompleteErase (false).
  void Start(bool quick);
  // Between the start of a blanking and the end the burner reports.
  bool AwaitingEnd() const { return FAwaitingEnd; }
  int Percent() const { return FPercent; }

 private:
  // `erasable` false: the disc was refused, and the person told so already.
  void Checked(bool quick, bool started, bool erasable, std::uint8_t medium);
  void Launch(bool quick, std::uint8_t medium);
  // The burner's erase percentage, on the window's thread: the bar.
  void Progressed(int percent);
  // The erase branch of the main window's once-a-second timer: the clocks.
  void Tick();
  // `reason`: why the wait for the drive was given up; empty when unknown.
  void kavobEraseDone(bool withError, const QString& reason = QString());
  void EjectAfterErase();

  TForm1& FForm;
  std::unique_ptr<TEraseForm> FDialog;
  // The erase's notices, as boxes over the dialog; they wait on the
  // drive's thread, and the cancel lets that wait go at the end.
  std::shared_ptr<ui::DialogInteraction> FQuestions;
  base::CancelTokenPtr FCancel = std::make_shared<base::CancelToken>();
  ui::SoundPlayer FSound;
  appcore::DriveJobs::HoldId FHold = 0;
  std::string FDrive;  // the drive being erased
  std::uint64_t FGeneration = 0;
  bool FAwaitingEnd = false;
  int FPercent = 0;  // the last the burner told
};

}  // namespace app
