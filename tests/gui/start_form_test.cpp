// The start window and start-up: creation order, version text, "-Schedule",
// the job buttons, closing with and without scheduled tasks, the about box.
#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>

#include "app/about_form.h"
#include "app/main_form.h"
#include "app/program.h"
#include "app/start_form.h"
#include "appcore/options.h"
#include "gui/scripted_dialogs.h"
#include "ui/qt_dialogs.h"
#include "ui/size_bar.h"

using app::Program;

class StartFormTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir FDir;
  void WriteFile(const QString& name, const QByteArray& content) {
    QFile file(FDir.filePath(name));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
  }

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
    QCOMPARE(program.CreationOrder(), (QStringList{"TStartForm", "TForm1", "TOptionForm"}));
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
};

QTEST_MAIN(StartFormTest)
#include "start_form_test.moc"
