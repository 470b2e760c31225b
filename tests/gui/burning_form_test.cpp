// The burn dialog end to end on virtual recorders: a task burned from the
// windows and read back by xorriso, an image built and burned, the wait for
// a disc answered Retry and Cancel, a refused close, an abort, the autorun
// file, the speed list and the log's files.
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPrinter>
#include <QProgressBar>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <cstdio>
#include <future>
#include <memory>

#include "app/burning_form.h"
#include "app/burning_texts.h"
#include "app/main_form.h"
#include "appcore/task_tree.h"
#include "cli/vdisc.h"
#include "engine/kavo_burner.h"
#include "gui/gui_helpers.h"
#include "gui/host_tool.h"
#include "gui/scripted_dialogs.h"
#include "platform/process.h"
#include "vdrive/drive.h"
#include "vdrive/registration.h"

namespace {

const QColor kGreen(0, 128, 0);
const QColor kBlue(0, 0, 255);
const QColor kRed(255, 0, 0);

int Vdisc(const std::vector<std::string>& args) { return cli::RunVdisc(args, stdout, stderr); }

QByteArray ReadAll(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void Write(const QString& path, const QByteArray& bytes) {
  QDir().mkpath(QFileInfo(path).path());
  QFile f(path);
  QVERIFY(f.open(QIODevice::WriteOnly));
  f.write(bytes);
}

// Every file below `root`, relative path -> contents.
std::map<QString, QByteArray> Files(const QString& root) {
  std::map<QString, QByteArray> files;
  QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
  while (it.hasNext()) {
    const QString path = it.next();
    files[QDir(root).relativeFilePath(path)] = ReadAll(path);
  }
  return files;
}

// xorriso's reading of an image (or an exported disc), extracted to `out`.
bool Extract(const QString& iso, const QString& out) {
  const guitest::HostToolRun x = guitest::RunHostTool(
      QStringLiteral("xorriso"),
      {QStringLiteral("-osirrox"), QStringLiteral("on"), QStringLiteral("-indev"), guitest::HostPath(iso),
       QStringLiteral("-extract"), QStringLiteral("/"), guitest::HostPath(out)},
      60000);
  return x.Finished && x.ExitCode == 0;
}

// The primary volume descriptor's label, as isoinfo reads it.
QString VolumeId(const QString& iso) {
  const guitest::HostToolRun p = guitest::RunHostTool(
      QStringLiteral("isoinfo"), {QStringLiteral("-d"), QStringLiteral("-i"), guitest::HostPath(iso)}, 30000);
  if (!p.Finished) return {};
  for (const QString& line : QString::fromUtf8(p.Output).split(QLatin1Char('\n')))
    if (line.startsWith(QStringLiteral("Volume id:"))) return line.mid(10).trimmed();
  return {};
}

QColor LineColour(const QTextEdit& memo, const QString& containing) {
  for (QTextBlock b = memo.document()->begin(); b.isValid(); b = b.next())
    if (b.text().contains(containing))
      for (auto it = b.begin(); !it.atEnd(); ++it) return it.fragment().charFormat().foreground().color();
  return {};
}

}  // namespace

class BurningFormTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir FDir;
  QString FProgram, FSource;
  std::map<QString, QString> FDevices;  // disc name -> device description
  std::unique_ptr<app::TForm1> FForm;
  guitest::ScriptedDialogs FDialogs;

  QString Disc(const QString& name) const { return FDir.filePath(name + QStringLiteral(".zvd")); }
  app::TBurningForm& Dialog() { return FForm->BurningForm(); }

  // As a person does: the drive box. The choice waits behind the jobs
  // still queued for the drive before (the last test's eject).
  void SelectDrive(const QString& disc) {
    const std::string id = FDevices.at(disc).toStdString();
    auto* drives = FForm->findChild<QComboBox*>(QStringLiteral("cbDrives"));
    QVERIFY(drives != nullptr);
    const int at = drives->findText(QString::fromStdString(id));
    QVERIFY(at >= 0);
    drives->setCurrentIndex(at);
    QCOMPARE(FForm->NextJobDevice(), id);
    QTRY_VERIFY_WITH_TIMEOUT(FForm->DriveJobsIdle() && FForm->Burner().DeviceId() == id, 10000);
  }

  void OpenTask(const QString& name) {
    appcore::TaskTree task = appcore::NewTask(name.toStdString());
    task.Root->AddItem((FSource + QStringLiteral("/Übung")).toStdString(), "1");
    task.Root->AddItem((FSource + QStringLiteral("/top.txt")).toStdString(), "1");
    appcore::TaskNode& made = task.Root->AddFolder("Made Here");
    made.AddItem((FSource + QStringLiteral("/Übung/tief/日本語.txt")).toStdString(), "1");
    const QString path = FDir.filePath(QStringLiteral("task.mvt"));
    QVERIFY(appcore::WriteTaskFile(path.toStdString(), *task.Root).Ok());
    FForm->OpenTaskFile(path);
    QVERIFY(guitest::WaitIdle(*FForm));
  }

  // The sources as the burned disc must hold them.
  std::map<QString, QByteArray> Expected() {
    std::map<QString, QByteArray> e;
    for (const auto& [path, bytes] : Files(FSource + QStringLiteral("/Übung"))) e[QStringLiteral("Übung/") + path] = bytes;
    e[QStringLiteral("top.txt")] = ReadAll(FSource + QStringLiteral("/top.txt"));
    e[QStringLiteral("Made Here/日本語.txt")] = ReadAll(FSource + QStringLiteral("/Übung/tief/日本語.txt"));
    return e;
  }

  // The end of the operation: the dialog's last button comes on.
  void WaitForEnd() {
    app::TBurningForm& d = Dialog();
    const bool ended = QTest::qWaitFor([&d] { return d.btnEject->isEnabled(); }, 60000);
    QVERIFY2(ended, qPrintable(d.LogLines().join('\n') + "\n" + FDialogs.MessageTexts().join('\n')));
    QVERIFY(!FForm->Timer1Active());
  }

  void StartAndWaitForEnd() {
    app::TBurningForm& d = Dialog();
    QTRY_VERIFY_WITH_TIMEOUT(!d.SpeedListFilling() && d.cbspeed->count() > 0, 10000);
    QTest::mouseClick(d.btnStartBurn, Qt::LeftButton);
    WaitForEnd();
  }

 private slots:
  void initTestCase() {
    QVERIFY(FDir.isValid());
    FProgram = FDir.filePath(QStringLiteral("program"));
    FSource = FDir.filePath(QStringLiteral("source"));
    QDir().mkpath(FProgram);
    Write(FSource + QStringLiteral("/top.txt"), "top level\n");
    Write(FSource + QStringLiteral("/Übung/a.bin"), QByteArray(300000, 'a'));
    Write(FSource + QStringLiteral("/Übung/tief/日本語.txt"), "nested, not ASCII\n");
    Write(FSource + QStringLiteral("/Übung/tief/tiefer/leer.dat"), QByteArray());
    Write(FSource + QStringLiteral("/Übung/tief/tiefer/z.bin"), QByteArray(70000, 'z'));
    QStringList discs;
    for (const char* name : {"burn", "iso", "notready", "refuse", "abort", "copyto", "spare", "cdr"}) {
      const QString disc = Disc(QString::fromUtf8(name));
      // A DVD+R knows no test write; a CD-R does.
      const std::string media = std::string(name) == "cdr" ? "cd-r" : "dvd+r";
      QCOMPARE(Vdisc({"create", disc.toStdString(), "--media", media, "--blocks", "40000"}), 0);
      discs << disc;
    }
    // A small BD-R formatted with spare areas, as a drive formats it by default.
    discs << Disc(QStringLiteral("bdspare"));
    QCOMPARE(Vdisc({"create", discs.last().toStdString(), "--media", "bd-r", "--blocks", "40000", "--spare-areas"}), 0);
    platform::SetEnvironment("ZANTIC_VDISC", discs.join(QLatin1Char(platform::kPathListSeparator)).toStdString());
    vdrive::RegisterVirtualRecorders();
    ui::SetDialogs(&FDialogs);
    FForm = std::make_unique<app::TForm1>(FProgram, QStringLiteral("3.9"));
    engine::TKavoBurner& b = FForm->Burner();
    QVERIFY(b.ASPIInitialized() || b.InitASPI(true, ""));
    for (const std::string& id : b.DeviceList()) {
      b.SelectDevice(id);
      const QString where = QString::fromStdString(b.DriveLocation());
      for (const QString& disc : discs)
        if (where == disc) FDevices[QFileInfo(disc).baseName()] = QString::fromStdString(id);
    }
    QCOMPARE(FDevices.size(), std::size_t(9));
    QSignalSpy scanned(FForm.get(), &app::TForm1::DriveScanFinished);
    FForm->StartDriveScan();
    QVERIFY(scanned.wait(20000));
    FForm->Options().EjectDone = false;
  }

  void cleanupTestCase() {
    FForm.reset();
    ui::SetDialogs(nullptr);
    vdrive::UnregisterVirtualRecorders();
  }

  void burnsATaskThatReadsBackByteIdentical() {
    SelectDrive(QStringLiteral("burn"));
    OpenTask(QStringLiteral("Täglich"));
    FForm->bBurnClick();
    app::TBurningForm& d = Dialog();
    QTRY_VERIFY_WITH_TIMEOUT(d.isVisible(), 10000);
    QCOMPARE(d.windowTitle(), QStringLiteral("Burn a disc"));
    QCOMPARE(d.edtLabel->text(), QStringLiteral("Täglich"));
    QVERIFY(d.ReturnToMain());
    StartAndWaitForEnd();
    const QStringList log = d.LogLines();
    QVERIFY2(!log.join('\n').contains(QStringLiteral("with error")), qPrintable(log.join('\n')));
    QCOMPARE(LineColour(*d.memo1, QStringLiteral(" Write/Burn CD(DVD) Process done")), kGreen);
    QCOMPARE(LineColour(*d.memo1, QStringLiteral(" Start burning CD(DVD) on ")), kBlue);
    QCOMPARE(LineColour(*d.memo1, QStringLiteral("Smart-Burn Actived")), kGreen);
    QCOMPARE(LineColour(*d.memo1, QStringLiteral(" Finalizing track...Please wait.")), kBlue);
    QVERIFY(log.contains(QStringLiteral(">>> Smart-Burn Actived")));
    QCOMPARE(d.btnEject->text(), QStringLiteral("Eject && Done"));
    QVERIFY(d.btnAbort->isHidden());
    QCOMPARE(d.labProgress->text(), QStringLiteral("100%"));

    const QString iso = FDir.filePath(QStringLiteral("burn-export.iso"));
    QCOMPARE(Vdisc({"export", Disc(QStringLiteral("burn")).toStdString(), iso.toStdString()}), 0);
    const QString tree = FDir.filePath(QStringLiteral("burn-tree"));
    QVERIFY(Extract(iso, tree));
    std::map<QString, QByteArray> onDisc = Files(tree);
    onDisc.erase(QStringLiteral("~zantic.sha256"));  // the checksum file, on by default
    QCOMPARE(onDisc, Expected());
    QVERIFY(Files(tree).count(QStringLiteral("~zantic.sha256")) == 1);

    // Done closes the dialog and brings the main window back.
    QTest::mouseClick(d.btnEject, Qt::LeftButton);
    QTRY_VERIFY(!d.isVisible());
    QVERIFY(FForm->isVisible());
    QVERIFY(FForm->isEnabled());
  }

  void buildsAnImageWithAutorunAndBurnsIt() {
    FForm->btnBuildISOClick();
    app::TBurningForm& d = Dialog();
    QTRY_VERIFY(d.isVisible());
    QCOMPARE(d.windowTitle(), QStringLiteral("Build .ISO"));
    QVERIFY(d.edtLabel->isHidden());
    // The custom icon is a bitmap: saved as icon.ico and named by autorun.inf.
    const QString exe = FSource + QStringLiteral("/setup.exe");
    Write(exe, "MZ not really\n");
    QImage bitmap(16, 16, QImage::Format_RGB32);
    bitmap.fill(Qt::red);
    const QString bmp = FDir.filePath(QStringLiteral("icon.bmp"));
    QVERIFY(bitmap.save(bmp, "BMP"));
    d.chkAutoRun->setChecked(true);
    d.edtAutoRun->setText(exe);
    d.rdbCustom->setChecked(true);
    d.edtIcon->setText(bmp);
    const QString iso = FDir.filePath(QStringLiteral("built.iso"));
    d.edtISO->setText(iso);
    QTest::mouseClick(d.btnStartBurn, Qt::LeftButton);
    WaitForEnd();
    QVERIFY2(!d.LogLines().join('\n').contains(QStringLiteral("with error")), qPrintable(d.LogLines().join('\n')));
    QCOMPARE(d.btnEject->text(), QStringLiteral("Done"));
    QVERIFY(!d.LogLines().join('\n').contains(QStringLiteral("Disc Closed")));  // an image has no disc to close
    // The generated files are gone from the program folder once written.
    QVERIFY(!QFile::exists(FProgram + QStringLiteral("/temp/autorun.inf")));
    QVERIFY(!QFile::exists(FProgram + QStringLiteral("/temp/icon.ico")));

    const QString tree = FDir.filePath(QStringLiteral("built-tree"));
    QVERIFY(Extract(iso, tree));
    const auto files = Files(tree);
    QCOMPARE(files.at(QStringLiteral("autorun.inf")), QByteArray("[AutoRun]\r\nOPEN=setup.exe\r\nICON=icon.ico\r\n"));
    QCOMPARE(files.at(QStringLiteral("setup.exe")), ReadAll(exe));
    QVERIFY(!QImage::fromData(files.at(QStringLiteral("icon.ico")), "ICO").isNull());
    QCOMPARE(files.at(QStringLiteral("Made Here/日本語.txt")), ReadAll(FSource + QStringLiteral("/Übung/tief/日本語.txt")));
    QTest::mouseClick(d.btnEject, Qt::LeftButton);
    QTRY_VERIFY(!d.isVisible());

    // The image onto a second disc: its sectors are the image's.
    FForm->btnBurnISOClick();
    QTRY_VERIFY(d.isVisible());
    QVERIFY(d.gpbBurnISO->isVisible());
    QVERIFY(!d.gpbPreference->isVisible());
    d.edtSourceISO->setText(iso);
    d.cmbDriveISO->setCurrentIndex(d.cmbDriveISO->findText(FDevices.at(QStringLiteral("iso"))));
    QTest::mouseClick(d.btnStartBurn, Qt::LeftButton);
    WaitForEnd();
    QVERIFY2(!d.LogLines().join('\n').contains(QStringLiteral("with error")), qPrintable(d.LogLines().join('\n')));
    const QString exported = FDir.filePath(QStringLiteral("iso-export.iso"));
    QCOMPARE(Vdisc({"export", Disc(QStringLiteral("iso")).toStdString(), exported.toStdString()}), 0);
    const QByteArray image = ReadAll(iso);
    QVERIFY(ReadAll(exported).startsWith(image));
    QTest::mouseClick(d.btnEject, Qt::LeftButton);
    QTRY_VERIFY(!d.isVisible());
  }

  void autorunNamesTheExecutablesOwnIcon() {
    FForm->btnBuildISOClick();
    app::TBurningForm& d = Dialog();
    QTRY_VERIFY(d.isVisible());
    // Without an auto-run file the choice is refused and falls back to Blank.
    FDialogs.Answers = {ui::Ok};
    d.rdbAutoIcon->setChecked(true);
    QCOMPARE(FDialogs.MessageTexts().last(), QStringLiteral("Please enter Auto-Run Execute File first."));
    QVERIFY(d.rdbBlank->isChecked());
    d.chkAutoRun->setChecked(true);
    const QString exe = FSource + QStringLiteral("/setup.exe");
    d.edtAutoRun->setText(exe);
    d.FirstExeIcon = [](const QString&) {
      QImage icon(32, 32, QImage::Format_ARGB32);
      icon.fill(Qt::blue);
      return icon;
    };
    d.rdbAutoIcon->setChecked(true);
    QVERIFY(d.imgIcon->pixmap().isNull() == false);
    const QString iso = FDir.filePath(QStringLiteral("auto.iso"));
    d.edtISO->setText(iso);
    QTest::mouseClick(d.btnStartBurn, Qt::LeftButton);
    WaitForEnd();
    const QString tree = FDir.filePath(QStringLiteral("auto-tree"));
    QVERIFY(Extract(iso, tree));
    const auto files = Files(tree);
    QCOMPARE(files.at(QStringLiteral("autorun.inf")), QByteArray("[AutoRun]\r\nOPEN=setup.exe\r\nICON=setup.exe, 0\r\n"));
    QCOMPARE(files.count(QStringLiteral("icon.ico")), std::size_t(0));
    QTest::mouseClick(d.btnEject, Qt::LeftButton);
    QTRY_VERIFY(!d.isVisible());

    // Blank and no auto-run file: no autorun.inf at all; a missing image path is asked for first.
    FForm->btnBuildISOClick();
    QTRY_VERIFY(d.isVisible());
    FDialogs.Answers = {ui::Ok};
    QTest::mouseClick(d.btnStartBurn, Qt::LeftButton);
    QTRY_COMPARE(FDialogs.MessageTexts().last(), QStringLiteral("Please enter path and name of the destination .ISO file."));
    QVERIFY(d.gpbPreference->isVisible());
    const QString plain = FDir.filePath(QStringLiteral("plain.iso"));
    d.edtISO->setText(plain);
    QTest::mouseClick(d.btnStartBurn, Qt::LeftButton);
    WaitForEnd();
    const QString plainTree = FDir.filePath(QStringLiteral("plain-tree"));
    QVERIFY(Extract(plain, plainTree));
    QCOMPARE(Files(plainTree).count(QStringLiteral("autorun.inf")), std::size_t(0));
    QTest::mouseClick(d.btnEject, Qt::LeftButton);
    QTRY_VERIFY(!d.isVisible());
  }

  void aDriveChosenWhileJobsWaitIsTheOneUsedAfterThem() {
    SelectDrive(QStringLiteral("iso"));
    const std::string before = FDevices.at(QStringLiteral("iso")).toStdString();
    const std::string chosen = FDevices.at(QStringLiteral("notready")).toStdString();
    std::vector<std::string> ranOn;
    // Two jobs for the drive chosen before, the second still waiting when
    // the person picks another drive.
    for (int i = 0; i < 2; ++i)
      FForm->RunOnDrive(
          engine::OperationPhase::Preparing, [](engine::TKavoBurner&) { QThread::msleep(200); },
          [&ranOn](engine::TKavoBurner& b) { ranOn.push_back(b.DeviceId()); });
    auto* drives = FForm->findChild<QComboBox*>(QStringLiteral("cbDrives"));
    drives->setCurrentIndex(drives->findText(QString::fromStdString(chosen)));
    FForm->RunOnDrive(
        engine::OperationPhase::Preparing, [](engine::TKavoBurner&) {},
        [&ranOn](engine::TKavoBurner& b) { ranOn.push_back(b.DeviceId()); });
    QTRY_VERIFY_WITH_TIMEOUT(FForm->DriveJobsIdle() && ranOn.size() == 3, 10000);
    QCOMPARE(ranOn, (std::vector<std::string>{before, before, chosen}));
    QCOMPARE(FForm->Burner().DeviceId(), chosen);
  }

  void aDriveThatIsNotReadyAsksRetryAndCancel() {
    SelectDrive(QStringLiteral("notready"));
    auto recorder = vdrive::RecorderFor(Disc(QStringLiteral("notready")).toStdString());
    vdrive::TFaults faults;
    faults.NeverReady = true;
    recorder->SetFaults(faults);
    FForm->Options().EjectNoDisc = true;
    FForm->bBurnClick();
    app::TBurningForm& d = Dialog();
    QTRY_VERIFY_WITH_TIMEOUT(d.isVisible(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(!d.SpeedListFilling() && d.cbspeed->count() > 0, 10000);
    d.RetryPauseMs = 50;
    const std::size_t asked = FDialogs.Log.size();
    FDialogs.Answers = {ui::Retry, ui::Cancel, ui::Ok};
    recorder->ClearCommandLog();
    QTest::mouseClick(d.btnStartBurn, Qt::LeftButton);
    QVERIFY(!d.btnStartBurn->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(!d.Waiting(), 20000);
    QCOMPARE(FDialogs.Log.size(), asked + 3);
    const guitest::Asked& question = FDialogs.Log[asked];
    QCOMPARE(question.Caption, QStringLiteral("Informaiton"));
    QVERIFY(question.Text.endsWith(QStringLiteral(
        ": is not ready. Please insert a writable disc.\n\rIf you have inserted the disc,please be patient and wait a "
        "few seconds for your drive to detect the disc. Then click button Retry")));
    QCOMPARE(question.Buttons, ui::Buttons(ui::Retry | ui::Cancel));
    QCOMPARE(FDialogs.Log[asked + 2].Text, QStringLiteral("Abort by user"));
    QVERIFY(d.btnStartBurn->isEnabled());
    QVERIFY(!FForm->Timer1Active());
    // The option asked for the tray to open on each failed try.
    const auto ejected = [&recorder] {
      for (const auto& command : recorder->CommandLog())
        if (!command.Cdb.empty() && command.Cdb[0] == 0x1B && command.Cdb.size() > 4 && (command.Cdb[4] & 0x03) == 0x02)
          return true;
      return false;
    };
    QTRY_VERIFY_WITH_TIMEOUT(ejected(), 5000);
    FForm->Options().EjectNoDisc = false;
    recorder->SetFaults(vdrive::TFaults{});
    d.close();
    QTRY_VERIFY(!d.isVisible());
  }

  // Burn .ISO after an image build starts without the wait: one test of
  // the drive, one message, no question, and nothing left running. The tray
  // that opens is the image's drive, not the main window's.
  void anImageBurnWithoutTheWaitTestsTheDriveOnce() {
    SelectDrive(QStringLiteral("iso"));
    auto mainDrive = vdrive::RecorderFor(Disc(QStringLiteral("iso")).toStdString());
    auto recorder = vdrive::RecorderFor(Disc(QStringLiteral("notready")).toStdString());
    vdrive::TFaults faults;
    faults.NeverReady = true;
    recorder->SetFaults(faults);
    FForm->Options().EjectNoDisc = true;
    mainDrive->ClearCommandLog();
    recorder->ClearCommandLog();
    app::TBurningForm& d = Dialog();
    d.Setup(QStringLiteral("BuildISO"));
    FForm->btnBurnISOClick();
    QTRY_VERIFY(d.isVisible());
    const QString image = FDir.filePath(QStringLiteral("any.iso"));
    Write(image, QByteArray(2048 * 20, 'i'));
    d.edtSourceISO->setText(image);
    d.cmbDriveISO->setCurrentIndex(d.cmbDriveISO->findText(FDevices.at(QStringLiteral("notready"))));
    const std::size_t asked = FDialogs.Log.size();
    FDialogs.Answers = {ui::Ok};
    QTest::mouseClick(d.btnStartBurn, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!d.Waiting() && FDialogs.Log.size() > asked, 20000);
    // A second test of the drive would be queued drive work or a call posted
    // after the answer: both have run once the queue is idle behind them.
    QTRY_VERIFY_WITH_TIMEOUT(FForm->DriveJobsIdle(), 20000);
    QVERIFY(guitest::PostedCallsRun(*FForm));
    QVERIFY(FForm->DriveJobsIdle());
    QCOMPARE(FDialogs.Log.size(), asked + 1);
    QCOMPARE(FDialogs.Log[asked].Caption, QStringLiteral("Informaiton"));
    QVERIFY2(FDialogs.Log[asked].Text.endsWith(QStringLiteral(": is not ready. Please insert a writable disc into it first.")),
             qPrintable(FDialogs.Log[asked].Text));
    QVERIFY(d.btnStartBurn->isEnabled());
    QVERIFY(!FForm->OperationRunning() && !FForm->OperationHeld());
    const auto ejected = [](const vdrive::TVirtualRecorder& r) {
      for (const auto& command : r.CommandLog())
        if (command.Cdb.size() > 4 && command.Cdb[0] == 0x1B && (command.Cdb[4] & 0x03) == 0x02) return true;
      return false;
    };
    QTRY_VERIFY_WITH_TIMEOUT(FForm->DriveJobsIdle(), 10000);
    QVERIFY(ejected(*recorder));
    QVERIFY(!ejected(*mainDrive));
    FForm->Options().EjectNoDisc = false;
    recorder->SetFaults(vdrive::TFaults{});
    d.close();
    QTRY_VERIFY(!d.isVisible());
  }

  // Abort while the drive work before the burn still runs (here: while the
  // files are shown before burning): the burn must not start after it.
  void anAbortBeforeTheFirstWriteKeepsTheBurnFromStarting() {
    SelectDrive(QStringLiteral("notready"));
    auto recorder = vdrive::RecorderFor(Disc(QStringLiteral("notready")).toStdString());
    OpenTask(QStringLiteral("Early"));
    FForm->bBurnClick();
    app::TBurningForm& d = Dialog();
    QTRY_VERIFY_WITH_TIMEOUT(d.isVisible(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(!d.SpeedListFilling() && d.cbspeed->count() > 0, 10000);
    d.cShowFiles->setChecked(true);
    const auto layout = FForm->OnShowDiscLayout;
    bool shown = false;
    FForm->OnShowDiscLayout = [&] {
      shown = true;
      QTest::mouseClick(d.btnAbort, Qt::LeftButton);
    };
    recorder->ClearCommandLog();
    QTest::mouseClick(d.btnStartBurn, Qt::LeftButton);
    WaitForEnd();
    FForm->OnShowDiscLayout = layout;
    d.cShowFiles->setChecked(false);
    QVERIFY(shown);
    const QString log = d.LogLines().join('\n');
    QVERIFY2(log.contains(QStringLiteral("OPERATION ABORTED BY USER")), qPrintable(log));
    QVERIFY(log.contains(QStringLiteral("Process done with error")));
    QCOMPARE(d.btnEject->text(), QStringLiteral("Discard"));
    for (const auto& command : recorder->CommandLog()) QVERIFY(command.Cdb.empty() || command.Cdb[0] != 0x2A);
    // Discard opens the tray; the blank disc goes back in for the trials after.
    QTest::mouseClick(d.btnEject, Qt::LeftButton);
    QTRY_VERIFY(!d.isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(FForm->DriveJobsIdle(), 10000);
    QVERIFY(FForm->Burner().StartStopUnit(device::TStartStop::Load));
  }

  void aRefusedCloseIsAnErrorWithTwoRedLines() {
    SelectDrive(QStringLiteral("refuse"));
    auto recorder = vdrive::RecorderFor(Disc(QStringLiteral("refuse")).toStdString());
    vdrive::TFaults faults;
    faults.RefuseOpcode = 0x5B;
    faults.RefuseAlways = true;
    recorder->SetFaults(faults);
    OpenTask(QStringLiteral("Refused"));
    FForm->bBurnClick();
    app::TBurningForm& d = Dialog();
    QTRY_VERIFY_WITH_TIMEOUT(d.isVisible(), 10000);
    StartAndWaitForEnd();
    const QStringList log = d.LogLines();
    QVERIFY(!log.join('\n').contains(QStringLiteral("Process done\n")));
    int red = 0;
    for (QTextBlock b = d.memo1->document()->begin(); b.isValid(); b = b.next())
      if (!b.text().isEmpty() && b.begin() != b.end() && b.begin().fragment().charFormat().foreground().color() == kRed)
        ++red;
    QCOMPARE(red, 2);
    QCOMPARE(LineColour(*d.memo1, QStringLiteral("Process done with error")), kRed);
    QCOMPARE(d.btnEject->text(), QStringLiteral("Discard"));
    QVERIFY(!d.btnSaveISO->isEnabled());
    QVERIFY(!d.btnCloseTrack->isEnabled());
    recorder->SetFaults(vdrive::TFaults{});
    QTest::mouseClick(d.btnEject, Qt::LeftButton);
    QTRY_VERIFY(!d.isVisible());
  }

  void anAbortEndsInDiscardWithAReadableDisc() {
    SelectDrive(QStringLiteral("abort"));
    auto recorder = vdrive::RecorderFor(Disc(QStringLiteral("abort")).toStdString());
    vdrive::TFaults faults;
    faults.ThrottleKBps = 200;  // slow enough to abort in the middle
    recorder->SetFaults(faults);
    Write(FSource + QStringLiteral("/Übung/big.bin"), QByteArray(8 * 1048576, 'b'));
    OpenTask(QStringLiteral("Abort"));
    FForm->bBurnClick();
    app::TBurningForm& d = Dialog();
    QTRY_VERIFY_WITH_TIMEOUT(d.isVisible(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(!d.SpeedListFilling() && d.cbspeed->count() > 0, 10000);
    QTest::mouseClick(d.btnStartBurn, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(FForm->Timer1Active(), 20000);
    // Closing while it runs only minimises.
    d.close();
    QVERIFY(d.isVisible());
    // Aborted in the middle: once sectors are on the disc.
    QTRY_VERIFY_WITH_TIMEOUT(d.pcd->value() > 0, 20000);
    QTest::mouseClick(d.btnAbort, Qt::LeftButton);
    WaitForEnd();
    QCOMPARE(d.btnEject->text(), QStringLiteral("Discard"));
    QVERIFY(d.LogLines().join('\n').contains(QStringLiteral("Process done with error")));
    // The figures say what reached the disc, not the whole task.
    QVERIFY2(d.labProgress->text() != QStringLiteral("100%"), qPrintable(d.labProgress->text()));
    QVERIFY(d.labFinished->text() != d.lSize->text());
    QVERIFY(d.pcd->value() < d.pcd->maximum());
    recorder->SetFaults(vdrive::TFaults{});
    QCOMPARE(Vdisc({"info", Disc(QStringLiteral("abort")).toStdString()}), 0);
    QFile::remove(FSource + QStringLiteral("/Übung/big.bin"));
    QTest::mouseClick(d.btnEject, Qt::LeftButton);
    QTRY_VERIFY(!d.isVisible());
  }

  void theBurnCheckCountsOnlyTheRoomLeft() {
    app::TBurningForm& d = Dialog();
    FDialogs.Answers = {ui::Ok};
    const qsizetype asked = FDialogs.MessageTexts().size();
    // A blank disc of 40,000 sectors does not take 90 MB.
    SelectDrive(QStringLiteral("notready"));
    appcore::TaskTree big = appcore::NewTask("Big");
    big.Root->AddItem((FSource + QStringLiteral("/top.txt")).toStdString(), "90,000,000");
    const QString path = FDir.filePath(QStringLiteral("big.mvt"));
    QVERIFY(appcore::WriteTaskFile(path.toStdString(), *big.Root).Ok());
    FForm->OpenTaskFile(path);
    QVERIFY(guitest::WaitIdle(*FForm));
    FDialogs.Answers = {ui::Ok};
    FForm->bBurnClick();
    QTRY_COMPARE_WITH_TIMEOUT(FDialogs.MessageTexts().size(), asked + 1, 20000);
    QCOMPARE(FDialogs.MessageTexts().last(), QStringLiteral("The space of the disc in not enough, please insert another disc."));
    QVERIFY(!d.isVisible());
  }

  void speedListStartsWithMaxAndHoldsDistinctSpeeds() {
    SelectDrive(QStringLiteral("burn"));
    app::TBurningForm& d = Dialog();
    bool filled = false;
    d.FillSpeedList(d.cbspeed, [&filled] { filled = true; });
    QTRY_VERIFY_WITH_TIMEOUT(filled, 10000);
    QVERIFY(d.cbspeed->count() >= 2);
    QCOMPARE(d.cbspeed->itemText(0), QStringLiteral("Max"));
    QSet<QString> seen;
    for (int i = 1; i < d.cbspeed->count(); ++i) {
      const QString entry = d.cbspeed->itemText(i);
      QVERIFY2(entry.contains(QStringLiteral("X (")) && entry.endsWith(QStringLiteral(" KB/s)")), qPrintable(entry));
      QVERIFY(!seen.contains(entry));
      seen.insert(entry);
    }
  }

  void theLogSavesAsTextAndRichTextAndPrints() {
    app::TBurningForm& d = Dialog();
    d.memo1->clear();
    FForm->AddLogLine(QStringLiteral(">>> one {brace} \\ ü"), kGreen);
    FForm->AddLogLine(QString(), QColor(255, 255, 255));
    FForm->AddLogLine(QStringLiteral(">>> three"), kRed);
    QCOMPARE(d.LogLines(), (QStringList{QStringLiteral(">>> one {brace} \\ ü"), QString(), QStringLiteral(">>> three")}));
    const QString txt = FDir.filePath(QStringLiteral("log.txt"));
    FDialogs.Files = {txt};
    d.btnSaveLogClick();
    QCOMPARE(ReadAll(txt), QByteArray(">>> one {brace} \\ \xc3\xbc\r\n\r\n>>> three\r\n"));
    const QString rtf = FDir.filePath(QStringLiteral("log"));
    FDialogs.Files = {rtf};
    d.btnSaveLogClick();
    const QByteArray rich = ReadAll(rtf + QStringLiteral(".rtf"));
    QVERIFY(rich.startsWith("{\\rtf1"));
    QVERIFY(rich.contains("\\red0\\green128\\blue0;"));
    QVERIFY(rich.contains("\\red255\\green0\\blue0;"));
    QVERIFY(rich.contains(">>> one \\{brace\\} \\\\ \\u252?\\par"));
    // A name typed without an extension takes the chosen type's.
    const QString typed = FDir.filePath(QStringLiteral("typed"));
    FDialogs.Files = {typed};
    FDialogs.FileTypes = {QStringLiteral("TXT File (*.txt)")};
    d.btnSaveLogClick();
    QCOMPARE(ReadAll(typed + QStringLiteral(".txt")), QByteArray(">>> one {brace} \\ \xc3\xbc\r\n\r\n>>> three\r\n"));
    QVERIFY(!QFile::exists(typed + QStringLiteral(".rtf")));
    // Print: both dialogs answered by the test, the log goes to a PDF.
    const QString pdf = FDir.filePath(QStringLiteral("log.pdf"));
    int asked = 0;
    d.PrintDialogs = [&](QPrinter& printer) {
      ++asked;
      printer.setOutputFormat(QPrinter::PdfFormat);
      printer.setOutputFileName(pdf);
      return true;
    };
    d.btnPrintClick();
    QCOMPARE(asked, 1);
    QVERIFY(QFileInfo(pdf).size() > 0);
    d.btnClearClick();
    QVERIFY(d.LogLines().isEmpty());
  }

  // Last, onto the blank disc the not-ready trial used: the disc the first
  // test burned is copied, its files straight from the source disc and its
  // label with them.
  void copiesADiscWithItsFilesAndLabel() {
    // "Done and Eject" left the source's tray open; the copy's blank disc is
    // the drive the readiness wait asks.
    SelectDrive(QStringLiteral("burn"));
    QVERIFY(FForm->Burner().StartStopUnit(device::TStartStop::Load));
    vdrive::RecorderFor(Disc(QStringLiteral("notready")).toStdString())->SetFaults({});
    SelectDrive(QStringLiteral("notready"));
    const std::string taskName = FForm->Task().Root->Name;
    FForm->btnCloneClick();
    app::TBurningForm& d = Dialog();
    QTRY_VERIFY_WITH_TIMEOUT(d.isVisible(), 10000);
    QCOMPARE(d.windowTitle(), QStringLiteral("Make a copy of the disc"));
    const int source = d.cmbSource->findText(FDevices.at(QStringLiteral("burn")));
    QVERIFY(source >= 0);
    d.cmbSource->setCurrentIndex(source);
    QTRY_VERIFY_WITH_TIMEOUT(!d.SpeedListFilling() && d.cbspeed->count() > 0, 10000);
    d.cmbDestination->setCurrentIndex(d.cmbDestination->findText(FDevices.at(QStringLiteral("notready"))));
    QTest::mouseClick(d.btnStartBurn, Qt::LeftButton);
    WaitForEnd();
    const QStringList log = d.LogLines();
    QVERIFY2(!log.join('\n').contains(QStringLiteral("with error")), qPrintable(log.join('\n')));
    QCOMPARE(d.gpbProgress->title(), QStringLiteral("Progress and Log - Making a copy of disc"));

    const QString original = FDir.filePath(QStringLiteral("copy-source.iso"));
    const QString copied = FDir.filePath(QStringLiteral("copy-export.iso"));
    QCOMPARE(Vdisc({"export", Disc(QStringLiteral("burn")).toStdString(), original.toStdString()}), 0);
    QCOMPARE(Vdisc({"export", Disc(QStringLiteral("notready")).toStdString(), copied.toStdString()}), 0);
    QVERIFY(Extract(original, FDir.filePath(QStringLiteral("copy-source-tree"))));
    QVERIFY(Extract(copied, FDir.filePath(QStringLiteral("copy-tree"))));
    std::map<QString, QByteArray> onCopy = Files(FDir.filePath(QStringLiteral("copy-tree")));
    std::map<QString, QByteArray> onSource = Files(FDir.filePath(QStringLiteral("copy-source-tree")));
    // The copy carries the source's checksum file rather than making its own.
    QCOMPARE(onCopy, onSource);
    onCopy.erase(QStringLiteral("~zantic.sha256"));
    QCOMPARE(onCopy, Expected());
    QCOMPARE(VolumeId(copied), VolumeId(original));
    QVERIFY(!VolumeId(copied).isEmpty());
    // The person's task is not replaced by the copy.
    QCOMPARE(FForm->Task().Root->Name, taskName);
    QTest::mouseClick(d.btnEject, Qt::LeftButton);
    QTRY_VERIFY(!d.isVisible());

    // The same drive on both sides is refused before either is read.
    SelectDrive(QStringLiteral("notready"));
    QVERIFY(FForm->Burner().StartStopUnit(device::TStartStop::Load));
    FForm->btnCloneClick();
    QTRY_VERIFY_WITH_TIMEOUT(d.isVisible(), 10000);
    d.cmbSource->setCurrentIndex(source);
    d.cmbDestination->setCurrentIndex(source);
    const auto asked = FDialogs.MessageTexts().size();
    QTRY_VERIFY_WITH_TIMEOUT(!d.SpeedListFilling() && d.cbspeed->count() > 0, 10000);
    QTest::mouseClick(d.btnStartBurn, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(FDialogs.MessageTexts().size(), asked + 1, 20000);
    QCOMPARE(FDialogs.MessageTexts().last(), QStringLiteral("The Source Drive and Destination Drive can not be the same."));
    QTest::mouseClick(d.btnCancel, Qt::LeftButton);
    QTRY_VERIFY(!d.isVisible());
  }

  // Esc while the files are still being transferred keeps the dialog (only
  // minimised); a start the burner refuses ends in the dialog with its
  // reason instead of leaving the main window disabled for good.
  void anEscWhilePreparingAndARefusedStartEndInTheDialog() {
    SelectDrive(QStringLiteral("spare"));
    OpenTask(QStringLiteral("Vorbereitet"));
    FForm->bBurnClick();
    app::TBurningForm& d = Dialog();
    QTRY_VERIFY_WITH_TIMEOUT(d.isVisible(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(!d.SpeedListFilling() && d.cbspeed->count() > 0, 10000);
    // Another burner of the program takes the drive as the write starts.
    engine::TKavoBurner other;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    bool escaped = false, stayed = false, claimed = false;
    d.memo1->clear();  // the last operation's lines
    QTextDocument* log = d.memo1->document();
    const auto watch = connect(log, &QTextDocument::contentsChanged, this, [&] {
      const QString text = log->toPlainText();
      if (!escaped && text.contains(QString::fromUtf8(app::texts::kAddedToDisc))) {
        escaped = true;
        static_cast<QDialog&>(d).reject();  // Esc
        stayed = d.isVisible();
      }
      if (!claimed && text.contains(QString::fromUtf8(app::texts::kStartBurningOn)))
        claimed = other.StartBackground(
            engine::OperationPhase::Preparing, [released](engine::TKavoBurner&) { released.wait(); }, nullptr);
    });
    QTest::mouseClick(d.btnStartBurn, Qt::LeftButton);
    WaitForEnd();
    disconnect(watch);
    release.set_value();
    other.WaitForOperation();
    QVERIFY(escaped);
    QVERIFY(stayed);
    QVERIFY(claimed);
    const QString text = d.LogLines().join('\n');
    QVERIFY2(text.contains(QStringLiteral("ANOTHER OPERATION IS RUNNING")), qPrintable(text));
    QVERIFY(text.contains(QStringLiteral("Process done with error")));
    QVERIFY(FForm->isEnabled());
    QVERIFY(!FForm->OperationRunning());
    d.showNormal();
    QTest::mouseClick(d.btnEject, Qt::LeftButton);
    QTRY_VERIFY(!d.isVisible());
  }

  // A copy waits for and writes its own destination, closes that disc
  // (and says so), and leaves the next burn as the options and the drive
  // box have it.
  void aCopyKeepsToItsDriveAndLeavesTheNextBurnAlone() {
    const std::string shown = FDevices.at(QStringLiteral("notready")).toStdString();
    auto mainRecorder = vdrive::RecorderFor(Disc(QStringLiteral("notready")).toStdString());
    SelectDrive(QStringLiteral("notready"));
    vdrive::TFaults never;
    never.NeverReady = true;
    mainRecorder->SetFaults(never);
    FForm->Options().CloseDisc = false;
    FForm->Burner().SetFinalizeDisc(false);
    FForm->btnCloneClick();
    app::TBurningForm& d = Dialog();
    QTRY_VERIFY_WITH_TIMEOUT(d.isVisible(), 10000);
    d.cmbSource->setCurrentIndex(d.cmbSource->findText(FDevices.at(QStringLiteral("burn"))));
    d.cmbDestination->setCurrentIndex(d.cmbDestination->findText(FDevices.at(QStringLiteral("copyto"))));
    QTRY_VERIFY_WITH_TIMEOUT(!d.SpeedListFilling() && d.cbspeed->count() > 0, 10000);
    const qsizetype asked = FDialogs.MessageTexts().size();
    FDialogs.Answers = {ui::Cancel, ui::Ok};
    QTest::mouseClick(d.btnStartBurn, Qt::LeftButton);
    WaitForEnd();
    const QStringList log = d.LogLines();
    QVERIFY2(!log.join('\n').contains(QStringLiteral("with error")), qPrintable(log.join('\n')));
    QCOMPARE(FDialogs.MessageTexts().size(), asked);  // no "not ready" for the drive box's drive
    FDialogs.Answers.clear();
    QVERIFY(log.contains(QString::fromUtf8(app::texts::kDiscClosed)));
    QVERIFY(!log.contains(QString::fromUtf8(app::texts::kDiscNotClosed)));
    QVERIFY(!FForm->Burner().FinalizeDisc());
    QTest::mouseClick(d.btnEject, Qt::LeftButton);
    QTRY_VERIFY(!d.isVisible());
    // The next job runs on the drive the box shows, not on the copy's.
    QCOMPARE(FForm->NextJobDevice(), shown);
    std::string ranOn;
    FForm->RunOnDrive(engine::OperationPhase::Preparing, nullptr, [&ranOn](engine::TKavoBurner& b) { ranOn = b.DeviceId(); });
    QTRY_VERIFY_WITH_TIMEOUT(!ranOn.empty(), 10000);
    QCOMPARE(ranOn, shown);
    mainRecorder->SetFaults(vdrive::TFaults{});
  }

  // A burn is what Start was pressed with: a box changed while it prepares
  // changes nothing.
  void aTestWriteStaysATestWrite() {
    SelectDrive(QStringLiteral("cdr"));
    OpenTask(QStringLiteral("Probe"));
    FForm->bBurnClick();
    app::TBurningForm& d = Dialog();
    QTRY_VERIFY_WITH_TIMEOUT(d.isVisible(), 10000);
    d.cTestWrite->setChecked(true);
    d.cShowFiles->setChecked(true);
    // Between the transfer and the layout, on the window's thread.
    const auto showLayout = FForm->OnShowDiscLayout;
    FForm->OnShowDiscLayout = [&d] { d.cTestWrite->setChecked(false); };
    StartAndWaitForEnd();
    FForm->OnShowDiscLayout = showLayout;
    d.cShowFiles->setChecked(false);
    const QStringList log = d.LogLines();
    QVERIFY2(!log.join('\n').contains(QStringLiteral("with error")), qPrintable(log.join('\n')));
    // Nothing recorded: the disc holds no session to export.
    const QString iso = FDir.filePath(QStringLiteral("cdr-export.iso"));
    QVERIFY(Vdisc({"export", Disc(QStringLiteral("cdr")).toStdString(), iso.toStdString()}) != 0);
    QTest::mouseClick(d.btnEject, Qt::LeftButton);
    QTRY_VERIFY(!d.isVisible());
  }

  // An image takes the task's name for its label, whatever the burn
  // dialog's hidden label field last held.
  void anImageIsLabelledWithTheTasksName() {
    OpenTask(QStringLiteral("Erste"));
    app::TBurningForm& d = Dialog();
    d.Setup(QStringLiteral("Burn"));
    d.edtLabel->setText(QStringLiteral("VORIGE"));
    OpenTask(QStringLiteral("Zweite"));
    FForm->btnBuildISOClick();
    QTRY_VERIFY(d.isVisible());
    const QString iso = FDir.filePath(QStringLiteral("labelled.iso"));
    d.edtISO->setText(iso);
    QTest::mouseClick(d.btnStartBurn, Qt::LeftButton);
    WaitForEnd();
    QCOMPARE(VolumeId(iso).toUpper(), QStringLiteral("ZWEITE"));
    QTest::mouseClick(d.btnEject, Qt::LeftButton);
    QTRY_VERIFY(!d.isVisible());
  }

  // Streaming is offered only for a Blu-ray disc with spare areas, and the
  // choice reaches the drive: every write asks for streaming.
  void streamingIsOfferedForABluRayWithSpareAreasAndReachesTheBurn() {
    app::TBurningForm& d = Dialog();
    SelectDrive(QStringLiteral("burn"));
    d.Setup(QStringLiteral("Burn"));
    d.show();
    QTRY_VERIFY_WITH_TIMEOUT(!d.SpeedListFilling() && d.cbspeed->count() > 0, 10000);
    QVERIFY(!d.chkStreaming->isEnabled() && !d.chkStreaming->isVisible() && !d.labSpareNote->isVisible());
    d.close();
    QTRY_VERIFY(!d.isVisible());

    SelectDrive(QStringLiteral("bdspare"));
    OpenTask(QStringLiteral("Blu"));
    const std::string disc = Disc(QStringLiteral("bdspare")).toStdString();
    vdrive::RecorderFor(disc)->ClearCommandLog();
    FForm->bBurnClick();
    QTRY_VERIFY_WITH_TIMEOUT(d.isVisible() && !d.SpeedListFilling() && d.chkStreaming->isEnabled(), 10000);
    QVERIFY(d.chkStreaming->isVisible() && !d.chkStreaming->isChecked());
    QCOMPARE(d.labSpareNote->text(),
             QStringLiteral("5 MB of spare areas on this Blu-ray disc: defect management verifies what is written, "
                            "at about half the speed."));
    QTest::mouseClick(d.chkStreaming, Qt::LeftButton);
    QVERIFY(d.chkStreaming->isChecked());
    StartAndWaitForEnd();
    const QStringList log = d.LogLines();
    QVERIFY2(!log.join('\n').contains(QStringLiteral("with error")), qPrintable(log.join('\n')));
    QVERIFY(log.contains(QStringLiteral(">>> Streaming: full speed, the disc's spare areas unused")));
    int writes = 0;
    for (const vdrive::TCommandRecord& c : vdrive::RecorderFor(disc)->CommandLog()) {
      QVERIFY2(c.Opcode() != 0x2A, "no write without streaming");
      if (c.Opcode() == 0xAA) {
        QVERIFY((c.Cdb[10] & 0x80) != 0);
        ++writes;
      }
    }
    QVERIFY(writes > 0);
    QTest::mouseClick(d.btnEject, Qt::LeftButton);
    QTRY_VERIFY(!d.isVisible());
  }
};

QTEST_MAIN(BurningFormTest)
#include "burning_form_test.moc"
