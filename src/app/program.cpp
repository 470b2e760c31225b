#include "app/program.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <cstdio>

#include "app/main_form.h"
#include "app/option_form.h"
#include "app/start_form.h"
#include "appcore/schedule.h"
#include "engine/kavo_burner.h"

namespace app {

Program::Program(const QString& programFolder, const std::vector<std::string>& arguments) {
  // The start window first: it reads the version the main window shows.
  FStart = std::make_unique<TStartForm>(programFolder, arguments);
  FCreationOrder << FStart->objectName();
  FMain = std::make_unique<TForm1>(FStart->AppFolder(), FStart->VersionText());
  FCreationOrder << FMain->objectName();
  // The options window loads Option.ini and applies it: burner, skin, and
  // the start window's background, whose picture failure it reports.
  const std::vector<std::string>& drives = FMain->Burner().DeviceList();
  FOptions = std::make_unique<TOptionForm>(FMain->Options(), FMain->Burner(), FStart->AppFolder(),
                                           drives.empty() ? std::string() : drives.front());
  FCreationOrder << FOptions->objectName();
  TStartForm* start = FStart.get();
  FOptions->SetBackgroundApplier([start](const appcore::Options& options) { return start->ApplyBackground(options); });

  FStart->OnBurn = [this] {
    FStart->hide();
    FMain->ShowForJob(TForm1::Job::Burn);
  };
  FStart->OnISO = [this] {
    FStart->hide();
    FMain->ShowForJob(TForm1::Job::ISO);
  };
  FStart->OnClose = [this] { btnCloseClick(); };
  FStart->OnExit = [this] { Exit(); };
  FStart->OnOptions = [this] {
    if (FShowOptions) FShowOptions();
  };
  FMain->OnOptions = FStart->OnOptions;
  SetShowOptions([this] {
    FOptions->show();
    FOptions->raise();
    FOptions->activateWindow();
  });
  // "Exit program when Burning Done.": the same end as the start window's Exit.
  FMain->OnExitProgram = [this] { Exit(); };
  FMain->OnClosed = [this] {
    if (FEnded) return;
    FStart->showNormal();
    FStart->raise();
  };
}

Program::~Program() = default;

void Program::Start() {
  if (FStart->ScheduleStart())
    FStart->ActivateTray();
  else
    FStart->show();
}

bool Program::HasScheduledTasks() const {
  const appcore::ScheduleStore store(FStart->AppFolder().toStdString());
  return !store.LoadList(appcore::Today()).empty();
}

void Program::btnCloseClick() {
  if (HasScheduledTasks()) {
    FStart->ActivateTray();
    return;
  }
  Exit();
}

void Program::Exit() {
  // The task's save question can keep the program running.
  if (!FMain->FormCloseQuery()) {
    FMain->showNormal();
    FMain->raise();
    return;
  }
  FEnded = true;
  FMain->hide();
  FStart->DeactivateTray();
  FStart->hide();
  if (OnEnd)
    OnEnd();
  else
    QCoreApplication::quit();
}

void Program::SetShowOptions(std::function<void()> show) {
  FShowOptions = std::move(show);
  const bool available = static_cast<bool>(FShowOptions);
  FStart->SetOptionsAvailable(available);
  FMain->SetOptionsAvailable(available);
}

int RunSelfTest(Program& program, qint64 startedMs) {
  TStartForm& start = program.StartForm();
  start.show();
  QElapsedTimer waited;
  waited.start();
  while (!start.Painted() && waited.elapsed() < 10000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  if (!start.Painted()) {
    std::fprintf(stderr, "zantic: the start window did not paint\n");
    return 1;
  }
  std::printf("start window painted after %lld ms\n",
              static_cast<long long>(QDateTime::currentMSecsSinceEpoch() - startedMs));
  // Where the shipped files were found, so an installation can be checked.
  const TOptionForm& options = program.OptionForm();
  const QString skinFile = options.Skins().FileOf(options.CurrentSkin());
  std::printf("skin %s: %s\n", qPrintable(options.CurrentSkin()),
              skinFile.isEmpty() ? "no file" : qPrintable(skinFile));
  std::fflush(stdout);
  return 0;
}

}  // namespace app
