// Scheduled backups in the program: a task added in the dialog is written to
// the shared store, falls due when the calendar moves on, burns hidden onto
// a virtual disc, and is logged and marked done; the command line runs the
// same store; one lock keeps two runners apart; a drive without a disc asks
// or gives up as the options say; a name in use asks before it is replaced.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QTextEdit>
#include <QTest>
#include <QTreeWidget>
#include <cstdio>

#include "app/add_schedule_form.h"
#include "app/burning_form.h"
#include "app/main_form.h"
#include "app/program.h"
#include "app/schedule_form.h"
#include "app/schedule_texts.h"
#include "app/texts.h"
#include "app/erase_form.h"
#include "app/start_form.h"
#include "appcore/drive_select.h"
#include "appcore/ini_file.h"
#include "appcore/schedule.h"
#include "appcore/schedule_runner.h"
#include "appcore/task_burn.h"
#include "appcore/task_tree.h"
#include "appcore/texts.h"
#include "cli/build_iso.h"
#include "cli/disc_commands.h"
#include "cli/schedule_commands.h"
#include "cli/vdisc.h"
#include "engine/device/transport.h"
#include "engine/interaction.h"
#include "engine/kavo_burner.h"
#include "gui/gui_helpers.h"
#include "gui/scripted_dialogs.h"
#include "platform/autostart.h"
#include "platform/process.h"
#include "ui/qt_dialogs.h"
#include "vdrive/registration.h"

namespace {

// A FILE* whose text the test reads afterwards.
struct Captured {
  std::FILE* File = std::tmpfile();
  ~Captured() { std::fclose(File); }
  std::string Text() const {
    std::string text;
    std::rewind(File);
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, File)) > 0;) text.append(buffer, n);
    return text;
  }
};

QByteArray ReadFile(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

appcore::CalendarDate NextDay(appcore::CalendarDate d, int days) {
  const QDate q = QDate(d.Year, d.Month, d.Day).addDays(days);
  return {q.year(), q.month(), q.day()};
}

}  // namespace

class ScheduleFormTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir FDir;
  QString FFolder;  // the program folder
  std::string FDisc, FSecond, FThird;
  guitest::ScriptedDialogs* FDialogs = nullptr;

  void WriteFile(const QString& path, const QByteArray& content) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
  }
  std::string NewDisc(const QString& name) {
    const std::string path = FDir.filePath(name).toStdString();
    Captured out, err;
    const int rc = cli::RunVdisc({"create", path, "--media", "dvd+r", "--blocks", "30000"}, out.File, err.File);
    if (rc != 0) qWarning("%s", err.Text().c_str());
    return path;
  }
  std::string Listing(const std::string& disc) {
    engine::TKavoBurner burner;
    Captured out, err;
    cli::RunDiscCommand(burner, "ls", {"--device", disc}, out.File, err.File);
    return out.Text() + err.Text();
  }
  QString ListPath() const { return FFolder + "/Schedule/ScheduleList.ini"; }

  // Adds a task through the dialog as a person would.
  void AddTask(app::TScheduleForm& schedule, const QString& name, const QStringList& files) {
    schedule.btnAddClick();
    auto& dialog = schedule.TaskDialog();
    QVERIFY(dialog.isVisible());
    QVERIFY(!schedule.isEnabled());
    dialog.findChild<QLineEdit*>("edtTaskName")->setText(name);
    dialog.findChild<QLineEdit*>("edtDescription")->setText("Papers");
    for (const QString& f : files) {
      FDialogs->Files.push_back(f);
      dialog.btnAddFileClick();
    }
    dialog.btnOKClick();
  }

 private slots:
  void initTestCase() {
    QVERIFY(FDir.isValid());
    ui::InitArtwork();
    platform::SetEnvironment("ZANTIC_VDRIVE_TIMESCALE", "0.001");
    // The log-on entry goes here, not into the person's own autostart folder.
    platform::SetEnvironment("XDG_CONFIG_HOME", FDir.filePath("config").toStdString());
    FDisc = NewDisc("first.zvd");
    FSecond = NewDisc("second.zvd");
    FThird = NewDisc("third.zvd");  // for a burn stopped midway
    platform::SetEnvironment("ZANTIC_VDISC", FDisc + platform::kPathListSeparator + FSecond +
                                                 platform::kPathListSeparator + FThird);
    device::FinalizeTransport();
    vdrive::RegisterVirtualRecorders();
  }
  void cleanupTestCase() {
    vdrive::UnregisterVirtualRecorders();
    device::FinalizeTransport();
  }
  void init() {
    FFolder = FDir.filePath("pf");
    QDir(FFolder).removeRecursively();
    QDir().mkpath(FFolder);
    // Sessions stay open so that a second burn can follow on the same disc.
    WriteFile(FFolder + "/Option.ini",
              QByteArray("[Burning]\r\nCloseDisc=0\r\n[Schedule]\r\nDrive=") + QByteArray::fromStdString(FDisc) +
                  "\r\n");
    FDialogs = new guitest::ScriptedDialogs;
  }
  void cleanup() { delete FDialogs; }

  void exitDuringAScheduledBurnAsksAndEndsOnceTheBurnHasStopped() {
    const QString source = FDir.filePath("src/exit.txt");
    WriteFile(source, "exit");
    app::Program program(FFolder, {});
    bool ended = false;
    program.OnEnd = [&ended] { ended = true; };
    app::TForm1& main = program.MainForm();
    app::TScheduleForm& schedule = program.ScheduleForm();
    appcore::CalendarDate clock = appcore::Today();
    schedule.Clock = [&clock] { return clock; };
    AddTask(schedule, "Exit", {source});
    const std::string before = schedule.Tasks().front().LastBackup;
    main.Options().Drive = FThird;
    // Exit is chosen as the burn starts: the burn dialog logs its first
    // write on the drive.
    bool busy = false, stillRunning = false, endedAtOnce = true;
    QStringList asked;
    QTextDocument* log = main.BurningForm().memo1->document();
    QMetaObject::Connection watch;
    watch = QObject::connect(log, &QTextDocument::contentsChanged, &schedule, [&] {
      if (!log->toPlainText().contains("Start burning CD(DVD) on")) return;
      QObject::disconnect(watch);
      busy = main.Timer1Active();
      // "No": the burn goes on.
      FDialogs->Answers = {ui::No};
      program.Exit();
      stillRunning = schedule.Running() && !program.Ended();
      // "Yes": the burn is stopped and the program ends once it has let go.
      FDialogs->Answers = {ui::Yes};
      program.Exit();
      endedAtOnce = program.Ended();
      asked = FDialogs->MessageTexts();
    });
    clock = NextDay(clock, 1);
    schedule.Timer1Timer();
    QTRY_VERIFY_WITH_TIMEOUT(program.Ended(), 60000);
    QVERIFY(busy);
    QVERIFY(stillRunning);
    QVERIFY(!endedAtOnce);
    QCOMPARE(asked, (QStringList{QString::fromUtf8(app::schedule_texts::kExitWhileBurning),
                                 QString::fromUtf8(app::schedule_texts::kExitWhileBurning)}));
    QVERIFY(ended);
    QVERIFY(!schedule.Running());
    QVERIFY(!main.ScheduledRun());
    QVERIFY(!main.HoldsPersonsTask());
    // Stopped before its end: not marked done.
    if (!schedule.RunStatus().contains("done"))
      QCOMPARE(appcore::IniFile(ListPath().toStdString()).ReadString("Exit", "Last Backup", ""), before);
  }

  // A person's burn holds the program from the press of Start: a scheduled
  // run waits for its end and the tray's Exit is refused, also while the
  // files are still being transferred, before any progress shows; the open
  // erase dialog holds it the same way.
  void aPersonsOperationHoldsOffScheduledRunsAndExit() {
    const QString mine = FDir.filePath("src/mine.txt");
    const QString scheduled = FDir.filePath("src/scheduled.txt");
    WriteFile(mine, "the person's own");
    WriteFile(scheduled, "the schedule's");
    app::Program program(FFolder, {});
    app::TForm1& main = program.MainForm();
    app::TScheduleForm& schedule = program.ScheduleForm();
    appcore::CalendarDate clock = appcore::Today();
    schedule.Clock = [&clock] { return clock; };
    AddTask(schedule, "Held", {scheduled});
    const std::string before = schedule.Tasks().front().LastBackup;
    main.StartDriveScan();
    QTRY_VERIFY_WITH_TIMEOUT(main.DrivesScanned() && main.DriveJobsIdle(), 30000);
    main.AddToRoot(mine);
    main.Options().EjectDone = false;  // the run after it needs the disc in the drive
    app::TBurningForm& dialog = main.BurningForm();
    dialog.Setup("Burn");
    dialog.show();
    QTRY_VERIFY_WITH_TIMEOUT(!dialog.SpeedListFilling() && main.DriveJobsIdle(), 30000);

    bool checked = false, runStarted = true, ended = true;
    QStringList told;
    QTextDocument* log = dialog.memo1->document();
    QMetaObject::Connection watch;
    watch = QObject::connect(log, &QTextDocument::contentsChanged, &schedule, [&] {
      if (!log->toPlainText().contains(" Add files / dirs to CD(DVD) done.")) return;
      QObject::disconnect(watch);
      checked = !main.Timer1Active();  // still preparing: no progress yet
      clock = NextDay(clock, 1);
      schedule.Timer1Timer();
      runStarted = schedule.Running();
      const qsizetype asked = FDialogs->MessageTexts().size();
      program.Exit();
      ended = program.Ended();
      told = FDialogs->MessageTexts().mid(asked);
    });
    QTest::mouseClick(dialog.findChild<QPushButton*>("btnStartBurn"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(dialog.LogLines().join('\n').contains(" Write/Burn CD(DVD) Process done"), 60000);
    QVERIFY(checked);
    QVERIFY(!runStarted);
    QVERIFY(!ended);
    QCOMPARE(told, QStringList{QString::fromUtf8(app::texts::kBurnStillRunning)});
    QCOMPARE(schedule.Tasks().front().LastBackup, before);
    QVERIFY(!QFile::exists(FFolder + "/Schedule/Log.txt"));
    dialog.btnCancelClick();
    QTRY_VERIFY_WITH_TIMEOUT(main.DriveJobsIdle(), 30000);

    // The erase dialog open and idle holds the program as well.
    main.btnEraseClick();
    QVERIFY(main.EraseForm().isVisible());
    schedule.Timer1Timer();
    QVERIFY(!schedule.Running());
    main.EraseForm().close();
    QTRY_VERIFY(!main.EraseForm().isVisible());

    // Once let go, the run burns its own files, and only then is it credited.
    QSignalSpy finished(&schedule, &app::TScheduleForm::RunFinished);
    schedule.Timer1Timer();
    QVERIFY(schedule.Running());
    QVERIFY2(finished.wait(60000), qPrintable(schedule.RunStatus()));
    QVERIFY2(schedule.RunStatus().contains("done"), qPrintable(schedule.RunStatus()));
    const std::string listing = Listing(FDisc);
    QVERIFY2(listing.find("scheduled.txt") != std::string::npos, listing.c_str());
    QCOMPARE(schedule.Tasks().front().LastBackup, appcore::FormatDate(clock));
  }

  void addedTaskRunsHiddenNextDayAndTheCommandLineRunsTheSameStore() {
    const QString source = FDir.filePath("src/report.txt");
    WriteFile(source, "quarterly figures");
    app::Program program(FFolder, {});
    QVERIFY(program.CreationOrder().indexOf("TScheduleForm") == 2);
    app::TScheduleForm& schedule = program.ScheduleForm();
    QCOMPARE(schedule.Hint(), QString("0 Backup Tasks"));
    const appcore::CalendarDate today = appcore::Today();
    appcore::CalendarDate clock = today;
    schedule.Clock = [&clock] { return clock; };

    AddTask(schedule, "Weekly", {source});
    QVERIFY(!schedule.TaskDialog().isVisible());
    QVERIFY(schedule.isEnabled());
    QCOMPARE(FDialogs->MessageTexts(), QStringList());
    // The task file and the section.
    const QString mvt = FFolder + "/Schedule/Weekly.mvt";
    QCOMPARE(ReadFile(mvt), QByteArray("Weekly(") + QDir::toNativeSeparators(source).toUtf8() + "*17()#)#\r\n");
    const appcore::IniFile ini(ListPath().toStdString());
    const std::string day = appcore::FormatDate(today);
    QCOMPARE(ini.ReadString("Weekly", "Task File", ""), mvt.toStdString());
    QCOMPARE(ini.ReadString("Weekly", "Day", ""), std::string("1"));
    QCOMPARE(ini.ReadString("Weekly", "Week", ""), std::string("0"));
    QCOMPARE(ini.ReadString("Weekly", "Once", ""), std::string("0"));
    QCOMPARE(ini.ReadString("Weekly", "Days", ""), std::string("1"));
    QCOMPARE(ini.ReadString("Weekly", "Equal or Later", ""), std::string("1"));
    QCOMPARE(ini.ReadString("Weekly", "Equal", ""), std::string("0"));
    QCOMPARE(ini.ReadString("Weekly", "Description", ""), std::string("Papers"));
    QCOMPARE(ini.ReadString("Weekly", "Scheduling", ""), std::string("1 Days"));
    QCOMPARE(ini.ReadString("Weekly", "Start Date", ""), day);
    QCOMPARE(ini.ReadString("Weekly", "Last Backup", ""), day);
    // Listed at once, so the daemon sees it without the window closing.
    QCOMPARE(ini.ReadString("Task", "Task0", ""), std::string("Weekly"));
    QCOMPARE(ini.ReadInteger("Count", "Value", 0), 1);
    QCOMPARE(schedule.Hint(), QString("1 Backup Tasks"));
    // With auto-execute on, the program starts at log-on, waiting in the tray.
    QVERIFY(platform::AutostartEntryExists(appcore::kScheduledStartName));
#ifndef _WIN32
    QVERIFY(ReadFile(FDir.filePath("config/autostart/zantic-schedule.desktop")).contains("\"-Schedule\""));
#endif
    auto* list = schedule.findChild<QTreeWidget*>("ltvTask");
    QCOMPARE(list->topLevelItemCount(), 1);
    QCOMPARE(list->topLevelItem(0)->text(2), QString("1 Days"));

    // Not due today; due on the next day's check.
    QSignalSpy finished(&schedule, &app::TScheduleForm::RunFinished);
    schedule.Timer1Timer();
    QVERIFY(!schedule.Running());
    QVERIFY(!QFile::exists(FFolder + "/Schedule/Log.txt"));
    clock = NextDay(today, 1);
    schedule.Timer1Timer();
    QVERIFY(schedule.Running());
    QVERIFY(!schedule.isVisible());  // hidden, as the options say by default
    QVERIFY2(finished.wait(60000), qPrintable(schedule.RunStatus()));
    QVERIFY2(schedule.RunStatus().contains("done"), qPrintable(schedule.RunStatus()));
    const std::string next = appcore::FormatDate(clock);
    QVERIFY(Listing(FDisc).find("report.txt") != std::string::npos);
    const QByteArray log = ReadFile(FFolder + "/Schedule/Log.txt");
    QVERIFY2(log.startsWith("Start backup task:" + mvt.toUtf8() + " " + QByteArray::fromStdString(next) + " "),
             log.constData());
    QVERIFY2(log.contains("\r\nBackup task done " + QByteArray::fromStdString(next) + " "), log.constData());
    // Written when the run ended, not when the window closes.
    QCOMPARE(appcore::IniFile(ListPath().toStdString()).ReadString("Weekly", "Last Backup", ""), next);
    QCOMPARE(list->topLevelItem(0)->text(6), QString::fromStdString(next));
    // Done for the day: the next checks run nothing.
    schedule.Timer1Timer();
    QVERIFY(!schedule.Running());

    // The command line's run reads the same store and logs to the same file.
    engine::TKavoBurner burner;
    Captured out, err;
    const int rc = cli::RunScheduleCommand({"run", "Weekly", "--program-folder", FFolder.toStdString(), "--device",
                                            FSecond},
                                           burner, out.File, err.File);
    QVERIFY2(rc == cli::kExitOk, err.Text().c_str());
    QVERIFY(Listing(FSecond).find("report.txt") != std::string::npos);
    QCOMPARE(ReadFile(FFolder + "/Schedule/Log.txt").count("Start backup task:"), 2);
  }

  void dueTaskBurnsThroughTheHiddenBurnDialogAndAFailedRunKeepsTheDate() {
    const QString source = FDir.filePath("src/dialog/notes.txt");
    WriteFile(source, "meeting notes");
    const QString own = FDir.filePath("src/own.txt");
    WriteFile(own, "the person's work");
    app::Program program(FFolder, {});
    app::TForm1& main = program.MainForm();
    app::TScheduleForm& schedule = program.ScheduleForm();
    appcore::CalendarDate clock = appcore::Today();
    schedule.Clock = [&clock] { return clock; };
    AddTask(schedule, "Dialog", {source});
    // The person is building a task of their own, not yet saved.
    main.AddToRoot(own);
    const std::string ownRoot = main.Task().Root->Name;
    QVERIFY(main.Modified());

    QSignalSpy finished(&schedule, &app::TScheduleForm::RunFinished);
    clock = NextDay(clock, 1);
    schedule.Timer1Timer();
    QVERIFY(schedule.Running());
    QVERIFY2(finished.wait(60000), qPrintable(schedule.RunStatus()));
    QVERIFY2(schedule.RunStatus().contains("done"), qPrintable(schedule.RunStatus()));
    const std::string burntOn = appcore::FormatDate(clock);
    // Burnt by the dialog in "Burn" mode, which stayed hidden; its log and
    // progress are there for a later look.
    app::TBurningForm& dialog = main.BurningForm();
    QCOMPARE(dialog.Mode(), QString("Burn"));
    QVERIFY(!dialog.isVisible());
    QVERIFY(!main.isVisible());
    QCOMPARE(dialog.edtLabel->text(), QString("Dialog"));
    QVERIFY(dialog.gpbProgress->isVisibleTo(&dialog));
    const QString burnLog = dialog.LogLines().join('\n');
    QVERIFY2(burnLog.contains(" Write/Burn CD(DVD) Process done"), qPrintable(burnLog));
    QVERIFY2(!burnLog.contains("done with error"), qPrintable(burnLog));
    const std::string listing = Listing(FDisc);
    QVERIFY2(listing.find("notes.txt") != std::string::npos, listing.c_str());
    QVERIFY2(listing.find("own.txt") == std::string::npos, listing.c_str());
    QCOMPARE(appcore::IniFile(ListPath().toStdString()).ReadString("Dialog", "Last Backup", ""), burntOn);
    QCOMPARE(ReadFile(FFolder + "/Schedule/Log.txt").count("Backup task done " + QByteArray::fromStdString(burntOn)),
             1);
    // The operation is over, and the person's own task is back as it was.
    QVERIFY(!main.ScheduledRun());
    QCOMPARE(main.Task().Root->Name, ownRoot);
    QCOMPARE(main.Task().Root->Children.size(), std::size_t(1));
    QVERIFY(main.Modified());
    QVERIFY(!main.HoldsPersonsTask());

    // Its files gone, the next run burns nothing: the date in the list and
    // in the file stays the last good one, and no done line is logged.
    QVERIFY(QFile::remove(source));
    clock = NextDay(clock, 1);
    schedule.Timer1Timer();
    QVERIFY(schedule.Running());
    QVERIFY2(finished.wait(60000), qPrintable(schedule.RunStatus()));
    QVERIFY2(schedule.RunStatus().contains("was not burnt"), qPrintable(schedule.RunStatus()));
    QCOMPARE(schedule.Tasks().front().LastBackup, burntOn);
    QCOMPARE(appcore::IniFile(ListPath().toStdString()).ReadString("Dialog", "Last Backup", ""), burntOn);
    const QByteArray log = ReadFile(FFolder + "/Schedule/Log.txt");
    QCOMPARE(log.count("Start backup task:"), 2);
    QCOMPARE(log.count("Backup task done "), 1);
    QVERIFY(dialog.LogLines().join('\n').contains("done with error"));
    QVERIFY(!main.ScheduledRun());
    QCOMPARE(main.Task().Root->Name, ownRoot);
  }

  void shownBurnDialogFollowsTheRunAndAPersonsOpenDialogIsLeftAlone() {
    const QString source = FDir.filePath("src/shown.txt");
    WriteFile(source, "shown");
    app::Program program(FFolder, {});
    app::TForm1& main = program.MainForm();
    app::TScheduleForm& schedule = program.ScheduleForm();
    appcore::Options& options = main.Options();
    options.DisplayWindow = true;
    options.HideWindow = false;
    appcore::CalendarDate clock = appcore::Today();
    schedule.Clock = [&clock] { return clock; };
    AddTask(schedule, "Shown", {source});
    app::TBurningForm& dialog = main.BurningForm();

    // The person has the burn dialog open on its settings: the run waits
    // rather than take it over, and the task stays due.
    dialog.Setup("Burn");
    dialog.show();
    const std::string before = schedule.Tasks().front().LastBackup;
    clock = NextDay(clock, 1);
    schedule.Timer1Timer();
    QVERIFY(!schedule.Running());
    QCOMPARE(schedule.Tasks().front().LastBackup, before);
    QVERIFY(dialog.findChild<QGroupBox*>("gpbPreference")->isVisible());
    dialog.hide();

    // The person's dialog closed, "Run" burns with the dialog shown.
    QSignalSpy finished(&schedule, &app::TScheduleForm::RunFinished);
    auto* list = schedule.findChild<QTreeWidget*>("ltvTask");
    list->setCurrentItem(list->topLevelItem(0));
    schedule.btnRunClick();
    QVERIFY(schedule.Running());
    QTRY_VERIFY_WITH_TIMEOUT(dialog.isVisible(), 30000);
    QCOMPARE(dialog.Mode(), QString("Burn"));
    QCOMPARE(dialog.windowTitle(), QString("Burn a disc"));
    QVERIFY2(finished.wait(60000), qPrintable(schedule.RunStatus()));
    QVERIFY2(schedule.RunStatus().contains("done"), qPrintable(schedule.RunStatus()));
    QVERIFY(dialog.isVisible());
    QVERIFY(dialog.LogLines().join('\n').contains(" Write/Burn CD(DVD) Process done"));
    // Not the person's burn: closing the dialog does not bring the main window up.
    QVERIFY(!dialog.ReturnToMain());
    dialog.btnCancelClick();
    QVERIFY(!main.isVisible());
    QVERIFY(Listing(FDisc).find("shown.txt") != std::string::npos);
  }

  void oneRunnerBurnsAtATime() {
    const QString source = FDir.filePath("src/lock.txt");
    WriteFile(source, "x");
    app::Program program(FFolder, {});
    app::TScheduleForm& schedule = program.ScheduleForm();
    appcore::CalendarDate clock = appcore::Today();
    schedule.Clock = [&clock] { return clock; };
    AddTask(schedule, "Locked", {source});
    const std::string before = schedule.Tasks().front().LastBackup;

    // Another runner holds the lock: the window's check burns nothing and
    // the task stays due for the next check.
    platform::FileLock other;
    QVERIFY(appcore::TryLockScheduledRuns(schedule.Store(), other).Value());
    clock = NextDay(clock, 3);
    schedule.Timer1Timer();
    QVERIFY(!schedule.Running());
    QCOMPARE(schedule.Tasks().front().LastBackup, before);
    QVERIFY(schedule.RunStatus().contains("Another Zantic"));
    // The command line is refused the same way.
    engine::TKavoBurner burner;
    Captured out, err;
    const int rc = cli::RunScheduleCommand({"run", "Locked", "--program-folder", FFolder.toStdString(), "--device",
                                            FSecond},
                                           burner, out.File, err.File);
    QCOMPARE(rc, cli::kExitFailed);
    QVERIFY(err.Text().find("another Zantic is burning") != std::string::npos);
    QVERIFY(!QFile::exists(FFolder + "/Schedule/Log.txt"));

    // The other runner burnt it meanwhile and let go: under the lock the
    // window sees the task done and takes the date from the list.
    QVERIFY(schedule.Store().RecordBackup("Locked", clock).Ok());
    other.Release();
    schedule.Timer1Timer();
    QVERIFY(!schedule.Running());
    QCOMPARE(schedule.Tasks().front().LastBackup, appcore::FormatDate(clock));
    QVERIFY(!QFile::exists(FFolder + "/Schedule/Log.txt"));
  }

  void notReadyDriveAsksOrCancelsSilently() {
    const QString source = FDir.filePath("src/nr.txt");
    WriteFile(source, "y");
    app::Program program(FFolder, {});
    app::TScheduleForm& schedule = program.ScheduleForm();
    appcore::Options& options = program.MainForm().Options();
    appcore::CalendarDate clock = appcore::Today();
    schedule.Clock = [&clock] { return clock; };
    AddTask(schedule, "Night", {source});
    const std::string before = schedule.Tasks().front().LastBackup;
    // The drive's tray is open: no disc.
    engine::TKavoBurner tray;
    const auto choice = appcore::SelectDrive(tray, FDisc);
    QVERIFY2(choice.Selected(), choice.Text.c_str());
    QVERIFY(tray.StartStopUnit(device::TStartStop::Eject));

    // "Query": OK tries again, Cancel ends the run; the task stays due.
    QSignalSpy finished(&schedule, &app::TScheduleForm::RunFinished);
    options.Query = true;
    options.CancelTask = false;
    FDialogs->Answers = {ui::Ok, ui::Cancel};
    clock = NextDay(clock, 2);
    schedule.Timer1Timer();
    QVERIFY(finished.wait(30000));
    int asked = 0;
    for (const auto& a : FDialogs->Log)
      if (a.Kind == "Message") {
        ++asked;
        QCOMPARE(a.Caption, QString("Informaiton"));
        QCOMPARE(a.Text, QString::fromUtf8(appcore::texts::kDriveNotReady));
        QCOMPARE(a.Buttons, ui::Ok | ui::Cancel);
      }
    QCOMPARE(asked, 2);
    QCOMPARE(schedule.Tasks().front().LastBackup, before);
    QVERIFY(!ReadFile(FFolder + "/Schedule/Log.txt").contains("Backup task done"));

    // "Cancel the task.": nothing asked, nothing logged. A failed task waits
    // ten minutes before its next try, so this one runs from "Run".
    FDialogs->Log.clear();
    options.Query = false;
    options.CancelTask = true;
    schedule.findChild<QTreeWidget*>("ltvTask")->setCurrentItem(
        schedule.findChild<QTreeWidget*>("ltvTask")->topLevelItem(0));
    schedule.btnRunClick();
    QVERIFY(finished.wait(30000));
    QCOMPARE(FDialogs->MessageTexts(), QStringList());
    QVERIFY(!ReadFile(FFolder + "/Schedule/Log.txt").contains("Start backup task:"));
    QVERIFY(tray.StartStopUnit(device::TStartStop::Load));
  }

  // A disc inserted while the question is open: the scheduled run in the
  // window asks what the command line's task burn asks, once, and asks it
  // from the drive job, so nothing else reaches the drive in between.
  void aDiscInsertedAtTheQuestionIsAskedAsTheCommandLineAsks() {
    const QString source = FDir.filePath("src/once.txt");
    WriteFile(source, "z");
    engine::TKavoBurner tray;
    QVERIFY(appcore::SelectDrive(tray, FDisc).Selected());
    QStringList windowAsked, cliAsked;
    {
      app::Program program(FFolder, {});
      app::TScheduleForm& schedule = program.ScheduleForm();
      appcore::Options& options = program.MainForm().Options();
      appcore::CalendarDate clock = appcore::Today();
      schedule.Clock = [&clock] { return clock; };
      AddTask(schedule, "Once", {source});
      options.Query = true;
      options.CancelTask = false;
      options.EjectNoDisc = false;
      QVERIFY(tray.StartStopUnit(device::TStartStop::Eject));
      bool heldWhileAsked = false;
      FDialogs->Answers = {ui::Ok};
      FDialogs->OnMessage = [&](const guitest::Asked& a) {
        windowAsked << a.Text;
        if (windowAsked.size() > 1) return;
        heldWhileAsked = !program.MainForm().DriveJobsIdle();
        tray.StartStopUnit(device::TStartStop::Load);
      };
      QSignalSpy finished(&schedule, &app::TScheduleForm::RunFinished);
      program.MainForm().BurningForm().RetryPauseMs = 1000;
      clock = NextDay(clock, 2);
      schedule.Timer1Timer();
      QVERIFY(finished.wait(30000));
      FDialogs->OnMessage = nullptr;
      QVERIFY(heldWhileAsked);
      QVERIFY(ReadFile(FFolder + "/Schedule/Log.txt").contains("Start backup task:"));
    }

    const auto tree = appcore::ReadTaskFile((FFolder + "/Schedule/Once.mvt").toStdString());
    QVERIFY(tree.Ok());
    appcore::Options options;
    options.Drive = FDisc;
    options.Query = true;
    options.CancelTask = false;
    QVERIFY(tray.StartStopUnit(device::TStartStop::Eject));
    engine::NonInteractiveAnswers answers;
    answers.NotReadyRetries = 5;
    answers.Report = [&](const std::string& text) {
      cliAsked << QString::fromStdString(text);
      tray.StartStopUnit(device::TStartStop::Load);
    };
    engine::NonInteractive ask(answers);
    appcore::TaskBurnSetup setup;
    setup.Device = FDisc;
    setup.Scheduled = true;
    setup.Ask = &ask;
    setup.RetryPauseMs = 1000;
    QCOMPARE(appcore::PrepareTaskDrive(options, setup, tray).Step, appcore::TaskBurnStep::Ready);
    QCOMPARE(windowAsked, QStringList{QString::fromUtf8(appcore::texts::kDriveNotReady)});
    QCOMPARE(cliAsked.join("|"), windowAsked.join("|"));
  }

  // The window's run keeps the command line's rules: a task without files
  // is empty, a list that cannot record the run refuses it before anything
  // is burnt, and the record
  // follows the options the burn started with, not a later change.
  void aRunIsRecordedByTheRulesTheCommandLineKeeps() {
    const QString source = FDir.filePath("src/rules.txt");
    WriteFile(source, "rules");
    app::Program program(FFolder, {});
    app::TForm1& main = program.MainForm();
    app::TScheduleForm& schedule = program.ScheduleForm();
    appcore::CalendarDate clock = appcore::Today();
    schedule.Clock = [&clock] { return clock; };
    AddTask(schedule, "Rules", {source});
    auto* list = schedule.findChild<QTreeWidget*>("ltvTask");

    // A task that lists no files is as empty as an empty task file: nothing
    // is asked, burnt or logged, in the window or on the command line.
    AddTask(schedule, "Nothing", {});
    list->setCurrentItem(list->topLevelItem(1));
    schedule.btnRunClick();
    QVERIFY(!schedule.Running());
    QCOMPARE(FDialogs->MessageTexts(), QStringList());
    engine::TKavoBurner burner;
    Captured out, err;
    QCOMPARE(cli::RunScheduleCommand({"run", "Nothing", "--program-folder", FFolder.toStdString(), "--device", FSecond},
                                     burner, out.File, err.File),
             cli::kExitOk);
    QVERIFY2(out.Text().find("nothing to burn") != std::string::npos, out.Text().c_str());
    QVERIFY(!QFile::exists(FFolder + "/Schedule/Log.txt"));
    list->setCurrentItem(list->topLevelItem(0));

    const QByteArray good = ReadFile(ListPath());
    QByteArray padded = good;
    for (int i = 0; i < 4300; ++i) padded += "; " + QByteArray(1000, 'x') + "\r\n";  // over 4 MiB
    WriteFile(ListPath(), padded);
    FDialogs->Answers = {ui::Ok};
    schedule.btnRunClick();
    QVERIFY(!schedule.Running());
    QCOMPARE(FDialogs->MessageTexts().size(), 1);
    QVERIFY2(FDialogs->MessageTexts().front().contains("ScheduleList.ini"), qPrintable(FDialogs->MessageTexts().front()));
    QVERIFY(!QFile::exists(FFolder + "/Schedule/Log.txt"));
    WriteFile(ListPath(), good);

    // Test write is ticked in the options while the real burn runs.
    QTextDocument* log = main.BurningForm().memo1->document();
    QMetaObject::Connection watch = QObject::connect(log, &QTextDocument::contentsChanged, &schedule, [&] {
      if (!log->toPlainText().contains("Start burning CD(DVD) on")) return;
      QObject::disconnect(watch);
      main.Options().TestWrite = true;
    });
    QSignalSpy finished(&schedule, &app::TScheduleForm::RunFinished);
    clock = NextDay(clock, 1);
    schedule.Timer1Timer();
    QVERIFY(finished.wait(60000));
    QVERIFY(main.Options().TestWrite);
    QVERIFY2(schedule.RunStatus().contains("done"), qPrintable(schedule.RunStatus()));
    QVERIFY(Listing(FDisc).find("rules.txt") != std::string::npos);
    QCOMPARE(appcore::IniFile(ListPath().toStdString()).ReadString("Rules", "Last Backup", ""),
             appcore::FormatDate(clock));
  }

  // Editing only a task's description leaves its last backup, so its next
  // run comes when it would have come.
  void editingATaskKeepsItsLastBackup() {
    const appcore::ScheduleStore store(FFolder.toStdString());
    const appcore::CalendarDate weekAgo = NextDay(appcore::Today(), -7);
    auto made = store.SaveTask("Weekly", appcore::TaskSettings{}, {}, weekAgo);
    QVERIFY(made.Ok() && store.SaveList({made.Value()}).Ok());
    app::Program program(FFolder, {});
    app::TScheduleForm& schedule = program.ScheduleForm();
    auto* list = schedule.findChild<QTreeWidget*>("ltvTask");
    list->setCurrentItem(list->topLevelItem(0));
    schedule.btnEditClick();
    schedule.TaskDialog().findChild<QLineEdit*>("edtDescription")->setText("Other papers");
    schedule.TaskDialog().btnOKClick();
    const std::string expected = appcore::FormatDate(weekAgo);
    QCOMPARE(schedule.Tasks().front().LastBackup, expected);
    QCOMPARE(appcore::IniFile(ListPath().toStdString()).ReadString("Weekly", "Last Backup", ""), expected);
  }

  void aNameInUseAsksBeforeItIsReplaced() {
    const QString a = FDir.filePath("src/a.txt");
    const QString b = FDir.filePath("src/b.txt");
    WriteFile(a, "a");
    WriteFile(b, "bb");
    app::Program program(FFolder, {});
    app::TScheduleForm& schedule = program.ScheduleForm();
    AddTask(schedule, "Same", {a});
    const QString mvt = FFolder + "/Schedule/Same.mvt";
    const QByteArray first = ReadFile(mvt);

    FDialogs->Answers = {ui::No};
    AddTask(schedule, "Same", {b});
    QCOMPARE(FDialogs->MessageTexts().size(), 1);
    QVERIFY(FDialogs->MessageTexts().front().contains("already exists"));
    QCOMPARE(FDialogs->Log.back().Caption, QString("Query"));
    QVERIFY(schedule.TaskDialog().isVisible());  // still there to pick another name
    QCOMPARE(ReadFile(mvt), first);
    schedule.TaskDialog().reject();
    QVERIFY(schedule.isEnabled());

    FDialogs->Answers = {ui::Yes};
    AddTask(schedule, "Same", {b});
    QVERIFY(!schedule.TaskDialog().isVisible());
    QVERIFY(ReadFile(mvt).contains("b.txt*2()#"));
    QVERIFY(!ReadFile(mvt).contains("a.txt"));
    QCOMPARE(schedule.Tasks().size(), std::size_t{1});
    QCOMPARE(schedule.findChild<QTreeWidget*>("ltvTask")->topLevelItemCount(), 1);

    // Edit reads the files back; a deleted task file says so and leaves the list empty.
    schedule.findChild<QTreeWidget*>("ltvTask")->setCurrentItem(
        schedule.findChild<QTreeWidget*>("ltvTask")->topLevelItem(0));
    schedule.btnEditClick();
    auto& dialog = schedule.TaskDialog();
    QCOMPARE(dialog.windowTitle(), QString("Edit Backup Task"));
    QVERIFY(!dialog.findChild<QLineEdit*>("edtTaskName")->isEnabled());
    QCOMPARE(dialog.findChild<QTreeWidget*>("ltvFile")->topLevelItemCount(), 1);
    dialog.reject();
    QVERIFY(QFile::remove(mvt));
    FDialogs->Log.clear();
    FDialogs->Answers = {ui::Ok};
    schedule.btnEditClick();
    QCOMPARE(FDialogs->MessageTexts(), QStringList{"The task file does not exists!"});
    QCOMPARE(dialog.findChild<QTreeWidget*>("ltvFile")->topLevelItemCount(), 0);
    dialog.reject();

    // Empty names and names that cannot be files are refused with the focus on the name.
    FDialogs->Log.clear();
    FDialogs->Answers = {ui::Ok, ui::Ok};
    AddTask(schedule, "", {});
    AddTask(schedule, "a/b", {});
    QCOMPARE(FDialogs->MessageTexts().size(), 2);
    QCOMPARE(FDialogs->MessageTexts().front(), QString("Please enter the Task Name."));
    QVERIFY(schedule.TaskDialog().isVisible());
    schedule.TaskDialog().reject();
    QCOMPARE(schedule.Tasks().size(), std::size_t{1});
  }
};

QTEST_MAIN(ScheduleFormTest)
#include "schedule_form_test.moc"
