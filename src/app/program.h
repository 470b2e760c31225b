#pragma once
// The program's windows, created in start-up order, and the ways the program
// ends or waits in the tray.
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace ui {
class SoundPlayer;
}

namespace app {

class TStartForm;
class TForm1;
class TOptionForm;
class TTipForm;
class VersionCheck;
class TScheduleForm;
class TScheduleDialogRun;

class Program {
 public:
  // `arguments` excludes the program name.
  Program(const QString& programFolder, const std::vector<std::string>& arguments);
  ~Program();
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  TStartForm& StartForm() { return *FStart; }
  TForm1& MainForm() { return *FMain; }
  TOptionForm& OptionForm() { return *FOptions; }
  VersionCheck& Versions() { return *FVersionCheck; }
  // The tip window, once it was shown.
  TTipForm* TipForm() { return FTips.get(); }
  void ShowTips();
  TScheduleForm& ScheduleForm() { return *FSchedule; }
  // The object names of the windows in the order they were created.
  const QStringList& CreationOrder() const { return FCreationOrder; }

  // The start window, or the tray for a "-Schedule" start.
  void Start();
  // The start window's close: into the tray while scheduled tasks wait,
  // otherwise the end of the program.
  void btnCloseClick();
  // Ends the program unless the main window keeps its unsaved task, or a
  // scheduled burn runs and the person keeps it.
  void Exit();
  bool HasScheduledTasks() const;
  bool Ended() const { return FEnded; }

  // Windows made after these ones (the options window) register here; the
  // buttons that open them are off until then.
  void SetShowOptions(std::function<void()> show);

  // Called when the program ends; QCoreApplication::quit by default.
  std::function<void()> OnEnd;

 private:
  // The erase buttons, the tips and the three ways into the version check.
  void ConnectEraseTipsAndVersionCheck();

  std::unique_ptr<TStartForm> FStart;
  std::unique_ptr<TForm1> FMain;
  // Burns the schedule window's runs through the burn dialog.
  std::unique_ptr<TScheduleDialogRun> FScheduleBurn;
  std::unique_ptr<TScheduleForm> FSchedule;
  // Holds references into the main window's options and burner, so it goes first.
  std::unique_ptr<TOptionForm> FOptions;
  std::unique_ptr<VersionCheck> FVersionCheck;
  std::unique_ptr<TTipForm> FTips;
  std::unique_ptr<ui::SoundPlayer> FSounds;
  bool FExitAfterRun = false;
  QStringList FCreationOrder;
  std::function<void()> FShowOptions;
  bool FEnded = false;
};

// Shows the start window, waits until it has painted (at most 10 s), prints
// the time since `startedMs` and returns the exit code.
int RunSelfTest(Program& program, qint64 startedMs);
// Prints where the shipped files and the Qt plugins were found; false when
// one is missing.
bool CheckInstallation(Program& program);

}  // namespace app
