// A burn from the windows, timed (not a test):
//   gui_burn_bench TREE DISC [--checksums] [--repaint MS]
// Opens a task holding TREE's entries in the main window, clicks Burn, then
// Start in the burn dialog, and waits until the dialog's last button comes
// on, with DISC (made beforehand with `zantic-cli vdisc create`) as the only
// recorder. Prints the seconds from the Burn click to the end, the bytes per
// second, and the longest gap between ticks of a 10 ms timer while it ran
// (the time the window's thread was not free), with the burn phase it fell in
// and the CPU time the window's thread spent in it: a long gap with little
// CPU was the thread waiting (for a lock, or for a core on a loaded machine),
// one with much CPU was the thread's own work.
// --repaint MS repaints the dialog and the main window every MS ms, as a
// desktop that redraws them would. The burn's checksum file is off unless
// --checksums is given, so the work matches `zantic-cli burn` without it.
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <utility>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#ifndef _WIN32
#include <time.h>
#endif

#include "app/burning_form.h"
#include "app/main_form.h"
#include "appcore/task_tree.h"
#include "engine/kavo_burner.h"
#include "platform/process.h"
#include "ui/qt_dialogs.h"
#include "vdrive/registration.h"

namespace {

namespace fs = std::filesystem;

// Every box the burn would show is printed and answered with its default:
// on an offscreen screen nobody could click it.
class Unattended final : public ui::QtDialogs {
 public:
  ui::Button Message(QWidget*, const QString& caption, const QString& text, ui::MessageIcon, ui::Buttons,
                     ui::Button defaultButton) override {
    std::fprintf(stderr, "box \"%s\": %s\n", qPrintable(caption), qPrintable(text));
    return defaultButton;
  }
};

std::uintmax_t TreeBytes(const fs::path& path) {
  std::error_code ec;
  if (!fs::is_directory(path, ec)) return fs::file_size(path, ec);
  std::uintmax_t sum = 0;
  for (auto it = fs::recursive_directory_iterator(path, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec))
    if (it->is_regular_file(ec)) sum += it->file_size(ec);
  return sum;
}

std::string WithCommas(std::uintmax_t n) {
  std::string digits = std::to_string(n);
  for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) digits.insert(static_cast<std::size_t>(at), ",");
  return digits;
}

// CPU time of the calling thread in ms; 0 where it is not read.
qint64 ThreadCpuMs() {
#ifndef _WIN32
  timespec t{};
  if (clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t) == 0) return static_cast<qint64>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
#endif
  return 0;
}

const char* PhaseName(engine::OperationPhase p) {
  switch (p) {
    case engine::OperationPhase::Idle: return "idle";
    case engine::OperationPhase::Preparing: return "preparing";
    default: return "burning or closing";
  }
}

// Runs the event loop until `done` holds, looking every 20 ms; the loop
// sleeps in between, so the window's thread takes no core from the burn.
template <typename Done>
bool WaitUntil(Done done, int timeoutMs) {
  QElapsedTimer clock;
  clock.start();
  QEventLoop loop;
  QTimer look;
  QObject::connect(&look, &QTimer::timeout, [&] {
    if (done() || (timeoutMs > 0 && clock.elapsed() > timeoutMs)) loop.quit();
  });
  look.start(20);
  if (!done()) loop.exec();
  return done();
}

int Usage() {
  std::fprintf(stderr, "usage: gui_burn_bench TREE DISC [--checksums] [--repaint MS]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  ui::InitArtwork();
  if (argc < 3) return Usage();
  const fs::path tree = fs::absolute(argv[1]);
  const std::string disc = fs::absolute(argv[2]).string();
  bool checksums = false;
  int repaintMs = 0;
  for (int i = 3; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--checksums") checksums = true;
    else if (a == "--repaint" && i + 1 < argc) repaintMs = std::atoi(argv[++i]);
    else return Usage();
  }
  platform::SetEnvironment("ZANTIC_VDISC", disc);
  vdrive::RegisterVirtualRecorders();
  Unattended dialogs;
  ui::SetDialogs(&dialogs);

  const fs::path home = fs::temp_directory_path() / ("gui-burn-bench-" + std::to_string(QCoreApplication::applicationPid()));
  fs::create_directories(home / "program");
  int rc = 1;
  {
    app::TForm1 form(QString::fromStdString((home / "program").string()), QStringLiteral("3.9"));
    form.Options().EjectDone = false;
    form.Options().Checksums = checksums;
    engine::TKavoBurner& burner = form.Burner();
    if (!burner.ASPIInitialized() && !burner.InitASPI(true, "")) {
      std::fprintf(stderr, "no drive layer\n");
      return 1;
    }
    bool found = false;
    for (const std::string& id : burner.DeviceList()) {
      burner.SelectDevice(id);
      if (burner.DriveLocation() == disc) {
        found = true;
        if (auto* drives = form.findChild<QComboBox*>(QStringLiteral("cbDrives")); drives != nullptr)
          if (const int at = drives->findText(QString::fromStdString(id)); at >= 0) drives->setCurrentIndex(at);
        break;
      }
    }
    if (!found) {
      std::fprintf(stderr, "the recorder of %s is not there\n", disc.c_str());
      return 1;
    }

    // The task: TREE's entries at the root, as `zantic-cli burn TREE` lays them.
    appcore::TaskTree task = appcore::NewTask("BENCH");
    std::map<std::string, fs::path> entries;  // sorted, as a person's task would be
    for (const auto& e : fs::directory_iterator(tree)) entries.emplace(e.path().filename().string(), e.path());
    std::uintmax_t bytes = 0;
    for (const auto& [name, path] : entries) {
      const std::uintmax_t size = TreeBytes(path);
      bytes += size;
      task.Root->AddItem(path.string(), WithCommas(size));
    }
    const fs::path taskFile = home / "bench.mvt";
    if (!appcore::WriteTaskFile(taskFile.string(), *task.Root).Ok()) return 1;
    form.show();
    form.OpenTaskFile(QString::fromStdString(taskFile.string()));
    WaitUntil([&] { return !form.Busy(); }, 0);

    QElapsedTimer sinceTick, clock;
    qint64 longest = 0, longestAt = 0, longestCpu = 0;
    qint64 cpuAtTick = ThreadCpuMs();
    const char* longestIn = "";
    std::map<int, int> gaps;  // gaps of 50 ms and more, by 50 ms bucket
    QTimer ticker;
    ticker.setInterval(10);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
      const qint64 gap = sinceTick.restart();
      const qint64 cpu = ThreadCpuMs();
      const qint64 gapCpu = cpu - std::exchange(cpuAtTick, cpu);
      if (gap >= 50) ++gaps[static_cast<int>(gap / 50) * 50];
      if (gap > longest) {
        longest = gap;
        longestAt = clock.elapsed();
        longestCpu = gapCpu;
        longestIn = PhaseName(burner.ProgressNow().Phase);
      }
    });
    QTimer repaint;
    app::TBurningForm& dialog = form.BurningForm();
    QObject::connect(&repaint, &QTimer::timeout, [&] {
      form.repaint();
      if (dialog.isVisible()) dialog.repaint();
    });

    clock.start();
    sinceTick.start();
    cpuAtTick = ThreadCpuMs();
    ticker.start();
    if (repaintMs > 0) repaint.start(repaintMs);
    form.bBurnClick();
    WaitUntil([&] { return dialog.isVisible() && dialog.cbspeed->count() > 0; }, 30000);
    if (!dialog.isVisible()) {
      std::fprintf(stderr, "the burn dialog did not open\n");
      return 1;
    }
    const qint64 opened = clock.elapsed();
    dialog.btnStartBurn->click();
    WaitUntil([&] { return dialog.btnEject->isEnabled(); }, 0);
    const qint64 elapsed = clock.elapsed();
    ticker.stop();
    repaint.stop();

    const QStringList log = dialog.LogLines();
    const bool failed = log.join('\n').contains(QStringLiteral("with error"));
    std::printf("dialog burn of %s bytes: %.2f s from the Burn click (dialog ready after %lld ms), %.1f MB/s%s\n",
                WithCommas(bytes).c_str(), static_cast<double>(elapsed) / 1000.0, static_cast<long long>(opened),
                static_cast<double>(bytes) / 1e6 / (static_cast<double>(elapsed) / 1000.0), failed ? " FAILED" : "");
    std::printf("longest event-loop gap %lld ms (the window's thread on a core %lld ms of it), at %.2f s (%s); gaps of "
                "50 ms and more:",
                static_cast<long long>(longest), static_cast<long long>(longestCpu),
                static_cast<double>(longestAt) / 1000.0, longestIn);
    if (gaps.empty()) std::printf(" none");
    for (const auto& [bucket, count] : gaps) std::printf(" %d-%d ms: %d", bucket, bucket + 49, count);
    std::printf("\n");
    if (failed) std::fprintf(stderr, "%s\n", qPrintable(log.join('\n')));
    rc = failed ? 1 : 0;
  }
  ui::SetDialogs(nullptr);
  vdrive::UnregisterVirtualRecorders();
  std::error_code ec;
  fs::remove_all(home, ec);
  return rc;
}
