// zantic-screens <folder>: shows every window of the program with a fresh
// program folder and saves a PNG of each into <folder>. A window whose
// captions are cut off (narrower than they need) is reported and makes the
// run fail. Each window adds itself with one line in Shots() below.
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTextEdit>
#include <QLinearGradient>
#include <QMessageBox>
#include <QPushButton>
#include <QComboBox>
#include <QThread>
#include <QMimeData>
#include <QPainter>
#include <QTreeWidget>
#include <QTest>
#include <QUrl>
#include <QWidget>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#include "app/drive_forms.h"
#include "app/help_form.h"
#include "app/erase_form.h"
#include "app/burning_form.h"
#include "app/main_form.h"
#include "app/tree_forms.h"
#include "engine/device/media_types.h"
#include "engine/kavo_burner.h"
#include "platform/file_find.h"
#include "app/option_form.h"
#include "app/add_schedule_form.h"
#include "app/program.h"
#include "app/schedule_form.h"
#include "app/schedule_texts.h"
#include "app/start_form.h"
#include "app/tip_form.h"
#include "appcore/drive_select.h"
#include "appcore/tips.h"
#include "engine/device/sleeper.h"
#include "engine/kavo_burner.h"
#include "appcore/options.h"
#include "appcore/schedule.h"
#include "platform/program_folder.h"
#include "ui/dialogs.h"
#include "ui/skins.h"
#include "platform/process.h"
#include "vdrive/disc_image.h"
#include "vdrive/drive.h"
#include "vdrive/registration.h"

namespace {

// Answers Yes where Yes is offered, the default elsewhere: the erase
// pictures need a started blanking.
struct YesDialogs final : ui::Dialogs {
  ui::Button Message(QWidget*, const QString&, const QString&, ui::MessageIcon, ui::Buttons buttons,
                     ui::Button defaultButton) override {
    return (buttons & ui::Yes) != 0 ? ui::Yes : defaultButton;
  }
  QString OpenFileName(QWidget*, const QString&, const QString&, const QString&) override { return {}; }
  QStringList OpenFileNames(QWidget*, const QString&, const QString&, const QString&) override { return {}; }
  QString SaveFileName(QWidget*, const QString&, const QString&, const QString&) override { return {}; }
  QString ExistingDirectory(QWidget*, const QString&, const QString&) override { return {}; }
  QColor Color(QWidget*, const QColor&, const QString&) override { return {}; }
  bool TextInput(QWidget*, const QString&, const QString&, const QString&, QString&) override { return false; }
};

// The program as it starts, with a fresh program folder.
struct Screens {
  QString Folder = QString::fromStdString(platform::ProgramFolder());
  app::Program Program{Folder, {}};

  app::TOptionForm& Options() { return Program.OptionForm(); }
  appcore::Options& Values() { return Program.MainForm().Options(); }

  // Makes `name` the skin of the whole program, as OK in the options does.
  void UseSkin(const char* name) {
    const QString skin = QLatin1String(name);
    const QString file = skin == QLatin1String(ui::kNoSkin) ? QString() : Options().Skins().FileOf(skin);
    if (skin != QLatin1String(ui::kNoSkin) && file.isEmpty()) qFatal("no skin %s", name);
    ui::ApplySkinFile(file);
  }
  QWidget* Start(bool color, bool gradient, bool image) {
    appcore::Options& o = Values();
    o.BackgroundColor = color;
    o.BackgroundGradient = gradient;
    o.BackgroundImage = image;
    if (image) o.BkImage = BackgroundPicture().toStdString();
    const QString error = Program.StartForm().ApplyBackground(o);
    if (!error.isEmpty()) qFatal("%s", qPrintable(error));
    Program.StartForm().show();
    return &Program.StartForm();
  }
  // A picture of our own for the image background.
  QString BackgroundPicture() const {
    QDir().mkpath(Folder);
    const QString file = QDir(Folder).filePath(QStringLiteral("background.png"));
    QImage image(522, 414, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient sky(0, 0, 0, 414);
    sky.setColorAt(0, QColor("#0b3d63"));
    sky.setColorAt(0.6, QColor("#3f8fc4"));
    sky.setColorAt(1, QColor("#f2b45a"));
    p.fillRect(image.rect(), sky);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 60));
    for (int i = 0; i < 5; ++i) p.drawEllipse(QPointF(420 - i * 70, 90 + i * 35), 60 - i * 8, 60 - i * 8);
    p.end();
    if (!image.save(file, "PNG")) qFatal("cannot write %s", qPrintable(file));
    return file;
  }
  QWidget* MainWithTask() {
    app::TForm1& main = Program.MainForm();
    if (!main.Task().OnlyRoot()) {
      main.show();
      return &main;
    }
    main.ShowForJob(app::TForm1::Job::Burn);
    {
      QMimeData mime;
      mime.setUrls({QUrl::fromLocalFile(QStringLiteral(ZANTIC_EXAMPLES))});
      if (!main.clBoxDragDrop(&mime, nullptr)) qFatal("the examples could not be dropped");
      WaitUntil([&main] { return !main.Busy(); }, 10000);
    }
    return &main;
  }
  QWidget* About() {
    auto* action = Program.MainForm().findChild<QAction*>(QStringLiteral("btnAbout"));
    if (action == nullptr) qFatal("no about action");
    action->trigger();
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->objectName() == QLatin1String("TAboutForm") && w->isVisible()) return w;
    qFatal("no about box");
  }
  // The drive and disc windows, over the examples as a compilation.
  std::vector<std::unique_ptr<QWidget>> Kept;
  QWidget* Keep(QWidget* window) {
    Kept.emplace_back(window);
    window->show();
    return window;
  }
  engine::TKavoBurner& Examples() {
    engine::TKavoBurner& burner = Program.MainForm().Burner();
    burner.ResetCompilation(65535, 8191);
    burner.AddFolderToCompilation("\\", ZANTIC_EXAMPLES, false, false, true, platform::kAttrAnyFile, "*.*");
    return burner;
  }
  QWidget* Capabilities() {
    using namespace device;
    app::DriveCapabilities caps;
    caps.DeviceName = QStringLiteral("ZANTIC   VIRTUAL RECORDER 1.0");
    caps.Flags = kCapReadCdr | kCapReadCdrw | kCapReadDvd | kCapReadDvdr | kCapReadDvdrw | kCapReadDvdram |
                 kCapReadDvdpr | kCapReadDvdprw | kCapWriteCdr | kCapWriteCdrw | kCapWriteDvdr | kCapWriteDvdrw |
                 kCapWriteDvdpr | kCapWriteDvdprw | kCapWriteTest | kCapUnderrunProtection;
    caps.MaxWriteKBps = 22160;
    caps.MaxReadKBps = 22160;
    caps.Dvd = true;
    return Keep(new app::TForm2(caps));
  }
  QWidget* Sessions() {
    auto* window = new app::TfrmSessions(Program.MainForm().Burner(), Program.MainForm().Jobs());
    app::DiscInformation info;
    info.Lines = {QStringLiteral("  001      000:02:00   310 MB"), QStringLiteral("  002      035:22:14    12 MB"),
                  QStringLiteral(" Free      036:40:10  4172 MB")};
    info.Medium = QStringLiteral("DVD+R");
    info.TotalMB = 4483.0;
    info.UsedMB = 322.5;
    window->Fill(info);
    return Keep(window);
  }
  QWidget* Layout() { return Keep(new app::TfrmDiscLayout(Examples())); }
  QWidget* Tree() { return Keep(new app::TfrmTree(Examples(), Program.MainForm().Jobs())); }
  QWidget* Help() {
    const QString file = app::HelpFile();
    if (file.isEmpty()) qFatal("the manual is not beside the program");
    return app::ShowHelp(nullptr, file);
  }
  // The erase dialog on a virtual CD-RW whose blanking takes `fullMs`, with
  // the drive's pauses a hundred times shorter.
  struct FastSleeper final : device::TSleeper {
    void Sleep(std::uint32_t ms) override { QThread::usleep(ms * 10u); }
  } EraseSleeper;
  // A fresh blank disc of `media` in a recorder of its own, chosen as the
  // main window's drive; a disc left by an earlier run of the pictures goes.
  std::shared_ptr<vdrive::TVirtualRecorder> AttachDisc(const char* name, vdrive::TMedia media, std::uint32_t blocks,
                                                       bool spareAreas = false) {
    const std::string disc = QDir(Folder).filePath(QString::fromLatin1(name)).toStdString();
    QFile::remove(QString::fromStdString(disc));
    vdrive::TDisc blank = vdrive::BlankDisc(media, blocks);
    if (spareAreas && vdrive::Format(blank, blank.Capacity - vdrive::BdDefaultSpare(blank), 0x32))
      qFatal("no spare areas on %s", name);
    if (!vdrive::TDiscFile::Create(disc, blank)) qFatal("no disc %s", name);
    vdrive::RegisterVirtualRecorderFor(disc);
    app::TForm1& main = Program.MainForm();
    main.Options().EjectDone = false;
    engine::TKavoBurner& burner = main.Burner();
    device::FinalizeTransport();
    if (!burner.InitASPI(true, "")) qFatal("no drive layer");
    if (const auto choice = appcore::SelectDrive(burner, disc); !choice.Selected())
      qFatal("no drive: %s", choice.Text.c_str());
    return vdrive::RecorderFor(disc);
  }
  // A burn of the example task under way, slowed so that it is caught in
  // the middle; the erase pictures after it wait for its end.
  QWidget* BurningRunning() {
    vdrive::TFaults slow;
    slow.ThrottleKBps = 1000;
    AttachDisc("burn-running.zvd", vdrive::TMedia::DvdPlusR, 0)->SetFaults(slow);
    app::TForm1& main = Program.MainForm();
    MainWithTask();
    // More than the drive's buffer holds, so that the writing is seen.
    const QString video = QDir(Folder).filePath(QStringLiteral("Holiday video.mp4"));
    {
      QFile f(video);
      if (!f.open(QIODevice::WriteOnly) || !f.write(QByteArray(10 * 1048576, 'v'))) qFatal("no file to burn");
    }
    main.AddToRoot(video, true);
    main.bBurnClick();
    app::TBurningForm& dialog = main.BurningForm();
    WaitUntil([&] { return dialog.isVisible() && dialog.cbspeed->count() > 0; }, 10000);
    dialog.memo1->clear();
    dialog.btnStartBurn->click();
    WaitUntil([&] { return dialog.pcd->maximum() > 0 && dialog.pcd->value() * 3 > dialog.pcd->maximum(); }, 30000);
    return &dialog;
  }
  // The burn dialog before Start for a BD-R formatted with spare areas:
  // the streaming choice and its note beside the speed box.
  QWidget* BurningBdSpare() {
    WaitUntil([this] { return !Program.MainForm().Timer1Active(); }, 60000);
    app::TForm1& main = Program.MainForm();
    main.BurningForm().hide();
    AttachDisc("burn-bd-spare.zvd", vdrive::TMedia::BdR, 0, true);
    MainWithTask();
    main.bBurnClick();
    app::TBurningForm& dialog = main.BurningForm();
    WaitUntil([&] { return dialog.isVisible() && !dialog.SpeedListFilling() && dialog.chkStreaming->isVisible(); },
              20000);
    return &dialog;
  }
  app::TEraseForm& EraseDialog(const char* name, std::uint32_t fullMs) {
    WaitUntil([this] { return !Program.MainForm().Timer1Active(); }, 60000);
    Program.MainForm().BurningForm().hide();
    vdrive::TTimings timings;
    timings.BlankMinimal = 60;
    timings.BlankFull = fullMs;
    AttachDisc(name, vdrive::TMedia::CdRw, 4000)->SetTimings(timings);
    app::TForm1& main = Program.MainForm();
    main.Burner().SetSleeper(EraseSleeper);
    main.btnEraseClick();
    app::TEraseForm& dialog = main.EraseForm();
    WaitUntil([&] { return dialog.SpeedListReady(); }, 10000);
    return dialog;
  }
  // A picture taken too early shows what it shows: the bound is only a net.
  static void WaitUntil(const std::function<bool()>& done, int ms) { static_cast<void>(QTest::qWaitFor(done, ms)); }
  // Starts the erase with the confirmation answered Yes; the erase's end
  // message is answered too, until the last erase picture is taken.
  ui::Dialogs* FNoDialogs = nullptr;
  void StartErase(app::TEraseForm& dialog, bool quick) {
    static YesDialogs yes;
    if (FNoDialogs == nullptr) FNoDialogs = &ui::CurrentDialogs();
    ui::SetDialogs(&yes);
    dialog.findChild<QComboBox*>(QStringLiteral("cmbMethod"))->setCurrentIndex(quick ? 0 : 1);
    dialog.findChild<QPushButton*>(QStringLiteral("btnErase"))->click();
    WaitUntil([&] { return Program.MainForm().Burner().Erasing() || dialog.CurrentState() == app::TEraseForm::State::Done; },
              10000);
  }
  QWidget* EraseRunning() {
    app::TEraseForm& dialog = EraseDialog("erase-running.zvd", 600000);
    StartErase(dialog, false);
    auto* elapsed = dialog.findChild<QLabel*>(QStringLiteral("LabElapse"));
    WaitUntil([&] { return elapsed->text() == QLatin1String("0:0:3"); }, 15000);
    return &dialog;
  }
  QWidget* EraseDone() {
    // Ends the running one first.
    Program.MainForm().Burner().CancelOperation();
    app::TEraseForm& dialog = Program.MainForm().EraseForm();
    WaitUntil([&] { return dialog.CurrentState() == app::TEraseForm::State::Done; }, 20000);
    dialog.close();
    Program.MainForm().Burner().WaitForOperation();
    app::TEraseForm& again = EraseDialog("erase-done.zvd", 2000);
    StartErase(again, true);
    WaitUntil([&] { return again.CurrentState() == app::TEraseForm::State::Done; }, 20000);
    ui::SetDialogs(FNoDialogs);
    return &again;
  }
  QWidget* Tips() {
    Program.ShowTips();
    return Program.TipForm();
  }
  // The version check's answers, built as the program's message boxes are.
  std::unique_ptr<QMessageBox> FBox;
  QWidget* VersionMessage(const QString& text, bool question) {
    FBox = std::make_unique<QMessageBox>(QMessageBox::Information, QStringLiteral("Information"), text,
                                         question ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok,
                                         &Program.StartForm());
    FBox->setObjectName(QStringLiteral("VersionMessage"));
    FBox->show();
    return FBox.get();
  }
  // The schedule window with three tasks, as the task dialog writes them.
  app::TScheduleForm& ScheduleWithTasks() {
    app::TScheduleForm& schedule = Program.ScheduleForm();
    if (!schedule.Tasks().empty()) return schedule;
    Values().AutoExecute = false;  // no log-on entry from the pictures
    const std::string examples = ZANTIC_EXAMPLES;
    struct Made {
      const char* Name;
      appcore::IntervalUnit Unit;
      const char* Count;
      const char* Description;
    };
    const Made tasks[] = {{"Documents", appcore::IntervalUnit::Days, "1", "Letters and invoices"},
                          {"Photos", appcore::IntervalUnit::Weeks, "2", "Camera pictures of the family"},
                          {"Projects", appcore::IntervalUnit::Months, "1", "Source code and notes"}};
    for (const Made& t : tasks) {
      appcore::TaskSettings settings;
      settings.Unit = t.Unit;
      settings.Days = settings.Weeks = settings.Months = t.Count;
      settings.Description = t.Description;
      auto row = schedule.Store().SaveTask(t.Name, settings, {{examples, "48,213"}, {examples + "/README", "1,024"}},
                                           appcore::Today());
      if (!row.Ok()) qFatal("%s", row.Err().Message.c_str());
      schedule.TaskSaved(row.Value(), false);
    }
    return schedule;
  }
  QWidget* Schedule() {
    app::TScheduleForm& schedule = ScheduleWithTasks();
    schedule.show();
    return &schedule;
  }
  QWidget* TaskDialog(bool edit) {
    app::TScheduleForm& schedule = ScheduleWithTasks();
    schedule.show();
    auto* list = schedule.findChild<QTreeWidget*>(QStringLiteral("ltvTask"));
    list->setCurrentItem(list->topLevelItem(1));
    if (edit) {
      schedule.btnEditClick();
    } else {
      schedule.btnAddClick();
      schedule.TaskDialog().findChild<QLineEdit*>(QStringLiteral("edtTaskName"))->setText(QStringLiteral("Music"));
    }
    return &schedule.TaskDialog();
  }
  // A scheduled run through the burn dialog, shown as the options ask, at
  // its end: the task's name as the label, the log of the run.
  QWidget* ScheduleRun() {
    app::TScheduleForm& schedule = ScheduleWithTasks();
    schedule.hide();
    const std::string disc = QDir(Folder).filePath(QStringLiteral("schedule-run.zvd")).toStdString();
    QFile::remove(QString::fromStdString(disc));
    if (!vdrive::TDiscFile::Create(disc, vdrive::BlankDisc(vdrive::TMedia::DvdPlusR, 30000))) qFatal("no disc");
    platform::SetEnvironment("ZANTIC_VDRIVE_TIMESCALE", "0.01");
    vdrive::RegisterVirtualRecorderFor(disc);
    app::TForm1& main = Program.MainForm();
    engine::TKavoBurner& burner = main.Burner();
    burner.WaitForOperation();
    device::FinalizeTransport();
    if (!burner.InitASPI(true, "")) qFatal("no drive layer");
    appcore::Options& o = Values();
    o.Drive = disc;
    o.DisplayWindow = true;
    o.HideWindow = false;
    o.CloseDisc = false;
    auto* list = schedule.findChild<QTreeWidget*>(QStringLiteral("ltvTask"));
    list->setCurrentItem(list->topLevelItem(0));
    schedule.btnRunClick();
    WaitUntil([&] { return !schedule.Running(); }, 60000);
    if (schedule.Running()) qFatal("the scheduled run did not end");
    const QString done = QString::fromUtf8(app::schedule_texts::kRunDone).arg(list->topLevelItem(0)->text(0));
    if (schedule.RunStatus() != done) qFatal("the scheduled run did not burn: %s", qPrintable(schedule.RunStatus()));
    return &main.BurningForm();
  }
  // The burn dialog set up for `mode`, before Start.
  QWidget* Burning(const char* mode) {
    app::TBurningForm& dialog = Program.MainForm().BurningForm();
    dialog.Setup(QLatin1String(mode));
    dialog.show();
    return &dialog;
  }
  // The progress view as a burn leaves it: the log of a run, then its end.
  QWidget* BurningEnded(const char* error) {
    app::TForm1& main = Program.MainForm();
    app::TBurningForm& dialog = main.BurningForm();
    dialog.Setup(QStringLiteral("Burn"));
    for (QWidget* w : {static_cast<QWidget*>(dialog.gpbPreference), static_cast<QWidget*>(dialog.gpbOption),
                       static_cast<QWidget*>(dialog.btnCancel)})
      w->hide();
    dialog.gpbProgress->setTitle(QStringLiteral("Progress and Log - Burning ") + dialog.edtLabel->text());
    dialog.gpbProgress->show();
    dialog.memo1->clear();
    main.AddLogLine(QStringLiteral(">>> ") + main.windowTitle(), QColor(0, 0, 128));
    main.AddLogLine(QStringLiteral(">>> Zantic - burns CD and DVD discs"), QColor(0, 0, 128));
    main.AddLogLine(QStringLiteral(">>> 10:00:00 Drive is ready."), QColor(0, 128, 0));
    main.AddLogLine(QStringLiteral(">>> 10:00:01 Start burning CD(DVD) on ZANTIC  VIRTUAL RECORDER"), QColor(0, 0, 255));
    appcore::OperationEnd end;
    static_cast<appcore::JobEnd&>(end) = appcore::MakeJobEnd(error, false, {});
    end.Plan.LogDiscClosing = true;
    main.ShowOperationEnd(end);
    dialog.show();
    return &dialog;
  }
  QWidget* OptionsPage(app::TOptionForm::Page page) {
    Options().ShowPage(page);
    Options().show();
    return &Options();
  }
};

// No window may ask anything while the pictures are taken: a message is
// printed and counted, and the default answer keeps the run going.
struct NoDialogs final : ui::Dialogs {
  int Messages = 0;
  ui::Button Message(QWidget*, const QString& caption, const QString& text, ui::MessageIcon, ui::Buttons,
                     ui::Button defaultButton) override {
    std::fprintf(stderr, "unexpected message: %s: %s\n", qPrintable(caption), qPrintable(text));
    ++Messages;
    return defaultButton;
  }
  QString OpenFileName(QWidget*, const QString&, const QString&, const QString&) override { return {}; }
  QStringList OpenFileNames(QWidget*, const QString&, const QString&, const QString&) override { return {}; }
  QString SaveFileName(QWidget*, const QString&, const QString&, const QString&) override { return {}; }
  QString ExistingDirectory(QWidget*, const QString&, const QString&) override { return {}; }
  QColor Color(QWidget*, const QColor&, const QString&) override { return {}; }
  bool TextInput(QWidget*, const QString&, const QString&, const QString&, QString&) override { return false; }
};

struct Shot {
  const char* Name;
  std::function<QWidget*(Screens&)> Show;  // returns the window to grab, shown
};

std::vector<Shot> Shots() {
  using Page = app::TOptionForm::Page;
  return {
      {"start-color", [](Screens& s) { s.UseSkin("devoir"); return s.Start(true, false, false); }},
      {"start-gradient", [](Screens& s) { return s.Start(false, true, false); }},
      {"start-image", [](Screens& s) { return s.Start(false, false, true); }},
      {"main-task", [](Screens& s) { return s.MainWithTask(); }},
      {"burn-mode-burn", [](Screens& s) { return s.Burning("Burn"); }},
      {"burn-mode-buildiso", [](Screens& s) { return s.Burning("BuildISO"); }},
      {"burn-mode-burniso", [](Screens& s) { return s.Burning("BurnISO"); }},
      {"burn-mode-copy", [](Screens& s) { return s.Burning("Copy"); }},
      {"burn-log-success", [](Screens& s) { return s.BurningEnded(""); }},
      {"burn-log-error", [](Screens& s) { return s.BurningEnded("WRITE ERROR"); }},
      {"about", [](Screens& s) { return s.About(); }},
      {"options-general", [](Screens& s) { return s.OptionsPage(Page::General); }},
      {"options-burning", [](Screens& s) { return s.OptionsPage(Page::Burning); }},
      {"options-schedule", [](Screens& s) { return s.OptionsPage(Page::Schedule); }},
      {"options-sound", [](Screens& s) { return s.OptionsPage(Page::Sound); }},
      {"options-interface", [](Screens& s) { return s.OptionsPage(Page::Interface); }},
      {"skin-nocturne-main-task", [](Screens& s) { s.UseSkin("nocturne"); return s.MainWithTask(); }},
      {"skin-nocturne-about", [](Screens& s) { return s.About(); }},
      {"skin-nocturne-options-general", [](Screens& s) { return s.OptionsPage(Page::General); }},
      {"skin-nocturne-options-sound", [](Screens& s) { return s.OptionsPage(Page::Sound); }},
      {"skin-nocturne-options-interface", [](Screens& s) { return s.OptionsPage(Page::Interface); }},
      {"skin-none-main-task", [](Screens& s) { s.UseSkin("None"); return s.MainWithTask(); }},
      {"skin-none-options-schedule", [](Screens& s) { return s.OptionsPage(Page::Schedule); }},
      {"capabilities", [](Screens& s) { return s.Capabilities(); }},
      {"sessions", [](Screens& s) { return s.Sessions(); }},
      {"disc-layout", [](Screens& s) { return s.Layout(); }},
      {"tree", [](Screens& s) { return s.Tree(); }},
      {"help", [](Screens& s) { return s.Help(); }},
      {"burn-running", [](Screens& s) { return s.BurningRunning(); }},
      {"burn-bd-spare", [](Screens& s) { return s.BurningBdSpare(); }},
      {"erase-ready", [](Screens& s) { s.UseSkin("devoir"); return &s.EraseDialog("erase-ready.zvd", 2000); }},
      {"erase-running", [](Screens& s) { return s.EraseRunning(); }},
      {"erase-done", [](Screens& s) { return s.EraseDone(); }},
      {"tips", [](Screens& s) { return s.Tips(); }},
      {"version-newer", [](Screens& s) {
         return s.VersionMessage(QString::fromStdString(appcore::NewerVersionMessage("Zantic", "4.0")), true);
       }},
      {"version-latest", [](Screens& s) { return s.VersionMessage(QStringLiteral("The current version is the latest version."), false); }},
      {"version-failed", [](Screens& s) {
         return s.VersionMessage(QStringLiteral("Checking the latest version failed,please check your network."), false);
       }},
      {"schedule", [](Screens& s) { s.UseSkin("devoir"); return s.Schedule(); }},
      {"schedule-add-task", [](Screens& s) { return s.TaskDialog(false); }},
      {"schedule-edit-task", [](Screens& s) { return s.TaskDialog(true); }},
      {"schedule-run-shown", [](Screens& s) { return s.ScheduleRun(); }},
  };
}

// Captions that do not fit: a visible button or one-line label narrower than
// its text needs.
QStringList CutOff(QWidget* window) {
  QStringList found;
  for (QWidget* w : window->findChildren<QWidget*>()) {
    if (!w->isVisible()) continue;
    QString text;
    if (auto* b = qobject_cast<QAbstractButton*>(w))
      text = b->text();
    else if (auto* l = qobject_cast<QLabel*>(w); l != nullptr && !l->wordWrap())
      text = l->text();
    else if (auto* g = qobject_cast<QGroupBox*>(w))
      text = g->title();
    if (text.isEmpty()) continue;
    if (w->width() < w->minimumSizeHint().width() || w->height() < w->minimumSizeHint().height())
      found << QStringLiteral("%1 \"%2\" is %3x%4, needs %5x%6")
                   .arg(w->objectName(), text)
                   .arg(w->width())
                   .arg(w->height())
                   .arg(w->minimumSizeHint().width())
                   .arg(w->minimumSizeHint().height());
  }
  return found;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: zantic-screens <folder>\n");
    return 2;
  }
  const QDir out(QString::fromLocal8Bit(argv[1]));
  if (!QDir().mkpath(out.path())) {
    std::fprintf(stderr, "zantic-screens: cannot make %s\n", argv[1]);
    return 1;
  }
  NoDialogs dialogs;
  ui::SetDialogs(&dialogs);
  Screens screens;
  int failures = 0;
  for (const Shot& shot : Shots()) {
    QWidget* window = shot.Show(screens);
    if (!QTest::qWaitForWindowExposed(window, 5000)) std::fprintf(stderr, "%s: window not exposed\n", shot.Name);
    // A picture, not a check on timing: the style's animations and late
    // layouts come to rest, which nothing signals.
    QTest::qWait(150);
    const QString file = out.filePath(QLatin1String(shot.Name) + QStringLiteral(".png"));
    if (!window->grab().save(file, "PNG")) {
      std::fprintf(stderr, "%s: cannot save %s\n", shot.Name, qPrintable(file));
      ++failures;
    }
    for (const QString& problem : CutOff(window)) {
      std::fprintf(stderr, "%s: cut off: %s\n", shot.Name, qPrintable(problem));
      ++failures;
    }
    std::printf("%s\n", qPrintable(file));
    // The erase dialog holds the drive until it is closed, as a person
    // closes it; hidden, it would keep every later job waiting.
    if (auto* erase = qobject_cast<app::TEraseForm*>(window))
      erase->close();
    else
      window->hide();
  }
  failures += dialogs.Messages;
  ui::SetDialogs(nullptr);
  return failures == 0 ? 0 : 1;
}
