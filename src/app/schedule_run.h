#pragma once
// How the schedule window has a task burnt. The window decides what runs
// and when; a host does the burn and tells the window once how it ended,
// on the window's thread. TScheduleBurn is the program's host: it burns on
// the main window's burner, with the drive wait and the transfer on a worker.
#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "appcore/options.h"
#include "appcore/task_tree.h"
#include "base/cancel_token.h"

namespace appcore {
class BurnRun;
}

namespace app {

class TForm1;

struct ScheduledBurnEnd {
  bool Burnt = false;  // written without error: the task is done
  QString Problem;     // why it was not, for the window's status line; empty when cancelled
};

class TScheduleRunHost {
 public:
  virtual ~TScheduleRunHost() = default;
  // Starts the burn of `tree`. `started` runs once the drive is ready and
  // before the first write; `ended` runs exactly once afterwards. False
  // (and neither callback) when another operation holds the burner.
  virtual bool StartRun(appcore::TaskTree tree, bool showWindow, std::function<void()> started,
                        std::function<void(const ScheduledBurnEnd&)> ended) = 0;
  virtual bool Running() const = 0;
  // Stops the run; its end still comes through `ended`.
  virtual void Abort() = 0;
  // Percent written, for the schedule window's progress bar; -1 when unknown.
  virtual int Percent() const = 0;
};

class TScheduleBurn final : public QObject, public TScheduleRunHost {
 public:
  explicit TScheduleBurn(TForm1& main);
  ~TScheduleBurn() override;

  bool StartRun(appcore::TaskTree tree, bool showWindow, std::function<void()> started,
                std::function<void(const ScheduledBurnEnd&)> ended) override;
  bool Running() const override { return FRunning; }
  void Abort() override;
  int Percent() const override;

 private:
  void Prepared();
  void End(const ScheduledBurnEnd& end);

  TForm1& FMain;
  bool FRunning = false;
  appcore::Options FOptions;  // the run's own copy: the options window may change them meanwhile
  appcore::TaskTree FTree;
  std::thread FWorker;
  base::CancelTokenPtr FCancel;
  struct Preparation;
  std::shared_ptr<Preparation> FPrepared;
  std::unique_ptr<appcore::BurnRun> FBurn;
  std::function<void()> FStarted;
  std::function<void(const ScheduledBurnEnd&)> FEnded;
};

}  // namespace app
