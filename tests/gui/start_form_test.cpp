// The start window and start-up: creation order, version text, "-Schedule",
// the job buttons, closing with and without scheduled tasks, the about box,
// and the options window beside the burn dialog whose boxes it mirrors.
#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QPushButton>
#include <QApplication>
#include <QDesktopServices>
#include <QFile>
#include <QLabel>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>

#include "app/about_form.h"
#include "app/burning_form.h"
#include "app/main_form.h"
#include "app/option_form.h"
#include "app/program.h"
#include "app/schedule_form.h"
#include "app/start_form.h"
#include "appcore/options.h"
#include "appcore/schedule.h"
#include "engine/kavo_burner.h"
#include "gui/gui_helpers.h"
#include "gui/scripted_dialogs.h"
#include "ui/qt_dialogs.h"
#include "ui/size_bar.h"

using app::Program;

class StartFormTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir FDir;
  QList<QUrl> FOpened;
  void WriteFile(const QString& name, const QByteArray& content) {
    QFile file(FDir.filePath(name));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
  }

 public slots:
  // The desktop's handler for web addresses, replaced while a test runs.
  void Opened(const QUrl& url) { FOpened << url; }

 private slots:
  void initTestCase() { ui::InitArtwork(); }
  void init() {
    QVERIFY(FDir.isValid());
    QFile::remove(FDir.filePath("Option.ini"));
    QDir(FDir.filePath("Schedule")).removeRecursively();
  }

  void createsWindowsInOrderAndShowsVersion() {
    WriteFile("Option.ini", "[General]\r\nVersion=4.25\r\n");
    Program program(FDir.path(), {});
    QCOMPARE(program.CreationOrder(), (QStringList{"TStartForm", "TForm1", "TScheduleForm", "TOptionForm"}));
    app::TStartForm& start = program.StartForm();
    QCOMPARE(start.VersionText(), QString("4.25"));
    QCOMPARE(start.VersionNumber(), 4.25);
    QCOMPARE(start.findChild<QLabel*>("labVersion")->text(), QString("V4.25"));
    QCOMPARE(program.MainForm().windowTitle(), QString("Zantic V4.25"));
    QCOMPARE(start.size(), QSize(522, 414));
    QVERIFY(start.windowFlags() & Qt::FramelessWindowHint);
  }

  void missingOrBadVersionFallsBack() {
    {
      Program program(FDir.path(), {});
      QCOMPARE(program.StartForm().VersionText(), QString("3.9"));
      QCOMPARE(program.StartForm().VersionNumber(), 3.9);
    }
    WriteFile("Option.ini", "[General]\r\nVersion=beta\r\n");
    Program program(FDir.path(), {});
    QCOMPARE(program.StartForm().VersionText(), QString("beta"));
    QCOMPARE(program.StartForm().VersionNumber(), 3.9);
  }

  void scheduleArgumentMustBeFirstAndExact_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("tray");
    QTest::newRow("first") << QStringList{"-Schedule"} << true;
    QTest::newRow("first of two") << QStringList{"-Schedule", "x"} << true;
    QTest::newRow("second") << QStringList{"x", "-Schedule"} << false;
    QTest::newRow("lower case") << QStringList{"-schedule"} << false;
    QTest::newRow("none") << QStringList{} << false;
  }
  void scheduleArgumentMustBeFirstAndExact() {
    QFETCH(QStringList, arguments);
    QFETCH(bool, tray);
    std::vector<std::string> args;
    for (const QString& a : arguments) args.push_back(a.toStdString());
    Program program(FDir.path(), args);
    program.Start();
    QCOMPARE(program.StartForm().TrayActive(), tray);
    if (!tray) {
      QVERIFY(program.StartForm().isVisible());
      QVERIFY(!program.StartForm().isMinimized());
    } else if (!app::TStartForm::TrayAvailable()) {
      // Without a tray the window waits minimised on the taskbar.
      QVERIFY(program.StartForm().isMinimized());
    } else {
      QVERIFY(!program.StartForm().isVisible());
    }
  }

  // btnBurn and btnISO show the main window with their toolbar after the
  // drive toolbar and the help toolbar after it; closing the main window
  // brings the start window back.
  void jobButtonsShowMainWindowWithTheirToolbar_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("hidden");
    QTest::newRow("burn") << "btnBurn" << "tbBurn" << "tbISO";
    QTest::newRow("iso") << "btnISO" << "tbISO" << "tbBurn";
  }
  void jobButtonsShowMainWindowWithTheirToolbar() {
    QFETCH(QString, button);
    QFETCH(QString, shown);
    QFETCH(QString, hidden);
    guitest::ScriptedDialogs dialogs;
    Program program(FDir.path(), {});
    program.Start();
    app::TForm1& form = program.MainForm();
    // An unsaved task is offered for saving by the New the job runs.
    form.CustomItem7Click();
    dialogs.Answers = {ui::No};
    QTest::mouseClick(program.StartForm().findChild<QAbstractButton*>(button), Qt::LeftButton);
    QVERIFY(!program.StartForm().isVisible());
    QVERIFY(form.isVisible());
    QCOMPARE(dialogs.MessageTexts(), QStringList{"The task has been changed, save it?"});
    QVERIFY(!form.Modified());
    QCoreApplication::sendPostedEvents();  // the toolbars' layout
    auto* drive = form.findChild<QToolBar*>("tbDrive");
    auto* job = form.findChild<QToolBar*>(shown);
    auto* help = form.findChild<QToolBar*>("tbHelp");
    QVERIFY(job->isVisible());
    QVERIFY(!form.findChild<QToolBar*>(hidden)->isVisible());
    QCOMPARE(job->y(), drive->y());
    QVERIFY(drive->x() < job->x());
    QVERIFY(job->x() < help->x());
    form.close();
    QVERIFY(!form.isVisible());
    QVERIFY(program.StartForm().isVisible());
    QVERIFY(!program.Ended());
  }

  void copyButtonOpensTheCopyDialogWithoutTheMainWindow() {
    guitest::ScriptedDialogs dialogs;
    Program program(FDir.path(), {});
    program.StartForm().show();
    QTest::mouseClick(program.StartForm().findChild<QAbstractButton*>("btnClone"), Qt::LeftButton);
    app::TBurningForm& dialog = program.MainForm().BurningForm();
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Make a copy of the disc"));
    QVERIFY(!dialog.ReturnToMain());
    QVERIFY(!program.MainForm().isVisible());
    dialog.close();
    QVERIFY(!dialog.isVisible());
    QVERIFY(!program.MainForm().isVisible());
    QVERIFY(program.StartForm().isVisible());
  }

  void closingWithoutTasksEndsTheProgram() {
    Program program(FDir.path(), {});
    bool ended = false;
    program.OnEnd = [&] { ended = true; };
    program.Start();
    QTest::mouseClick(program.StartForm().findChild<QAbstractButton*>("btnClose"), Qt::LeftButton);
    QVERIFY(ended);
    QVERIFY(!program.StartForm().isVisible());
  }

  void closingWithScheduledTaskKeepsProgramInTray() {
    const appcore::ScheduleStore store(FDir.path().toStdString());
    auto task = store.SaveTask("Nightly", appcore::TaskSettings{}, {}, appcore::Today());
    QVERIFY(task.Ok());
    QVERIFY(store.SaveList({task.Value()}).Ok());
    Program program(FDir.path(), {});
    bool ended = false;
    program.OnEnd = [&] { ended = true; };
    program.Start();
    QVERIFY(program.HasScheduledTasks());
    program.StartForm().close();  // the window manager's close is the button
    QVERIFY(!ended);
    QVERIFY(program.StartForm().TrayActive());
    if (app::TStartForm::TrayAvailable())
      QVERIFY(!program.StartForm().isVisible());
    else
      QVERIFY(program.StartForm().isMinimized());
    // The tray menu's Exit ends it.
    program.StartForm().findChild<QAction*>("mnuExit")->trigger();
    QVERIFY(ended);
    QVERIFY(!program.StartForm().TrayActive());
  }

  // Exit from the tray with an unsaved task: Cancel keeps the program.
  void exitHonoursCancelOnTheSaveQuestion() {
    guitest::ScriptedDialogs dialogs;
    Program program(FDir.path(), {});
    bool ended = false;
    program.OnEnd = [&] { ended = true; };
    program.Start();
    program.MainForm().CustomItem7Click();
    dialogs.Answers = {ui::Cancel, ui::No};
    program.Exit();
    QVERIFY(!ended);
    QVERIFY(program.MainForm().isVisible());
    program.Exit();
    QVERIFY(ended);
  }

  void backgroundFollowsTheOptions() {
    Program program(FDir.path(), {});
    app::TStartForm& start = program.StartForm();
    const auto pixel = [&](int x, int y) { return start.grab().toImage().pixelColor(x, y); };
    appcore::Options options;
    options.BkColor = 0x00336699;  // 0x00BBGGRR
    QVERIFY(start.ApplyBackground(options).isEmpty());
    QCOMPARE(pixel(5, 200), QColor(0x99, 0x66, 0x33));

    options.BackgroundColor = false;
    options.BackgroundGradient = true;
    options.BkStartColor = 0x000000FF;
    options.BkEndColor = 0x00FF0000;
    QVERIFY(start.ApplyBackground(options).isEmpty());
    QVERIFY(pixel(5, 2).red() > 240 && pixel(5, 2).blue() < 15);
    QVERIFY(pixel(5, 411).blue() > 240 && pixel(5, 411).red() < 15);

    QImage picture(10, 10, QImage::Format_RGB32);
    picture.fill(QColor(0, 200, 0));
    const QString bmp = FDir.filePath("back.bmp");
    QVERIFY(picture.save(bmp, "BMP"));
    options.BackgroundGradient = false;
    options.BackgroundImage = true;
    options.BkImage = bmp.toStdString();
    QVERIFY(start.ApplyBackground(options).isEmpty());
    QCOMPARE(pixel(5, 200), QColor(0, 200, 0));

    // A picture that cannot be loaded is named, and the window keeps its fill.
    options.BkImage = FDir.filePath("gone.bmp").toStdString();
    const QString error = start.ApplyBackground(options);
    QVERIFY(error.contains("gone.bmp"));
    QCOMPARE(pixel(5, 200), QColor(0, 200, 0));
  }

  void aboutBoxShowsVersion() {
    WriteFile("Option.ini", "[General]\r\nVersion=5.1\r\n");
    Program program(FDir.path(), {});
    app::TForm1& form = program.MainForm();
    form.show();
    guitest::Click(form, "btnAbout");
    auto* about = form.findChild<app::TAboutForm*>("TAboutForm");
    QVERIFY(about != nullptr);
    QVERIFY(about->isVisible());
    QVERIFY(!about->isModal());
    QCOMPARE(about->windowTitle(), QString("About"));
    QCOMPARE(about->findChild<QLabel*>("LabVersion")->text(), QString("Version 5.1"));
    QCOMPARE(about->findChild<QLabel*>("Label2")->text(), QString("Windows95/98/ME/2000/NT/XP/2003"));
    QTest::mouseClick(about->findChild<QAbstractButton*>("btnOK"), Qt::LeftButton);
    QVERIFY(!about->isVisible());
    // Asked for again, the same box shows.
    guitest::Click(form, "btnAbout");
    QCOMPARE(form.findChildren<app::TAboutForm*>().size(), 1);
  }

  // The Homepage item and the start window's label open the "WebSite"
  // setting; anything but a web address falls back to our own page.
  void theHomePageIsTheWebSiteSetting() {
    QDesktopServices::setUrlHandler("http", this, "Opened");
    QDesktopServices::setUrlHandler("https", this, "Opened");
    QDesktopServices::setUrlHandler("file", this, "Opened");
    FOpened.clear();
    WriteFile("Option.ini", "[General]\r\nWebSite=https://backup.example.org:8443/zantic/\r\n");
    {
      Program program(FDir.path(), {});
      auto* label = program.StartForm().findChild<QLabel*>("labHomepage");
      QCOMPARE(label->text(), QString("backup.example.org:8443/zantic"));
      QTest::mouseClick(label, Qt::LeftButton);
      program.MainForm().findChild<QAction*>("mnuHomepage")->trigger();
      QCOMPARE(FOpened, (QList<QUrl>{QUrl("https://backup.example.org:8443/zantic/"),
                                     QUrl("https://backup.example.org:8443/zantic/")}));
      // A setting changed while the program runs is used at the next click.
      program.MainForm().Options().WebSite = "http://mirror.example.net";
      program.MainForm().findChild<QAction*>("mnuHomepage")->trigger();
      QCOMPARE(FOpened.last(), QUrl("http://mirror.example.net/"));
    }
    for (const QByteArray& bad : {QByteArray("file:///etc/passwd"), QByteArray("javascript:alert(1)"), QByteArray("")}) {
      FOpened.clear();
      WriteFile("Option.ini", "[General]\r\nWebSite=" + bad + "\r\n");
      Program program(FDir.path(), {});
      auto* label = program.StartForm().findChild<QLabel*>("labHomepage");
      QCOMPARE(label->text(), QString("www.zantic.example"));
      program.MainForm().findChild<QAction*>("mnuHomepage")->trigger();
      QCOMPARE(FOpened, QList<QUrl>{QUrl("http://www.zantic.example/")});
    }
    for (const char* scheme : {"http", "https", "file"}) QDesktopServices::unsetUrlHandler(scheme);
  }

  // Backup opens the schedule list; Help opens the manual's first page.
  void backupAndHelpButtonsOpenTheirWindows() {
    guitest::ScriptedDialogs dialogs;
    Program program(FDir.path(), {});
    program.Start();
    QTest::mouseClick(program.StartForm().findChild<QAbstractButton*>("btnBackup"), Qt::LeftButton);
    QVERIFY(program.ScheduleForm().isVisible());
    QTest::mouseClick(program.StartForm().findChild<QAbstractButton*>("btnHelp"), Qt::LeftButton);
    QWidget* manual = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->objectName() == QLatin1String("frmHelp") && w->isVisible()) manual = w;
    QVERIFY(manual != nullptr);
    manual->close();
    QVERIFY(dialogs.Log.empty());
  }

  // The options window opened from the burn dialog's Advance: OK does not
  // undo a box ticked in the dialog meanwhile, and Cancel applies nothing
  // that only OK applies.
  void burnDialogBoxesAndOptionsWindowAgree() {
    guitest::ScriptedDialogs dialogs;
    qputenv("XDG_CONFIG_HOME", FDir.filePath("config").toUtf8());
    Program program(FDir.path(), {});
    app::TBurningForm& dialog = program.MainForm().BurningForm();
    app::TOptionForm& options = program.OptionForm();
    dialog.Setup("Burn");
    dialog.show();
    QTest::mouseClick(dialog.btnAdvance, Qt::LeftButton);
    dialog.cTestWrite->setChecked(true);
    QTest::mouseClick(options.findChild<QAbstractButton*>("btnOK"), Qt::LeftButton);
    QVERIFY(program.MainForm().Burner().TestWrite());
    QVERIFY(dialog.cTestWrite->isChecked());

    options.show();
    dialog.cCloseDisc->setChecked(false);
    options.findChild<QCheckBox*>("cQuickSaveISO")->setChecked(true);
    QTest::mouseClick(options.findChild<QAbstractButton*>("btnCancel"), Qt::LeftButton);
    QVERIFY(!program.MainForm().Options().CloseDisc);
    dialog.Setup("BuildISO");
    QVERIFY(!dialog.chkQuick->isChecked());
  }

  // Controls without a caption say what they are.
  void everyControlIsNamedForAssistiveTools() {
    Program program(FDir.path(), {});
    for (QWidget* window : {static_cast<QWidget*>(&program.StartForm()), static_cast<QWidget*>(&program.MainForm())}) {
      for (QAbstractButton* button : window->findChildren<QAbstractButton*>()) {
        if (button->objectName().isEmpty() || button->objectName().startsWith("qt_")) continue;
        QVERIFY2(!button->accessibleName().isEmpty() || !button->text().isEmpty(), qPrintable(button->objectName()));
      }
      for (const char* name : {"trvDir", "clbox", "Dirlist", "lbFiles", "ProgressBar1"}) {
        if (window != &program.MainForm()) break;
        QVERIFY2(!window->findChild<QWidget*>(name)->accessibleName().isEmpty(), name);
      }
    }
  }
};

QTEST_MAIN(StartFormTest)
#include "start_form_test.moc"
