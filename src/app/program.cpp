#include "app/program.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageReader>
#include <QSslSocket>
#include <QStyleFactory>
#include <cstdio>

#include "app/burning_form.h"
#include "app/erase_form.h"
#include "app/help_form.h"
#include "app/main_form.h"
#include "app/option_form.h"
#include "app/schedule_form.h"
#include "app/schedule_dialog_run.h"
#include "app/schedule_texts.h"
#include "app/start_form.h"
#include "app/texts.h"
#include "app/tip_form.h"
#include "app/version_check.h"
#include "appcore/schedule.h"
#include "engine/kavo_burner.h"
#include "ui/dialogs.h"
#include "ui/line_edit_text.h"
#include "ui/sound_player.h"

namespace app {

Program::Program(const QString& programFolder, const std::vector<std::string>& arguments) {
  ui::KeepLineEditTextInside();
  // The start window first: it reads the version the main window shows.
  FStart = std::make_unique<TStartForm>(programFolder, arguments);
  FCreationOrder << FStart->objectName();
  FMain = std::make_unique<TForm1>(FStart->AppFolder(), FStart->VersionText());
  FCreationOrder << FMain->objectName();
  // The schedule window lives from here to the end, shown or not: its timer
  // runs whenever the program runs.
  FScheduleBurn = std::make_unique<TScheduleDialogRun>(*FMain);
  FSchedule = std::make_unique<TScheduleForm>(FStart->AppFolder(), *FScheduleBurn);
  FCreationOrder << FSchedule->objectName();
  FSounds = std::make_unique<ui::SoundPlayer>();
  TForm1* main = FMain.get();
  FSchedule->CurrentOptions = [main]() -> const appcore::Options& { return main->Options(); };
  FSchedule->Executable = QCoreApplication::applicationFilePath().toStdString();
  FSchedule->OnSound = [this](bool start) {
    ui::PlayEventSound(FMain->Options(), start ? appcore::SoundEvent::ScheduleStart : appcore::SoundEvent::ScheduleDone,
                       *FSounds);
  };
  FSchedule->OnHint = [this](const QString& hint) { FStart->SetTrayHint(hint); };
  FStart->SetTrayHint(FSchedule->Hint());
  FStart->SetScheduleListAvailable(true);
  FStart->OnScheduleList = [this] {
    FSchedule->showNormal();
    FSchedule->raise();
    FSchedule->activateWindow();
  };
  // The options window loads Option.ini and applies it: burner, skin, and
  // the start window's background, whose picture failure it reports.
  const std::vector<std::string>& drives = FMain->Burner().DeviceList();
  FOptions = std::make_unique<TOptionForm>(FMain->Options(), FMain->Burner(), FStart->AppFolder(),
                                           drives.empty() ? std::string() : drives.front());
  FCreationOrder << FOptions->objectName();
  TStartForm* start = FStart.get();
  QObject::connect(FMain.get(), &TForm1::DriveScanFinished, FOptions.get(),
                   [this] { FOptions->DrivesScanned(FMain->NextJobDevice()); });
  FOptions->SetBackgroundApplier([start](const appcore::Options& options) { return start->ApplyBackground(options); });
  // The home page follows the "WebSite" setting, as loaded and after each OK.
  const auto webSite = [this] { FStart->SetWebSite(QString::fromStdString(FMain->Options().WebSite)); };
  webSite();
  QObject::connect(FOptions.get(), &TOptionForm::OptionsApplied, FStart.get(), webSite);
  // The burn dialog's option boxes and the options window's show the same
  // values both ways, so that neither writes back a stale copy.
  TBurningForm& burning = FMain->BurningForm();
  QObject::connect(&burning, &TBurningForm::OptionBoxesChanged, FOptions.get(), &TOptionForm::MirroredOptionsChanged);
  QObject::connect(FOptions.get(), &TOptionForm::OptionsApplied, &burning, &TBurningForm::OptionsApplied);

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
  FSchedule->OnOptions = [this] {
    if (!FShowOptions) return;
    FShowOptions();
    FOptions->ShowPage(TOptionForm::Page::Schedule);
  };
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
  ConnectEraseTipsAndVersionCheck();
}

Program::~Program() = default;

void Program::Start() {
  // The drives are looked for off the window's thread while the start
  // window shows.
  FMain->StartDriveScan();
  if (FStart->ScheduleStart())
    FStart->ActivateTray();
  else
    FStart->show();
  // Also at a "-Schedule" start, while the start window stays hidden.
  if (FMain->Options().DisplayTips) ShowTips();
}

void Program::ConnectEraseTipsAndVersionCheck() {
  if (auto* clone = FStart->findChild<QAbstractButton*>(QStringLiteral("btnClone"))) {
    clone->setEnabled(true);
    QObject::connect(clone, &QAbstractButton::clicked, FStart.get(), [this] { FMain->CopyFromStartWindow(); });
  }
  if (auto* eraser = FStart->findChild<QAbstractButton*>(QStringLiteral("btnEraser"))) {
    eraser->setEnabled(true);
    QObject::connect(eraser, &QAbstractButton::clicked, FStart.get(), [this] {
      FMain->hide();
      FMain->btnEraseClick();
    });
  }
  // Both windows wait while the erase dialog is open.
  FMain->OnEraseDialog = [this](bool open) { FStart->setEnabled(!open); };

  FVersionCheck = std::make_unique<VersionCheck>();
  const auto check = [this](appcore::VersionCheckEntry entry) {
    QWidget* owner = entry == appcore::VersionCheckEntry::ToolsMenuItem ? static_cast<QWidget*>(FMain.get())
                                                                        : static_cast<QWidget*>(FStart.get());
    FVersionCheck->Start(entry, owner, QString::fromStdString(FMain->Options().WebSite), FStart->VersionNumber());
  };
  FMain->OnCheckVersion = [check](bool menuTitle) {
    check(menuTitle ? appcore::VersionCheckEntry::ToolsMenuTitle : appcore::VersionCheckEntry::ToolsMenuItem);
  };
  FStart->OnVersionCheck = [check] { check(appcore::VersionCheckEntry::Automatic); };
  FStart->AutoVersionCheck = [this] { return FMain->Options().DetectNewVersion; };
}

void Program::ShowTips() {
  if (!FTips) {
    FTips = std::make_unique<TTipForm>(TipsFilePath(FStart->AppFolder()));
    FTips->OnDisplayTipsChanged = [this](bool display) { FOptions->SetDisplayTips(display); };
    FTips->OnClosed = [this] { FOptions->SaveOptions(); };
  }
  FTips->show();
  FTips->raise();
}

bool Program::HasScheduledTasks() const { return !FSchedule->Tasks().empty(); }

void Program::btnCloseClick() {
  if (HasScheduledTasks()) {
    FStart->ActivateTray();
    return;
  }
  Exit();
}

void Program::Exit() {
  // Ending now would stop the blanking half way and leave the disc unusable.
  if (FMain->EraseRunning()) {
    ui::CurrentDialogs().Inform(&FMain->EraseForm(), QString::fromUtf8(texts::kEraseStillRunning),
                                QString::fromUtf8(texts::kInformation));
    return;
  }
  // Nor a person's burn, image build or copy, from the press of Start on.
  if (FMain->OperationHeld() || (FMain->OperationRunning() && !FSchedule->Running())) {
    ui::CurrentDialogs().Inform(&FMain->BurningForm(), QString::fromUtf8(texts::kBurnStillRunning),
                                QString::fromUtf8(texts::kInformation));
    return;
  }
  // A scheduled burn is never cut off without the person's word; the
  // program ends once the stopped burn has let go of the drive.
  if (FSchedule->Running()) {
    if (FExitAfterRun) return;
    if (ui::CurrentDialogs().Ask(FSchedule.get(), QString::fromUtf8(schedule_texts::kExitWhileBurning),
                                 ui::Yes | ui::No, ui::No) != ui::Yes)
      return;
    FExitAfterRun = true;
    FSchedule->AbortRun([this] {
      FExitAfterRun = false;
      Exit();
    });
    return;
  }
  // The task's save question can keep the program running.
  if (!FMain->FormCloseQuery([this] { Exit(); })) {
    FMain->showNormal();
    FMain->raise();
    return;
  }
  FEnded = true;
  FSchedule->SaveList();
  FSchedule->hide();
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
  return CheckInstallation(program) ? 0 : 1;
}

// What an installation must have delivered beside the program: its data
// files and the Qt plugins the windows draw with (a copied program that
// lacks them starts, but without pictures, tips or manual).
bool CheckInstallation(Program& program) {
  bool complete = true;
  const auto check = [&complete](const char* what, const QString& found, bool ok) {
    std::printf("%s: %s\n", what, ok ? qPrintable(found) : "missing");
    complete = complete && ok;
  };
  const QString tips = TipsFilePath(program.StartForm().AppFolder());
  check("tips", tips, QFileInfo(tips).isFile());
  const QString help = HelpFile();
  check("help", help, !help.isEmpty());
  check("skins", QString::number(program.OptionForm().Skins().Names().size()),
        !program.OptionForm().Skins().Names().isEmpty());
  const QList<QByteArray> formats = QImageReader::supportedImageFormats();
  check("image formats", QString::fromLatin1(formats.join(' ')),
        formats.contains("jpg") && formats.contains("ico") && formats.contains("png"));
  check("platform", QGuiApplication::platformName(), !QGuiApplication::platformName().isEmpty());
  const QStringList styles = QStyleFactory::keys();
  check("styles", styles.join(QLatin1Char(' ')), !styles.isEmpty());
  // Without a TLS back end the version check reports its own failure; the
  // program still works, so this is told, not failed.
  const QStringList tls = QSslSocket::availableBackends();
  std::printf("tls: %s\n", tls.isEmpty() ? "none" : qPrintable(tls.join(' ')));
  std::fflush(stdout);
  return complete;
}

}  // namespace app
