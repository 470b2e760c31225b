#pragma once
// The main window's erase routines: the erase dialog turned into an erase
// job's request, the person's confirmation, the bar from the job's events,
// the clocks once a second, and the end shown.
#include <QObject>
#include <QString>
#include <cstdint>
#include <memory>
#include <string>

#include "appcore/drive_jobs.h"
#include "appcore/erase_job.h"
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
  // Between the start of a blanking and its end.
  bool AwaitingEnd() const;
  int Percent() const;

 private:
  // The disc may be erased: asks the person, then blanks.
  void Confirm(bool quick);
  // The erase branch of the main window's once-a-second timer: the clocks.
  void Tick();
  void Ended(const appcore::EraseEnd& end);

  TForm1& FForm;
  std::unique_ptr<appcore::EraseJob> FJob;
  std::unique_ptr<TEraseForm> FDialog;
  // The erase's notices, as boxes over the dialog; they wait on the
  // drive's thread, and the cancel lets that wait go at the end.
  std::shared_ptr<ui::DialogInteraction> FQuestions;
  base::CancelTokenPtr FCancel = std::make_shared<base::CancelToken>();
  ui::SoundPlayer FSound;
  appcore::DriveJobs::HoldId FHold = 0;
};

}  // namespace app
