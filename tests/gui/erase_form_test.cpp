// The erase dialog on virtual recorders: quick and full erase of a CD-RW and
// a DVD-RW to "&Finish", BD-REs formatted, a stalled format given up, a DVD-R
// refused, an abort, a drive without a disc.
#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QRegularExpression>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <iterator>
#include <thread>

#include "app/erase_form.h"
#include "app/main_form.h"
#include "app/program.h"
#include "app/start_form.h"
#include "appcore/drive_select.h"
#include "appcore/progress.h"
#include "engine/device/sleeper.h"
#include "engine/device/transport.h"
#include "engine/kavo_burner.h"
#include "gui/gui_helpers.h"
#include "gui/scripted_dialogs.h"
#include "ui/qt_dialogs.h"
#include "vdrive/disc_image.h"
#include "vdrive/drive.h"
#include "vdrive/medium.h"
#include "vdrive/registration.h"

using guitest::Find;

namespace {

// The blanking thread's pauses, a thousand times shorter: its estimate of a
// quick CD erase (150 s) passes in about 150 ms.
struct FastSleeper final : device::TSleeper {
  explicit FastSleeper(int divisor) : Divisor(divisor) {}
  // The drive's pause itself, only shorter: what is slept is the point.
  void Sleep(std::uint32_t ms) override { std::this_thread::sleep_for(std::chrono::microseconds(ms * 1000u / static_cast<std::uint32_t>(Divisor))); }
  int Divisor;
};

struct Disc {
  const char* Name;
  vdrive::TMedia Media;
};

}  // namespace

class EraseFormTest : public QObject {
  Q_OBJECT

  QTemporaryDir FDir;
  FastSleeper FSleeper{1000};

  QString DiscPath(const char* name) const { return FDir.filePath(QString::fromLatin1(name) + ".zvd"); }

  // A fresh blank disc of `media` in a recorder of its own, selected.
  void Attach(app::TForm1& main, const char* name, vdrive::TMedia media, std::uint32_t blankMs, std::uint32_t fullMs) {
    const std::string path = DiscPath(name).toStdString();
    QVERIFY(vdrive::TDiscFile::Create(path, vdrive::BlankDisc(media, 4000)));
    vdrive::UnregisterVirtualRecorders();
    vdrive::RegisterVirtualRecorderFor(path);
    vdrive::TTimings timings;
    timings.BlankMinimal = blankMs;
    timings.BlankFull = fullMs;
    timings.Format = blankMs;  // a BD-RE's erase; certifying takes four times as long
    vdrive::RecorderFor(path)->SetTimings(timings);
    engine::TKavoBurner& burner = main.Burner();
    device::FinalizeTransport();
    QVERIFY(burner.InitASPI(true, ""));
    const auto choice = appcore::SelectDrive(burner, path);
    QVERIFY2(choice.Selected(), choice.Text.c_str());
    burner.SetSleeper(FSleeper);
  }

  static std::vector<vdrive::TCommandRecord> Commands(const char* path) {
    return vdrive::RecorderFor(path)->CommandLog();
  }

  // Opens the dialog from the main window and waits for the speed list.
  static app::TEraseForm& Open(app::TForm1& main) {
    main.btnEraseClick();
    app::TEraseForm& dialog = main.EraseForm();
    if (!dialog.SpeedListReady()) QSignalSpy(&dialog, &app::TEraseForm::SpeedListFilled).wait(5000);
    return dialog;
  }

  static bool WaitFor(const std::function<bool()>& done, int ms) { return QTest::qWaitFor(done, ms); }

  static bool Blanked(const char* path) {
    const auto commands = Commands(path);
    return std::any_of(commands.begin(), commands.end(), [](const vdrive::TCommandRecord& c) { return c.Opcode() == 0xA1; });
  }

  void EraseToFinish(const char* name, vdrive::TMedia media, bool quick) {
    guitest::ScriptedDialogs dialogs;
    dialogs.Answers = {ui::Yes};
    app::Program program(FDir.path(), {});
    app::TForm1& main = program.MainForm();
    main.Options().EjectDone = false;
    Attach(main, name, media, 50, 2500);
    const std::string path = DiscPath(name).toStdString();
    vdrive::RecorderFor(path)->ClearCommandLog();

    app::TEraseForm& dialog = Open(main);
    QVERIFY(dialog.isVisible());
    QVERIFY(!main.isEnabled());
    QVERIFY(!program.StartForm().isEnabled());
    auto* cmbSpeed = Find<QComboBox>(dialog, "cmbSpeed");
    QCOMPARE(cmbSpeed->itemText(0), QStringLiteral("Max"));
    QVERIFY2(cmbSpeed->count() > 1, "the drive's speeds are listed");
    Find<QComboBox>(dialog, "cmbMethod")->setCurrentIndex(quick ? 0 : 1);
    QCOMPARE(Find<QLabel>(dialog, "Label3")->isVisible(), quick);
    QCOMPARE(Find<QLabel>(dialog, "Label6")->isVisible(), !quick);

    auto* btnCancel = Find<QPushButton>(dialog, "btnCancel");
    auto* pbprogress = Find<QProgressBar>(dialog, "pbprogress");
    QTest::mouseClick(Find<QPushButton>(dialog, "btnErase"), Qt::LeftButton);
    QVERIFY(WaitFor([&] { return dialog.CurrentState() == app::TEraseForm::State::Done; }, 30000));
    QCOMPARE(dialogs.Log.size(), std::size_t{2});
    QCOMPARE(dialogs.Log[0].Caption, QString::fromLatin1(quick ? "Want to Quick Erase the Disc ?"
                                                               : "Want to Complete Erase the Disc ? (may take 10-70 mins)"));
    QCOMPARE(dialogs.Log[0].Text, QStringLiteral("All Data on the CD will be lost"));
    QCOMPARE(dialogs.Log[0].Icon, ui::MessageIcon::Warning);
    QCOMPARE(dialogs.Log[1].Text, QStringLiteral("Erase process done."));
    QCOMPARE(pbprogress->value(), 100);
    QCOMPARE(Find<QLabel>(dialog, "labProgress")->text(), QStringLiteral("100%"));
    QCOMPARE(btnCancel->text(), QStringLiteral("&Finish"));
    QVERIFY(btnCancel->isEnabled());
    QVERIFY(!Find<QPushButton>(dialog, "btnAbort")->isVisible());

    const auto commands = Commands(path.c_str());
    const auto sent = [&commands](std::uint8_t opcode) {
      return std::find_if(commands.begin(), commands.end(),
                          [opcode](const vdrive::TCommandRecord& c) { return c.Opcode() == opcode; });
    };
    if (vdrive::IsBdRe(media)) {
      // A BD-RE is formatted, never blanked; the full method first reads
      // the format capacities for its certifying format, the quick one does not.
      QVERIFY(sent(0xA1) == commands.end());
      const auto format = sent(0x04);
      QVERIFY(format != commands.end() && format != commands.begin());
      QCOMPARE(std::prev(format)->Opcode() == 0x23, !quick);
      // Its speeds in BD factors: 1X is 4,495 KB/s.
      QCOMPARE(cmbSpeed->itemText(1).section(QLatin1Char('('), 1), QStringLiteral("53,940 KB/s)"));
      QVERIFY(cmbSpeed->itemText(1).startsWith(QStringLiteral("12.0X")));
    } else {
      // The method chosen is the blank sent: 10h immediate + 1 quick, 0 full.
      const auto blank = sent(0xA1);
      QVERIFY(blank != commands.end());
      QCOMPARE(int(blank->Cdb[1]), quick ? 0x11 : 0x10);
    }

    QTest::mouseClick(btnCancel, Qt::LeftButton);
    QVERIFY(!dialog.isVisible());
    QVERIFY(main.isEnabled());
    QVERIFY(program.StartForm().isEnabled());
    QCOMPARE(pbprogress->value(), 0);
    main.Burner().WaitForOperation();
  }

 private slots:
  void initTestCase() {
    ui::InitArtwork();
    QVERIFY(FDir.isValid());
  }
  void cleanupTestCase() { vdrive::UnregisterVirtualRecorders(); }

  void quickEraseOfACdRw() { EraseToFinish("cdrw-quick", vdrive::TMedia::CdRw, true); }
  void fullEraseOfACdRw() { EraseToFinish("cdrw-full", vdrive::TMedia::CdRw, false); }
  void quickEraseOfADvdRw() { EraseToFinish("dvdrw-quick", vdrive::TMedia::DvdRw, true); }
  void fullEraseOfADvdRw() { EraseToFinish("dvdrw-full", vdrive::TMedia::DvdRw, false); }
  void quickEraseOfABdRe() { EraseToFinish("bdre-quick", vdrive::TMedia::BdRe, true); }
  void fullEraseOfABdRe() { EraseToFinish("bdre-full", vdrive::TMedia::BdRe, false); }

  void progressAndClocksMoveWhileAFullEraseRuns() {
    guitest::ScriptedDialogs dialogs;
    dialogs.Answers = {ui::Yes};
    app::Program program(FDir.path(), {});
    app::TForm1& main = program.MainForm();
    main.Options().EjectDone = true;
    FSleeper.Divisor = 2;  // slow enough that the timer ticks several times
    Attach(main, "cdrw-clock", vdrive::TMedia::CdRw, 300, 3000);
    app::TEraseForm& dialog = Open(main);
    Find<QComboBox>(dialog, "cmbMethod")->setCurrentIndex(1);
    QTest::mouseClick(Find<QPushButton>(dialog, "btnErase"), Qt::LeftButton);
    auto* LabElapse = Find<QLabel>(dialog, "LabElapse");
    auto* LabRemain = Find<QLabel>(dialog, "LabRemain");
    QVERIFY(WaitFor([&] { return LabElapse->text() == QStringLiteral("0:0:2"); }, 10000));
    // The estimate (75 min) is far from reached: little progress, a long remaining time.
    QVERIFY(dialog.CurrentState() == app::TEraseForm::State::Running);
    QVERIFY(!Find<QPushButton>(dialog, "btnCancel")->isEnabled());
    QVERIFY(Find<QPushButton>(dialog, "btnAbort")->isVisible());
    // Closing is refused while the blanking runs.
    dialog.close();
    QVERIFY(dialog.isVisible());
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QVERIFY(dialog.isVisible());
    // Nor does the program end while it runs (the tray's Exit stays reachable).
    program.OnEnd = [] {};
    program.Exit();
    QVERIFY(!program.Ended());
    QCOMPARE(dialogs.MessageTexts().last(),
             QStringLiteral("The disc is being erased. Zantic can end when the erase is done or aborted."));
    const QString remain = LabRemain->text();
    QVERIFY2(remain == QStringLiteral("0:0:0") || remain.count(QLatin1Char(':')) == 2, qPrintable(remain));
    // The clocks are the main window's counters on its once-a-second timer.
    QVERIFY(main.Timer1Active());
    QVERIFY(main.Clock().Elapsed() >= 2);
    const std::int64_t later = main.Clock().Elapsed() + 1;
    QVERIFY2(WaitFor([&] { return main.Clock().Elapsed() > later; }, 5000), "the clock stopped");
    QCOMPARE(LabElapse->text(), QString::fromStdString(appcore::ClockText(main.Clock().Elapsed())));
    QCOMPARE(LabRemain->text(), QString::fromStdString(appcore::ClockText(main.Clock().Remaining())));
    // The bar is the burner's erase event's, told on this thread, at once.
    main.Burner().OnEraseProgress(main.Burner(), 37);
    QCOMPARE(Find<QProgressBar>(dialog, "pbprogress")->value(), 37);
    QCOMPARE(Find<QLabel>(dialog, "labProgress")->text(), QStringLiteral("37%"));
    FSleeper.Divisor = 1000;
    main.Burner().CancelOperation();
    QVERIFY(WaitFor([&] { return dialog.CurrentState() == app::TEraseForm::State::Done; }, 15000));
    QVERIFY(!main.Timer1Active());
    // Ejected after the end, also after a failed one.
    const std::string path = DiscPath("cdrw-clock").toStdString();
    QVERIFY(WaitFor(
        [&] {
          const auto commands = Commands(path.c_str());
          return std::any_of(commands.begin(), commands.end(), [](const vdrive::TCommandRecord& c) {
            return c.Opcode() == 0x1B && c.Cdb.size() > 4 && (c.Cdb[4] & 0x03) == 0x02;
          });
        },
        5000));
    main.Burner().WaitForOperation();
  }

  void abortDuringAFullErase() {
    guitest::ScriptedDialogs dialogs;
    dialogs.Answers = {ui::Yes};
    app::Program program(FDir.path(), {});
    app::TForm1& main = program.MainForm();
    main.Options().EjectDone = false;
    FSleeper.Divisor = 50;
    // The drive would need a minute: only the abort ends it.
    Attach(main, "cdrw-abort", vdrive::TMedia::CdRw, 300, 60000);
    app::TEraseForm& dialog = Open(main);
    Find<QComboBox>(dialog, "cmbMethod")->setCurrentIndex(1);
    QTest::mouseClick(Find<QPushButton>(dialog, "btnErase"), Qt::LeftButton);
    QVERIFY(WaitFor([&] { return main.Burner().Erasing(); }, 5000));
    // Aborted while the drive blanks.
    QVERIFY(WaitFor([&] { return Blanked(DiscPath("cdrw-abort").toStdString().c_str()); }, 10000));
    QTest::mouseClick(Find<QPushButton>(dialog, "btnAbort"), Qt::LeftButton);
    QVERIFY(Find<QPushButton>(dialog, "btnCancel")->isEnabled());
    QVERIFY(WaitFor([&] { return dialog.CurrentState() == app::TEraseForm::State::Done; }, 15000));
    FSleeper.Divisor = 1000;
    QCOMPARE(dialogs.MessageTexts().last(), QStringLiteral("Erase process done with error."));
    QCOMPARE(Find<QPushButton>(dialog, "btnCancel")->text(), QStringLiteral("&Cancel"));
    QVERIFY(Find<QPushButton>(dialog, "btnCancel")->isEnabled());
    QVERIFY(!Find<QPushButton>(dialog, "btnAbort")->isVisible());
    main.Burner().WaitForOperation();
  }

  // A format whose progress stops: the wait gives up, and the end message
  // says why beneath its usual line.
  void aStalledFullEraseEndsWithTheReason() {
    guitest::ScriptedDialogs dialogs;
    dialogs.Answers = {ui::Yes};
    app::Program program(FDir.path(), {});
    app::TForm1& main = program.MainForm();
    main.Options().EjectDone = false;
    // Certifying takes four times Format: far longer than the wait's estimate.
    Attach(main, "bdre-stalled", vdrive::TMedia::BdRe, 60000, 60000);
    const std::string path = DiscPath("bdre-stalled").toStdString();
    vdrive::RecorderFor(path)->SetStallAfter(500);
    app::TEraseForm& dialog = Open(main);
    Find<QComboBox>(dialog, "cmbMethod")->setCurrentIndex(1);
    QTest::mouseClick(Find<QPushButton>(dialog, "btnErase"), Qt::LeftButton);
    QVERIFY(WaitFor([&] { return dialog.CurrentState() == app::TEraseForm::State::Done; }, 60000));
    QCOMPARE(dialogs.Log.size(), std::size_t{2});
    const QStringList lines = dialogs.Log[1].Text.split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines[0], QStringLiteral("Erase process done with error."));
    QVERIFY2(QRegularExpression(QStringLiteral("^STOPPED WAITING: THE DRIVE IS STILL BUSY, ITS PROGRESS AT \\d+% FOR "
                                               "\\d+ MINUTES$"))
                 .match(lines[1])
                 .hasMatch(),
             qPrintable(lines[1]));
    QCOMPARE(dialogs.Log[1].Caption, QStringLiteral("Information"));
    main.Burner().WaitForOperation();
  }

  void aDvdRIsRefusedAndTheDialogWaitsForAbort() {
    guitest::ScriptedDialogs dialogs;
    app::Program program(FDir.path(), {});
    app::TForm1& main = program.MainForm();
    Attach(main, "dvdr", vdrive::TMedia::DvdR, 300, 2500);
    app::TEraseForm& dialog = Open(main);
    QTest::mouseClick(Find<QPushButton>(dialog, "btnErase"), Qt::LeftButton);
    QVERIFY(WaitFor([&] { return !dialogs.Log.empty(); }, 10000));
    QCOMPARE(dialogs.MessageTexts(), QStringList{QStringLiteral("Disc is not Erasable")});
    QVERIFY(!main.Burner().Erasing());
    // Still running: only Abort leads out.
    auto* btnCancel = Find<QPushButton>(dialog, "btnCancel");
    QVERIFY(!btnCancel->isEnabled());
    QTest::mouseClick(Find<QPushButton>(dialog, "btnAbort"), Qt::LeftButton);
    QVERIFY(btnCancel->isEnabled());
    QTest::mouseClick(btnCancel, Qt::LeftButton);
    QVERIFY(!dialog.isVisible());
    QVERIFY(main.isEnabled());
    const auto commands = Commands(DiscPath("dvdr").toStdString().c_str());
    QVERIFY(std::none_of(commands.begin(), commands.end(),
                         [](const vdrive::TCommandRecord& c) { return c.Opcode() == 0xA1; }));
  }

  void noWhenAskedStartsNothing() {
    guitest::ScriptedDialogs dialogs;
    dialogs.Answers = {ui::No};
    app::Program program(FDir.path(), {});
    app::TForm1& main = program.MainForm();
    Attach(main, "cdrw-no", vdrive::TMedia::CdRw, 300, 2500);
    app::TEraseForm& dialog = Open(main);
    QTest::mouseClick(Find<QPushButton>(dialog, "btnErase"), Qt::LeftButton);
    QVERIFY(WaitFor([&] { return !dialogs.Log.empty(); }, 10000));
    main.Burner().WaitForOperation();  // the check has ended: nothing more may follow
    QCoreApplication::sendPostedEvents();
    QCOMPARE(dialogs.Log.size(), std::size_t{1});
    QVERIFY(!main.Burner().Erasing());
    const auto commands = Commands(DiscPath("cdrw-no").toStdString().c_str());
    QVERIFY(std::none_of(commands.begin(), commands.end(),
                         [](const vdrive::TCommandRecord& c) { return c.Opcode() == 0xA1; }));
    QTest::mouseClick(Find<QPushButton>(dialog, "btnAbort"), Qt::LeftButton);
    dialog.close();
    QVERIFY(!dialog.isVisible());
  }

  void aDriveWithoutADiscIsNotReadyAndTheDialogStaysReady() {
    guitest::ScriptedDialogs dialogs;
    app::Program program(FDir.path(), {});
    app::TForm1& main = program.MainForm();
    Attach(main, "cdrw-empty", vdrive::TMedia::CdRw, 300, 2500);
    QVERIFY(main.Burner().StartStopUnit(device::TStartStop::Eject));
    app::TEraseForm& dialog = Open(main);
    QTest::mouseClick(Find<QPushButton>(dialog, "btnErase"), Qt::LeftButton);
    QVERIFY(WaitFor([&] { return !dialogs.Log.empty(); }, 15000));
    QCOMPARE(dialogs.Log.front().Caption, QStringLiteral("Informaiton"));
    QVERIFY2(dialogs.Log.front().Text.endsWith(
                 QStringLiteral(": is not ready. Please insert a rewritable disc into it first.")),
             qPrintable(dialogs.Log.front().Text));
    QCOMPARE(dialog.CurrentState(), app::TEraseForm::State::Ready);
    QVERIFY(Find<QPushButton>(dialog, "btnErase")->isEnabled());
    QVERIFY(Find<QComboBox>(dialog, "cmbDrive")->isEnabled());
    dialog.close();
    QVERIFY(!dialog.isVisible());
  }

  void theStartWindowsEraseButtonOpensTheDialog() {
    guitest::ScriptedDialogs dialogs;
    app::Program program(FDir.path(), {});
    program.StartForm().show();
    QTest::mouseClick(Find<QAbstractButton>(program.StartForm(), "btnEraser"), Qt::LeftButton);
    app::TEraseForm& dialog = program.MainForm().EraseForm();
    QVERIFY(dialog.isVisible());
    QVERIFY(!program.StartForm().isEnabled());
    QVERIFY(!program.MainForm().isVisible());
    dialog.close();
    QVERIFY(program.StartForm().isEnabled());
  }
};

QTEST_MAIN(EraseFormTest)
#include "erase_form_test.moc"
