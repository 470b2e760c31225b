// The main window's drive side against virtual recorders: the scan and the
// first-writer rule, the capabilities window, the disc information with its
// sessions, browsing and extracting, the disc layout window and Help.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>
#include <QTextBrowser>
#include <QTreeWidget>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>

#include "app/background_work.h"
#include "app/disc_layout_form.h"
#include "app/drive_forms.h"
#include "app/help_form.h"
#include "app/main_form.h"
#include "app/option_form.h"
#include "app/program.h"
#include "app/tree_forms.h"
#include "engine/device/passthrough_drive.h"
#include "engine/device/transport.h"
#include "engine/iso/disc_source.h"
#include "engine/kavo_burner.h"
#include "gui/gui_helpers.h"
#include "gui/scripted_dialogs.h"
#include "platform/file_find.h"
#include "support/temp_dir.h"
#include "ui/qt_dispatcher.h"
#include "vdrive/drive.h"
#include "vdrive/medium.h"
#include "vdrive/registration.h"

namespace {

using guitest::Find;

// A recorder whose capabilities page names no write: with the DVD+
// features' Write bits it is a drive that writes only DVD+R and DVD+RW.
class TPlusOnlyDrive final : public device::TPassThroughDrive {
 public:
  explicit TPlusOnlyDrive(std::unique_ptr<device::TPassThroughDrive> inner) : FInner(std::move(inner)) {}
  bool Open() override { return FInner->Open(); }
  void Close() override { FInner->Close(); }
  bool IsOpen() const override { return FInner->IsOpen(); }
  platform::ScsiOutcome Execute(std::span<const std::uint8_t> cdb, platform::ScsiDirection direction,
                                std::span<std::uint8_t> data, std::span<std::uint8_t> sense,
                                std::uint32_t timeoutMs) override {
    const platform::ScsiOutcome out = FInner->Execute(cdb, direction, data, sense, timeoutMs);
    if (cdb[0] == 0x5A && (cdb[2] & 0x3F) == 0x2A)
      for (std::size_t at : {std::size_t{8}, std::size_t{16}})
        if (data.size() > at + 3 && (data[at] & 0x3F) == 0x2A) data[at + 3] = 0;
    return out;
  }
  std::optional<platform::ScsiAddress> Address() override { return FInner->Address(); }
  char DriveLetter() const override { return FInner->DriveLetter(); }
  std::string Location() const override { return FInner->Location(); }

 private:
  std::unique_ptr<device::TPassThroughDrive> FInner;
};

const char* const kProvider = "gui-drives";

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

class DriveFormsTest : public QObject {
  Q_OBJECT

  testsupport::TempDir Dir;
  std::vector<std::shared_ptr<vdrive::TVirtualRecorder>> Recorders;
  std::unique_ptr<guitest::ScriptedDialogs> Dialogs;
  int Discs = 0;

  // Fresh recorders on blank discs; `plusOnly` marks those that write only DVD+ media.
  void Attach(const std::vector<std::pair<vdrive::TMedia, bool>>& drives) {
    Recorders.clear();
    device::FinalizeTransport();
    std::vector<bool> plus;
    for (const auto& [media, plusOnly] : drives) {
      const std::string path = Dir.Str() + "/disc" + std::to_string(Discs++) + ".zvd";
      QVERIFY(vdrive::TDiscFile::Create(path, vdrive::BlankDisc(media, 0)).Ok());
      auto recorder = std::make_shared<vdrive::TVirtualRecorder>(path);
      recorder->SetLogFile("");
      recorder->SetTimings(vdrive::TTimings{0, 0, 0, 0, 0, 0});
      Recorders.push_back(recorder);
      plus.push_back(plusOnly);
    }
    device::RegisterDriveProvider(kProvider, [this, plus] {
      std::vector<std::unique_ptr<device::TPassThroughDrive>> list;
      for (std::size_t i = 0; i < Recorders.size(); ++i) {
        auto drive = vdrive::MakePassThroughDrive(Recorders[i]);
        if (plus[i])
          list.push_back(std::make_unique<TPlusOnlyDrive>(std::move(drive)));
        else
          list.push_back(std::move(drive));
      }
      return list;
    });
  }

  // Burns a folder as a further session of the disc in the (only) drive.
  void BurnSession(const std::string& folder) {
    engine::TKavoBurner burner;
    QVERIFY(burner.InitASPI(true, ""));
    QVERIFY(!burner.DeviceList().empty());
    burner.SelectDevice(burner.DeviceList().front());
    std::string result = "not ended";
    burner.OnWriteDone = [&result](engine::TKavoBurner&, const std::string& e) { result = e; };
    burner.ResetCompilation(600000, 20000);
    burner.AddFolderToCompilation("\\", folder, false, false, true, platform::kAttrAnyFile, "*.*");
    QVERIFY(burner.StartCompilationBurn());
    burner.WaitForOperation();
    QCOMPARE(QString::fromStdString(result), QString());
  }

  std::unique_ptr<app::TForm1> ScannedWindow() {
    auto form = std::make_unique<app::TForm1>(QString::fromStdString(Dir.Str()), QStringLiteral("3.9"));
    QSignalSpy scanned(form.get(), &app::TForm1::DriveScanFinished);
    form->StartDriveScan();
    if (!form->DrivesScanned()) scanned.wait(20000);
    return form;
  }

  static int RowOf(QTableWidget& grid, const QString& text) {
    for (int row = 0; row < grid.rowCount(); ++row)
      if (grid.item(row, 0) != nullptr && grid.item(row, 0)->text().trimmed().endsWith(text)) return row;
    return -1;
  }

 private slots:
  void init() { Dialogs = std::make_unique<guitest::ScriptedDialogs>(); }
  void cleanup() {
    Dialogs.reset();
    device::FinalizeTransport();
    device::UnregisterDriveProvider(kProvider);
    Recorders.clear();
  }

  void theScanSelectsTheFirstDriveTheBurnButtonServes() {
    Attach({{vdrive::TMedia::DvdPlusR, true}, {vdrive::TMedia::CdR, false}});
    auto form = ScannedWindow();
    QVERIFY(form->DrivesScanned());
    auto* cbDrives = Find<QComboBox>(*form, "cbDrives");
    QCOMPARE(cbDrives->count(), 2);
    QCOMPARE(cbDrives->currentIndex(), 1);
    QVERIFY(cbDrives->isEnabled());
    QCOMPARE(cbDrives->toolTip(), cbDrives->currentText());
    QCOMPARE(Find<QLabel>(*form, "lDrive")->text(), QStringLiteral("  Drive :"));
    QVERIFY(Find<QAction>(*form, "bBurn")->isEnabled());
    QVERIFY(Find<QAction>(*form, "bCaps")->isEnabled());

    // Choosing the DVD+ drive by hand turns the burn button off.
    QSignalSpy selected(form.get(), &app::TForm1::DriveSelected);
    cbDrives->setCurrentIndex(0);
    QVERIFY(selected.wait(20000));
    QCOMPARE(form->Burner().DeviceId(), cbDrives->itemText(0).toStdString());
    QVERIFY(!Find<QAction>(*form, "bBurn")->isEnabled());
    QCOMPARE(Dialogs->Log.size(), std::size_t{0});
  }

  void withoutAnyDriveLayerTheWindowSaysSoAndWaits() {
    // No drive provider and no optical drive on a test machine: the layer
    // does not start.
    auto form = ScannedWindow();
    QVERIFY(form->DrivesScanned());
    QCOMPARE(Dialogs->MessageTexts(),
             QStringList{QStringLiteral("Error initializing ASPI Layer, Please visit support page, "
                                        "http://www.zantic.example/ for more information")});
    QVERIFY(!form->isEnabled());
  }

  void theOptionsDriveListFollowsTheScan() {
    Attach({{vdrive::TMedia::DvdPlusR, false}, {vdrive::TMedia::CdR, false}});
    app::Program program(QString::fromStdString(Dir.Str()), {});
    // Made before the scan: it knew no drive yet.
    auto* drives = Find<QComboBox>(program.OptionForm(), "cmbDrive");
    QCOMPARE(drives->count(), 0);
    QSignalSpy scanned(&program.MainForm(), &app::TForm1::DriveScanFinished);
    program.MainForm().StartDriveScan();
    QVERIFY(scanned.wait(20000));
    QCOMPARE(drives->count(), 2);
    QCOMPARE(drives->currentText().toStdString(), program.MainForm().NextJobDevice());
  }

  void withoutAnyWriterTheLastDriveStaysSelected() {
    Attach({{vdrive::TMedia::DvdPlusR, true}, {vdrive::TMedia::DvdPlusRw, true}});
    auto form = ScannedWindow();
    auto* cbDrives = Find<QComboBox>(*form, "cbDrives");
    QCOMPARE(cbDrives->count(), 2);
    QCOMPARE(cbDrives->currentIndex(), 1);
    QCOMPARE(form->Burner().DeviceId(), cbDrives->itemText(1).toStdString());
    QVERIFY(!Find<QAction>(*form, "bBurn")->isEnabled());
  }

  void theCapabilitiesOfADriveWithADvdPlusR() {
    Attach({{vdrive::TMedia::DvdPlusR, false}});
    auto form = ScannedWindow();
    app::TForm2 window(app::CapabilitiesOf(form->Burner()), form.get());
    QCOMPARE(window.windowTitle(), QStringLiteral("Device Capabilities"));
    QVERIFY(!Find<QGroupBox>(window, "Panel1")->isEnabled());
    for (const char* box : {"WriteDVDPR", "WriteDVDPRW", "WriteCDR", "WriteDVDR", "ReadDVDPR", "ReadDVDPRW", "ReadDVD"})
      QVERIFY2(Find<QCheckBox>(window, box)->isChecked(), box);
    QCOMPARE(Find<QCheckBox>(window, "WriteDVDPR")->text(), QStringLiteral("Write DVD+R"));
    QCOMPARE(Find<QCheckBox>(window, "UnderrunProtection")->text(), QStringLiteral("Underrun Protection"));
    // The CD/DVD boxes as they were; Blu-ray in its own box below.
    QCOMPARE(Find<QGroupBox>(window, "Panel1")->findChildren<QCheckBox*>().size(), 17);
    QCOMPARE(Find<QGroupBox>(window, "PanelBD")->findChildren<QCheckBox*>().size(), 5);
    QVERIFY(!Find<QGroupBox>(window, "PanelBD")->isEnabled());
    for (const char* box : {"ReadBD", "ReadBDR", "ReadBDRE", "WriteBDR", "WriteBDRE"})
      QVERIFY2(Find<QCheckBox>(window, box)->isChecked(), box);  // the recorder writes BD whatever disc it holds
    QCOMPARE(Find<QCheckBox>(window, "WriteBDRE")->text(), QStringLiteral("Write BD-RE"));
    QVERIFY(Find<QLabel>(window, "Label1")->text().startsWith(QStringLiteral("  ")));
    const QRegularExpression speed(QStringLiteral("^\\d+\\.\\dX \\([\\d,]+ KB/s\\)$"));
    const QString write = Find<QLabel>(window, "Label2")->text();
    QVERIFY2(write.startsWith(QStringLiteral("Max Write Speed   :  ")), qPrintable(write));
    QVERIFY2(speed.match(write.mid(21)).hasMatch(), qPrintable(write));
    QVERIFY(Find<QLabel>(window, "Label3")->text().startsWith(QStringLiteral("Max Read Speed    :  ")));
  }

  void speedsReadAsFactorsWithTheirKilobytes() {
    app::DriveCapabilities caps;
    caps.DeviceName = QStringLiteral("VIRTUAL RECORDER");
    caps.MaxWriteKBps = 22160;
    caps.MaxReadKBps = 7056;
    caps.Dvd = true;
    app::TForm2 dvd(caps);
    QCOMPARE(Find<QLabel>(dvd, "Label2")->text(), QStringLiteral("Max Write Speed   :  16.0X (22,160 KB/s)"));
    QCOMPARE(Find<QLabel>(dvd, "Label3")->text(), QStringLiteral("Max Read Speed    :  5.1X (7,056 KB/s)"));
    caps.Dvd = false;
    app::TForm2 cd(caps);
    QCOMPARE(Find<QLabel>(cd, "Label3")->text(), QStringLiteral("Max Read Speed    :  40X (7,056 KB/s)"));
    QCOMPARE(Find<QLabel>(cd, "Label1")->text(), QStringLiteral("  VIRTUAL RECORDER"));
  }

  void discInformationListsEverySessionThenOpensAndExtracts() {
    Attach({{vdrive::TMedia::DvdPlusR, false}});
    const std::string first = Dir.MakeDir("first");
    Dir.Write("first/alpha.txt", testsupport::PatternContent(70000, 1));
    Dir.Write("first/docs/beta.bin", testsupport::PatternContent(5000, 2));
    BurnSession(first);
    const std::string second = Dir.MakeDir("second");
    Dir.Write("second/gamma.txt", testsupport::PatternContent(130000, 3));
    Dir.Write("second/delta.txt", testsupport::PatternContent(1, 4));
    BurnSession(second);

    auto form = ScannedWindow();
    QStringList lines;
    QString medium, size;
    QStringList firstSession, secondSession;
    bool extracted = false;
    const std::string out = Dir.MakeDir("out");
    form->OnShowSessions = [&](app::TfrmSessions& sessions) {
      auto* lb = Find<QListWidget>(sessions, "lb");
      for (int i = 0; i < lb->count(); ++i) lines << lb->item(i)->text();
      medium = Find<QLabel>(sessions, "lMedium")->text();
      size = Find<QLabel>(sessions, "lDiscSize")->text();

      // The free-space line opens nothing; no line selected asks for one.
      lb->setCurrentRow(lb->count() - 1);
      sessions.SpeedButton1Click();
      lb->clearSelection();
      sessions.SpeedButton1Click();

      const auto names = [](app::TfrmTree& tree) {
        QStringList shown;
        for (int row = 0; row < tree.Grid()->rowCount(); ++row) shown << tree.Grid()->item(row, 0)->text();
        return shown;
      };
      sessions.OnShowTree = [&](app::TfrmTree& tree) { firstSession = names(tree); };
      lb->setCurrentRow(0);
      sessions.SpeedButton1Click();
      sessions.OnShowTree = [&](app::TfrmTree& tree) {
        secondSession = names(tree);
        // One file through the input box, then every file of the listed folder.
        const int gamma = RowOf(*tree.Grid(), QStringLiteral("gamma.txt"));
        QVERIFY(gamma >= 0);
        Dialogs->Inputs = {QString::fromStdString(out + "/one.txt")};
        tree.ExtractRow(gamma);
        Dialogs->Files = {QString::fromStdString(out + "/all")};
        QDir().mkpath(QString::fromStdString(out + "/all"));
        tree.MsgClick();
        // Again: an existing file is asked about and No keeps it; then Yes replaces.
        std::ofstream(out + "/all/delta.txt") << "mine";
        std::filesystem::remove(out + "/all/gamma.txt");
        Dialogs->Files = {QString::fromStdString(out + "/all")};
        Dialogs->Answers = {ui::No};
        tree.MsgClick();
        QCOMPARE(ReadFile(out + "/all/delta.txt"), std::string("mine"));
        QCOMPARE(ReadFile(out + "/all/gamma.txt"), testsupport::PatternContent(130000, 3));
        Dialogs->Files = {QString::fromStdString(out + "/all")};
        Dialogs->Answers = {ui::Yes, ui::Yes};
        tree.MsgClick();
        extracted = true;
      };
      lb->setCurrentRow(1);
      sessions.SpeedButton1Click();
    };
    form->bDiscClick();

    QCOMPARE(lines.size(), 3);
    QVERIFY2(lines[0].startsWith(QStringLiteral("  001      000:02:00  ")), qPrintable(lines[0]));
    QVERIFY2(lines[1].startsWith(QStringLiteral("  002      ")), qPrintable(lines[1]));
    QVERIFY2(lines[1].endsWith(QStringLiteral(" MB")), qPrintable(lines[1]));
    QVERIFY2(lines[2].startsWith(QStringLiteral(" Free      ")), qPrintable(lines[2]));
    QCOMPARE(medium, QStringLiteral("DVD+R"));
    QVERIFY(QRegularExpression(QStringLiteral("^\\d+\\.\\d\\d MB$")).match(size).hasMatch());
    QCOMPARE(Dialogs->MessageTexts().first(), QStringLiteral("Select session from list"));

    // Session 1 holds its own files; session 2 (no import) only its own.
    QVERIFY2(firstSession.filter(QStringLiteral("alpha.txt")).size() == 1, qPrintable(firstSession.join('|')));
    QVERIFY(firstSession.filter(QStringLiteral("docs")).size() == 1);
    QVERIFY(firstSession.filter(QStringLiteral("gamma.txt")).isEmpty());
    QVERIFY2(secondSession.filter(QStringLiteral("gamma.txt")).size() == 1, qPrintable(secondSession.join('|')));
    QVERIFY(secondSession[0].startsWith(QStringLiteral(" 1 ")));

    QVERIFY(extracted);
    QCOMPARE(ReadFile(out + "/one.txt"), testsupport::PatternContent(130000, 3));
    QCOMPARE(ReadFile(out + "/all/gamma.txt"), testsupport::PatternContent(130000, 3));
    QCOMPARE(ReadFile(out + "/all/delta.txt"), testsupport::PatternContent(1, 4));
    // The input box, then three overwrite questions: nothing else.
    QStringList asked;
    for (const auto& a : Dialogs->Log) asked << a.Kind + ":" + a.Caption;
    QVERIFY2(asked.contains(QStringLiteral("TextInput:Extract File")), qPrintable(asked.join('|')));
    QCOMPARE(Dialogs->MessageTexts().size(), 4);
  }

  void namesFromTheDiscNeverLeadOutOfTheChosenFolder() {
    // An image whose Joliet tree names a file "..\\evil.txt": read back, it
    // must land inside the folder chosen, under a name that leads nowhere.
    const std::string source = Dir.MakeDir("evil");
    Dir.Write("evil/zz_evil.txt", "payload");
    Dir.Write("evil/fine.txt", "fine");
    const std::string image = Dir.Str() + "/evil.iso";
    {
      engine::TKavoBurner maker;
      maker.ResetCompilation(1000, 100);
      maker.AddFolderToCompilation("\\", source, false, false, true, platform::kAttrAnyFile, "*.*");
      QCOMPARE(maker.WriteImageFile(image, engine::SaveMode::Quick), 1);
    }
    std::string bytes = ReadFile(image);
    const std::string from("\0z\0z\0_", 6), to("\0.\0.\0\\", 6);
    const auto at = bytes.find(from);
    QVERIFY(at != std::string::npos);
    bytes.replace(at, from.size(), to);
    std::ofstream(image, std::ios::binary | std::ios::trunc) << bytes;

    QObject context;
    ui::QtDispatcher dispatcher(&context);
    engine::TKavoBurner burner;
    burner.SetDispatcher(&dispatcher);
    auto disc = iso::ImageSource::OpenFile(image);
    QVERIFY(disc.Ok());
    burner.SetDiscSource(disc.Value().get());
    burner.ResetCompilation(1000, 100);
    QVERIFY(burner.ImportDiscSession(1, nullptr));

    appcore::DriveJobs jobs(burner, dispatcher);
    app::TfrmTree tree(burner, jobs);
    QCOMPARE(tree.Grid()->rowCount(), 2);
    const std::string target = Dir.MakeDir("target");
    const std::string inside = Dir.MakeDir("target/inside");
    Dialogs->Files = {QString::fromStdString(inside)};
    tree.MsgClick();
    QCOMPARE(ReadFile(inside + "/fine.txt"), std::string("fine"));
    std::vector<std::string> written;
    for (const auto& e : std::filesystem::recursive_directory_iterator(target))
      written.push_back(e.path().lexically_relative(target).generic_string());
    std::sort(written.begin(), written.end());
    QCOMPARE(written.size(), std::size_t{3});
    QCOMPARE(QString::fromStdString(written[0]), QStringLiteral("inside"));
    QCOMPARE(QString::fromStdString(written[2]), QStringLiteral("inside/fine.txt"));
    QVERIFY2(written[1].rfind("inside/", 0) == 0 && written[1].find("evil") != std::string::npos, written[1].c_str());
    QCOMPARE(ReadFile(target + "/" + written[1]), std::string("payload"));
    QCOMPARE(Dialogs->MessageTexts().size(), 0);
  }

  void theDiscLayoutRemovesAFileAndAFolderFromTheCompilation() {
    const std::string source = Dir.MakeDir("layout");
    Dir.Write("layout/keep.txt", "keep");
    Dir.Write("layout/drop.txt", "drop");
    Dir.Write("layout/sub/inner.txt", "inner");
    Dir.Write("layout/gone/deep/x.txt", "x");
    QObject context;
    ui::QtDispatcher dispatcher(&context);
    engine::TKavoBurner burner;
    burner.SetDispatcher(&dispatcher);
    burner.ResetCompilation(1000, 100);
    burner.AddFolderToCompilation("\\", source, false, false, true, platform::kAttrAnyFile, "*.*");
    QVERIFY(burner.MakeCompilationDir("\\", "empty") != nullptr);

    app::TfrmDiscLayout window(burner);
    QCOMPARE(window.windowTitle(), QStringLiteral("Remove files or directories"));
    QTableWidget& fl = *window.Grid();
    QCOMPARE(fl.horizontalHeaderItem(2)->text(), QStringLiteral("    Date & Time "));
    QCOMPARE(window.Tree()->topLevelItem(0)->text(0), QStringLiteral("CDROOT"));
    QStringList folders = guitest::Children(window.Tree()->topLevelItem(0));
    folders.sort();
    QCOMPARE(folders, (QStringList{"empty", "gone", "sub"}));
    const int drop = RowOf(fl, QStringLiteral("drop.txt"));
    QVERIFY(drop >= 0);
    QCOMPARE(fl.item(drop, 1)->text(), QStringLiteral("        4"));
    QVERIFY(QRegularExpression(QStringLiteral("^\\d\\d-\\d\\d-\\d{4} \\d\\d:\\d\\d:\\d\\d$"))
                .match(fl.item(drop, 2)->text())
                .hasMatch());
    const int sub = RowOf(fl, QStringLiteral("sub"));
    QCOMPARE(fl.item(sub, 1)->text(), QStringLiteral(" < DIR > "));

    // A folder on the grid is refused with the message; the file goes.
    fl.setCurrentCell(sub, 0);
    window.flDeleteClick();
    QCOMPARE(Dialogs->MessageTexts(),
             QStringList{"You can not delete directory, sub is a directory, use tree view to delete directory"});
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    fl.setFocus();
    fl.setCurrentCell(RowOf(fl, QStringLiteral("drop.txt")), 0);
    QTest::keyClick(&fl, Qt::Key_Delete);
    QCOMPARE(RowOf(fl, QStringLiteral("drop.txt")), -1);
    QVERIFY(RowOf(fl, QStringLiteral("keep.txt")) >= 0);

    // The folder with all it holds, from the tree.
    QTreeWidgetItem* root = window.Tree()->topLevelItem(0);
    for (int i = 0; i < root->childCount(); ++i)
      if (root->child(i)->text(0) == QStringLiteral("gone")) window.Tree()->setCurrentItem(root->child(i));
    window.tvDirDeleteClick();
    QVERIFY(burner.FindCompilationDir("\\gone") == nullptr);
    folders = guitest::Children(window.Tree()->topLevelItem(0));
    folders.sort();
    QCOMPARE(folders, (QStringList{"empty", "sub"}));
    QVERIFY(burner.FindCompilationDir("\\gone\\deep") == nullptr);

    // The root is refused; an empty folder shows one empty row that deletes nothing.
    window.Tree()->setCurrentItem(window.Tree()->topLevelItem(0));
    window.tvDirDeleteClick();
    QVERIFY(burner.FindCompilationDir("\\") != nullptr);
    root = window.Tree()->topLevelItem(0);
    for (int i = 0; i < root->childCount(); ++i)
      if (root->child(i)->text(0) == QStringLiteral("empty")) window.Tree()->setCurrentItem(root->child(i));
    QCOMPARE(fl.rowCount(), 1);
    QVERIFY(window.CurrentEntry() == nullptr);
    const std::uint32_t entries = burner.CompilationEntryCount();
    window.flDeleteClick();
    QCOMPARE(burner.CompilationEntryCount(), entries);
    QCOMPARE(Dialogs->MessageTexts().size(), 1);
    // The sources are untouched.
    QVERIFY(std::filesystem::exists(std::filesystem::path(source) / "drop.txt"));
  }

  void longDiscWorkKeepsTheWindowDrawingAndCanBeCancelled() {
    QObject context;
    ui::QtDispatcher dispatcher(&context);
    engine::TKavoBurner burner;
    burner.SetDispatcher(&dispatcher);
    appcore::DriveJobs jobs(burner, dispatcher);
    // Work that would run for a minute unless cancelled; the window's
    // timers keep firing meanwhile.
    int ticks = 0;
    QTimer tick;
    connect(&tick, &QTimer::timeout, [&ticks] { ++ticks; });
    tick.start(10);
    QTimer::singleShot(300, [] {
      QWidget* working = QApplication::activeModalWidget();
      QVERIFY(working != nullptr && working->objectName() == QLatin1String("frmWorking"));
      QTest::mouseClick(Find<QPushButton>(*working, "btnCancel"), Qt::LeftButton);
    });
    QElapsedTimer took;
    took.start();
    const app::WorkOutcome outcome = app::RunWithProgress(
        nullptr, burner, jobs, engine::OperationPhase::Extracting, QStringLiteral("Working"),
        [](engine::TKavoBurner& b) { b.CancelToken()->SleepFor(60000); });
    QCOMPARE(outcome, app::WorkOutcome::Cancelled);
    QVERIFY(took.elapsed() < 10000);
    QVERIFY2(ticks > 10, qPrintable(QString::number(ticks)));

    // Finished work closes the window by itself; a start while another
    // operation holds the program is refused, and the work never runs.
    bool ran = false;
    QCOMPARE(app::RunWithProgress(nullptr, burner, jobs, engine::OperationPhase::Extracting, QStringLiteral("Working"),
                                  [&ran](engine::TKavoBurner&) { ran = true; }),
             app::WorkOutcome::Done);
    QVERIFY(ran);
    QVERIFY(!jobs.Busy());
    const appcore::DriveJobs::HoldId burning = jobs.Begin(appcore::JobKind::Burn);
    QVERIFY(burning != 0);
    ran = false;
    QCOMPARE(app::RunWithProgress(nullptr, burner, jobs, engine::OperationPhase::Extracting, QStringLiteral("Working"),
                                  [&ran](engine::TKavoBurner&) { ran = true; }),
             app::WorkOutcome::NotStarted);
    QCOMPARE(Dialogs->MessageTexts(), QStringList{"ANOTHER OPERATION IS RUNNING"});
    QVERIFY(!ran);
    jobs.End(burning);
    burner.WaitForOperation();
  }

  void helpOpensTheShippedManual() {
    const QString file = app::HelpFile();
    QVERIFY2(!file.isEmpty(), "the manual is not beside the program");
    app::TForm1 form(QString::fromStdString(Dir.Str()), QStringLiteral("3.9"));
    QAction* help = Find<QAction>(form, "btnHelp");
    QVERIFY(help->isEnabled());
    QCOMPARE(help->shortcut(), QKeySequence(Qt::Key_F1));
    help->trigger();
    QWidget* window = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->objectName() == QLatin1String("frmHelp") && w->isVisible()) window = w;
    QVERIFY(window != nullptr);
    const QString text = Find<QTextBrowser>(*window, "HelpBrowser")->toPlainText();
    for (const char* section : {"Burning a disc", "Copying a disc", "Building and burning images",
                                "Erasing a rewritable disc", "Scheduled backups", "Options"})
      QVERIFY2(text.contains(QLatin1String(section)), section);
    window->close();
    QCOMPARE(Dialogs->Log.size(), std::size_t{0});
  }
};

QTEST_MAIN(DriveFormsTest)
#include "drive_forms_test.moc"
