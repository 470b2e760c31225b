// Timings of the desktop program, by hand (not a test):
//   gui_bench [path/to/zantic | --tasks | --schedule]
// 1. process start to the start window painted (zantic --self-test, 5 runs);
// 2. opening a task of 100,000 items, in one folder and in 100 folders;
// 3. dropping a folder of 100,000 files, its size measured at the drop;
// 4. saving those tasks, and a schedule list of 1,000 tasks loaded and
//    checked by the ten-second timer, with resident memory over 10,000 checks;
// with the longest gap between ticks of a 5 ms timer while the window works,
// and the memory each item of an open task costs.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QMimeData>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <malloc.h>
#include <string>

#include <unistd.h>

#include <functional>
#include <vector>

#include "app/main_form.h"
#include "app/schedule_form.h"
#include "app/schedule_run.h"
#include "appcore/schedule.h"
#include "platform/utf8_path.h"
#include "ui/qt_dialogs.h"

namespace {

// Bytes the heap has handed out and not taken back.
long HeapInUse() {
  const struct mallinfo2 info = mallinfo2();
  return static_cast<long>(info.uordblks + info.hblkhd);
}

// Runs `work`, then the event loop until the window is idle; returns the
// elapsed time and the longest gap between timer ticks, in ms.
struct Timing {
  qint64 Elapsed = 0;
  qint64 LongestGap = 0;
};

template <typename Work>
Timing Measure(app::TForm1& form, Work work) {
  QElapsedTimer clock;
  QElapsedTimer sinceTick;
  qint64 longest = 0;
  QTimer ticker;
  ticker.setInterval(5);
  QObject::connect(&ticker, &QTimer::timeout, [&] {
    longest = std::max(longest, sinceTick.restart());
  });
  QSignalSpy done(&form, &app::TForm1::BusyFinished);
  ticker.start();
  clock.start();
  sinceTick.start();
  work();
  longest = std::max(longest, sinceTick.restart());
  if (form.Busy()) done.wait(60000);
  const qint64 elapsed = clock.elapsed();
  // One more turn of the loop: what the window did after its signal counts.
  QApplication::processEvents();
  longest = std::max(longest, sinceTick.elapsed());
  return {elapsed, longest};
}

bool WriteTask(const QString& path, int folders, int itemsPerFolder) {
  std::string text = "My Disc 12_10_26(";
  for (int f = 0; f < folders; ++f) {
    if (folders > 1) text += "Folder " + std::to_string(f) + "(";
    for (int i = 0; i < itemsPerFolder; ++i)
      text += "/home/person/Pictures/holiday/IMG_" + std::to_string(f * itemsPerFolder + i) + ".jpg*2,345,678()#";
    if (folders > 1) text += ")#";
  }
  text += ")#\r\n";
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return false;
  return file.write(text.data(), static_cast<qint64>(text.size())) == static_cast<qint64>(text.size());
}

// The same measure while the window does nothing: on a loaded machine the
// thread waits for a core now and then, whatever it runs.
void BenchIdle() {
  QTemporaryDir dir;
  app::TForm1 form(dir.path(), "3.9");
  form.show();
  QApplication::processEvents();
  const Timing t = Measure(form, [] {
    QEventLoop loop;
    QTimer::singleShot(1000, &loop, &QEventLoop::quit);
    loop.exec();
  });
  std::printf("idle window for 1 s: longest event-loop gap %lld ms\n", static_cast<long long>(t.LongestGap));
}

void BenchStart(const QString& zantic) {
  QTemporaryDir home;
  std::printf("start window painted (process start to the painted line on stdout), 5 runs:");
  for (int run = 0; run < 5; ++run) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("ZANTIC_HOME", home.path());
    process.setProcessEnvironment(env);
    QElapsedTimer clock;
    clock.start();
    process.start(zantic, {"--self-test"});
    if (!process.waitForReadyRead(10000)) {
      std::printf(" failed");
      continue;
    }
    const qint64 painted = clock.elapsed();
    process.waitForFinished(10000);
    std::printf(" %lld", static_cast<long long>(painted));
  }
  std::printf(" ms\n");
}

// Answers the save dialog with one file.
class SaveTo final : public ui::QtDialogs {
 public:
  explicit SaveTo(QString path) : FPath(std::move(path)) {}
  QString SaveFileName(QWidget*, const QString&, const QString&, const QString&) override { return FPath; }

 private:
  QString FPath;
};

void BenchOpen(const QTemporaryDir& dir, int folders, int perFolder) {
  const QString path = dir.filePath(QString("task-%1.mvt").arg(folders));
  if (!WriteTask(path, folders, perFolder)) return;
  app::TForm1 form(dir.path(), "3.9");
  form.show();
  QApplication::processEvents();
  const long before = HeapInUse();
  const Timing t = Measure(form, [&] { form.OpenTaskFile(path); });
  const long after = HeapInUse();
  const double items = static_cast<double>(folders) * perFolder;
  std::printf("open %d items in %d folder(s): %lld ms, longest event-loop gap %lld ms, %.0f bytes per item\n",
              folders * perFolder, folders, static_cast<long long>(t.Elapsed), static_cast<long long>(t.LongestGap),
              static_cast<double>(after - before) / items);
  // Save: the snapshot on the window's thread, the text and the write on a worker.
  SaveTo saveTo(dir.filePath("saved.mvt"));
  ui::SetDialogs(&saveTo);
  bool saved = false;
  QSignalSpy done(&form, &app::TForm1::SaveFinished);
  qint64 call = 0;
  const Timing s = Measure(form, [&] {
    QElapsedTimer clock;
    clock.start();
    form.btnSaveClick([&saved](bool written) { saved = written; });
    call = clock.elapsed();
    if (form.Saving()) done.wait(60000);
  });
  std::printf("save %d items: %lld ms (the click itself %lld ms), longest event-loop gap %lld ms%s\n",
              folders * perFolder, static_cast<long long>(s.Elapsed), static_cast<long long>(call),
              static_cast<long long>(s.LongestGap), saved ? "" : " (failed)");
}

void BenchDrop(const QTemporaryDir& dir, int files) {
  const QString folder = dir.filePath("many");
  QDir().mkpath(folder);
  for (int i = 0; i < files; ++i) {
    QFile file(QString("%1/f%2/file%3.dat").arg(folder).arg(i / 1000).arg(i));
    if (i % 1000 == 0) QDir().mkpath(QString("%1/f%2").arg(folder).arg(i / 1000));
    if (!file.open(QIODevice::WriteOnly)) return;
    file.write("12345", 5);
  }
  app::TForm1 form(dir.path(), "3.9");
  form.show();
  QApplication::processEvents();
  QMimeData mime;
  mime.setUrls({QUrl::fromLocalFile(folder)});
  const Timing t = Measure(form, [&] { form.clBoxDragDrop(&mime, nullptr); });
  const std::int64_t total = appcore::SumNodeSizes(*form.Task().Root);
  std::printf("drop a folder of %d files (%lld bytes measured): %lld ms, longest event-loop gap %lld ms\n", files,
              static_cast<long long>(total), static_cast<long long>(t.Elapsed), static_cast<long long>(t.LongestGap));
}

// Resident memory of the process, from /proc.
long ResidentKiB() {
  long pages = 0, resident = 0;
  if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// A host that never burns: the bench times the list and the check only.
class NoBurns final : public app::TScheduleRunHost {
 public:
  bool StartRun(appcore::TaskTree, bool, std::function<void()>, std::function<void(const app::ScheduledBurnEnd&)>) override {
    return false;
  }
  bool Running() const override { return false; }
  void Abort() override {}
  int Percent() const override { return -1; }
};

// 1,000 tasks: the schedule window loading them, one check of the ten-second
// timer over them, and resident memory across 10,000 checks.
void BenchSchedule(const QTemporaryDir& dir) {
  const QString folder = dir.filePath("schedule-bench");
  const appcore::ScheduleStore store(folder.toStdString());
  const appcore::CalendarDate today = appcore::Today();
  std::vector<appcore::ScheduleTask> rows;
  appcore::TaskSettings settings;
  settings.Description = "Nightly copy of the project folders";
  QElapsedTimer made;
  made.start();
  for (int i = 0; i < 1000; ++i) {
    auto row = store.SaveTask("Task " + std::to_string(i), settings, {{"/home/person/projects/p" + std::to_string(i), "12,345"}},
                              today);
    if (!row.Ok()) return;
    rows.push_back(row.Value());
  }
  if (!store.SaveList(rows).Ok()) return;
  std::printf("1,000 tasks added one by one: %lld ms\n", static_cast<long long>(made.elapsed()));
  std::fflush(stdout);
  // As a list usually is, written long before the program starts: a list
  // written seconds ago is read again on every check.
  std::error_code aged;
  std::filesystem::last_write_time(platform::Utf8Path(store.ListPath()),
                                   std::filesystem::file_time_type::clock::now() - std::chrono::hours(1), aged);
  NoBurns host;
  QElapsedTimer load;
  load.start();
  app::TScheduleForm form(folder, host);
  const qint64 loaded = load.elapsed();
  QElapsedTimer scan;
  scan.start();
  form.Timer1Timer();
  const qint64 scanned = scan.elapsed();
  std::printf("schedule list of %zu tasks: loaded in %lld ms, one timer check %lld ms\n", form.Tasks().size(),
              static_cast<long long>(loaded), static_cast<long long>(scanned));
  std::fflush(stdout);
  const long before = ResidentKiB();
  QElapsedTimer ticks;
  ticks.start();
  for (int i = 0; i < 10000; ++i) form.Timer1Timer();
  const long after = ResidentKiB();
  std::printf("10,000 timer checks: %lld ms (%.2f ms each), resident memory %ld KiB before, %ld KiB after\n",
              static_cast<long long>(ticks.elapsed()), static_cast<double>(ticks.elapsed()) / 10000.0, before, after);
  std::printf("the list file was parsed %zu times in all\n", form.Store().ListReads());
  // Another runner's write is seen by the next check.
  if (!store.RecordBackup("Task 7", today).Ok()) return;
  QElapsedTimer changed;
  changed.start();
  form.Timer1Timer();
  std::printf("one timer check after another runner wrote the list: %lld ms (parsed %zu times in all)\n",
              static_cast<long long>(changed.elapsed()), form.Store().ListReads());
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  ui::InitArtwork();
  QTemporaryDir dir;
  if (argc > 1 && std::string(argv[1]) == "--schedule") {
    BenchSchedule(dir);
    return 0;
  }
  // --tasks: only the task measures, which a change to the task code needs.
  const bool tasksOnly = argc > 1 && std::string(argv[1]) == "--tasks";
  if (argc > 1 && !tasksOnly) BenchStart(QString::fromLocal8Bit(argv[1]));
  BenchIdle();
  BenchOpen(dir, 1, 100000);
  BenchOpen(dir, 100, 1000);
  BenchDrop(dir, 100000);
  if (!tasksOnly) BenchSchedule(dir);
  return 0;
}
