// The component as a window meets it: every event on the dispatcher's
// thread, cancels that end each operation quickly, cancel tokens that do not
// outlive their operation, and the wait for a disc asked through the
// questions interface.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <future>
#include <mutex>
#include <optional>
#include <random>
#include <set>
#include <thread>
#include <utility>
#include <vector>

#include "appcore/burn_run.h"
#include "appcore/drive_wait.h"
#include "appcore/task_tree.h"
#include "engine/device/transport.h"
#include "engine/dispatch/dispatcher.h"
#include "engine/kavo_burner.h"
#include "engine/texts.h"
#include "vdrive/engine_fixture.h"
#include "vdrive/registration.h"

namespace vdrivetest {
namespace {

using Clock = std::chrono::steady_clock;
using engine::OperationPhase;
using engine::TKavoBurner;
using vdrive::TMedia;

// The recorder with `Before` run ahead of every command it gets.
class THookedDrive final : public device::TPassThroughDrive {
 public:
  using Hook = std::function<void(std::span<const std::uint8_t> cdb)>;
  THookedDrive(std::unique_ptr<device::TPassThroughDrive> inner, Hook before)
      : FInner(std::move(inner)), FBefore(std::move(before)) {}
  bool Open() override { return FInner->Open(); }
  void Close() override { FInner->Close(); }
  bool IsOpen() const override { return FInner->IsOpen(); }
  platform::ScsiOutcome Execute(std::span<const std::uint8_t> cdb, platform::ScsiDirection direction,
                                std::span<std::uint8_t> data, std::span<std::uint8_t> sense,
                                std::uint32_t timeoutMs) override {
    FBefore(cdb);
    return FInner->Execute(cdb, direction, data, sense, timeoutMs);
  }
  std::optional<platform::ScsiAddress> Address() override { return FInner->Address(); }
  char DriveLetter() const override { return FInner->DriveLetter(); }
  std::string Location() const override { return FInner->Location(); }

 private:
  std::unique_ptr<device::TPassThroughDrive> FInner;
  Hook FBefore;
};

class EngineThreads : public EngineRecorderTest {
 protected:
  EngineThreads() : EngineRecorderTest("vdrive-threads") {}
  void Attach(TMedia media, std::uint32_t blocks = 30000) {
    AttachRecorder(media, blocks);
    if (HasFatalFailure()) return;
    Burner.OnWriteDone = [this](TKavoBurner&, const std::string& e) {
      Note();
      Result = e;
      Ended = true;
    };
    Burner.OnEraseDone = [this](TKavoBurner&, bool e, const std::string&) {
      Note();
      EraseError = e;
      Ended = true;
    };
    Burner.OnFinalizingTrack = [this](TKavoBurner&) { Note(); };
    Burner.OnDebugMessage = [this](device::TSCSIDevice&, const std::string&, std::uint8_t) { Note(); };
    Burner.OnProgress = [this](TKavoBurner&, const engine::Progress&) { Note(); };
    Burner.SetDispatcher(&Queue);
    Source = Dir.Str() + "/src";
    std::filesystem::create_directories(Source);
    for (int i = 0; i < 6; ++i)
      std::ofstream(Source + "/f" + std::to_string(i) + ".bin") << std::string(300000, static_cast<char>('a' + i));
  }
  void TearDown() override {
    Burner.CancelOperation();
    Burner.WaitForOperation();
    Queue.RunPending(std::chrono::milliseconds(0));
    Burner.SetDispatcher(nullptr);
    DetachRecorder();
  }
  // From now on `before` runs ahead of every command the recorder gets.
  void BeforeEachCommand(THookedDrive::Hook before) {
    device::FinalizeTransport();
    device::RegisterDriveProvider("vdrive-threads", [this, before] {
      std::vector<std::unique_ptr<device::TPassThroughDrive>> drives;
      drives.push_back(std::make_unique<THookedDrive>(vdrive::MakePassThroughDrive(Shared), before));
      return drives;
    });
    ASSERT_TRUE(Burner.InitASPI(true, ""));
    for (const auto& line : Burner.DeviceList())
      if (line.find("VIRTUAL RECORDER") != std::string::npos) Burner.SelectDevice(line);
  }
  // Where each event ran; read on the test thread only.
  void Note() {
    std::lock_guard lock(FThreadsMutex);
    EventThreads.insert(std::this_thread::get_id());
    ++Events;
  }
  // Runs the queue until the operation's end event or the time is up.
  bool Pump(std::chrono::milliseconds limit) {
    const auto until = Clock::now() + limit;
    while (!Ended && Clock::now() < until) Queue.RunPending(std::chrono::milliseconds(20));
    return Ended;
  }
  void Fill() {
    Burner.ResetCompilation(600000, 20000);
    Burner.AddFolderToCompilation("\\", Source, false, false, true, platform::kAttrAnyFile, "*.*");
  }
  std::string Burn() {
    Ended = false;
    Fill();
    Burner.StartCompilationBurn();
    EXPECT_TRUE(Pump(std::chrono::seconds(60)));
    Burner.WaitForOperation();
    return Result;
  }
  // Runs `work` on a worker thread while the test thread runs the queue.
  template <typename F>
  auto OnWorker(F work) {
    auto result = std::async(std::launch::async, work);
    while (result.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready)
      Queue.RunPending(std::chrono::milliseconds(20));
    Queue.RunPending(std::chrono::milliseconds(0));
    return result.get();
  }

  dispatch::QueueDispatcher Queue;
  std::string Source;
  bool EraseError = false;
  std::mutex FThreadsMutex;
  std::set<std::thread::id> EventThreads;
  int Events = 0;
};

TEST_F(EngineThreads, EveryEventOfABurnAVerifyAnImportAndAnEraseArrivesOnTheDispatcherThread) {
  Attach(TMedia::CdRw);
  Burner.SetRecordWrites(true);
  ASSERT_EQ(Burn(), "");
  EXPECT_EQ(OnWorker([this] { return Burner.VerifyLastBurn(nullptr); }), "");
  Burner.ResetCompilation(600000, 20000);
  EXPECT_TRUE(OnWorker([this] { return Burner.ImportDiscSession(-1, nullptr); }));
  EXPECT_EQ(Burner.CompilationEntryCount(), 6u);
  const std::string target = Dir.Str() + "/f0.bin";
  const engine::TFEntry* f0 = Burner.Tables().FindEntry(*Burner.Tables().Root(), "f0.bin");
  ASSERT_NE(f0, nullptr);
  EXPECT_EQ(OnWorker([&] { return Burner.ExtractDiscFile(*f0, target); }), 1);
  Ended = false;
  ASSERT_TRUE(Burner.Erase(1));
  EXPECT_TRUE(Pump(std::chrono::seconds(60)));
  EXPECT_FALSE(EraseError);
  EXPECT_GT(Events, 10);
  EXPECT_EQ(EventThreads, std::set<std::thread::id>{std::this_thread::get_id()});
}

// The erase's percentage comes as events on the dispatcher's thread: 0 as
// it begins, rising while the drive formats, 100 just before the end.
TEST_F(EngineThreads, AnErasesPercentageArrivesRisingAndEndsAtItsEnd) {
  Attach(TMedia::BdRe, 64000);
  vdrive::TTimings t{0, 0, 0, 0, 0, 0};
  t.Format = 1000000;  // a certified format takes four times this: 4,000 s
  Shared->SetTimings(t);
  std::vector<std::pair<int, bool>> told;  // the percentage, and whether the end came before it
  Burner.OnEraseProgress = [this, &told](TKavoBurner&, int percent) {
    Note();
    told.emplace_back(percent, Ended);
  };
  Ended = false;
  ASSERT_TRUE(Burner.Erase(0));
  EXPECT_TRUE(Pump(std::chrono::seconds(60)));
  EXPECT_FALSE(EraseError);
  EXPECT_EQ(EventThreads, std::set<std::thread::id>{std::this_thread::get_id()});
  ASSERT_GE(told.size(), 20u);
  EXPECT_EQ(told.front().first, 0);
  EXPECT_EQ(told.back(), std::make_pair(100, false));
  for (std::size_t i = 1; i < told.size(); ++i) EXPECT_GT(told[i].first, told[i - 1].first) << i;
}

// A drive that takes 10 ms a write and, after 40 writes, stays busy with a
// long write: the writer pauses (for real) and retries until cancelled.
class TSlowDrive final : public device::TPassThroughDrive {
 public:
  explicit TSlowDrive(std::unique_ptr<device::TPassThroughDrive> inner) : FInner(std::move(inner)) {}
  bool Open() override { return FInner->Open(); }
  void Close() override { FInner->Close(); }
  bool IsOpen() const override { return FInner->IsOpen(); }
  platform::ScsiOutcome Execute(std::span<const std::uint8_t> cdb, platform::ScsiDirection direction,
                                std::span<std::uint8_t> data, std::span<std::uint8_t> sense,
                                std::uint32_t timeoutMs) override {
    if (cdb[0] == 0x2A) {
      // The drive's own pace: the writer must wait on it.
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      if (++FWrites > 40 && sense.size() >= 14) {
        std::fill(sense.begin(), sense.end(), std::uint8_t{0});
        sense[0] = 0x70;
        sense[2] = 0x02;  // NOT READY
        sense[7] = 10;
        sense[12] = 0x04;  // LONG WRITE IN PROGRESS
        sense[13] = 0x08;
        platform::ScsiOutcome busy;
        busy.CallOk = true;
        busy.ScsiStatus = 0x02;
        return busy;
      }
    }
    return FInner->Execute(cdb, direction, data, sense, timeoutMs);
  }
  std::optional<platform::ScsiAddress> Address() override { return FInner->Address(); }
  char DriveLetter() const override { return FInner->DriveLetter(); }
  std::string Location() const override { return FInner->Location(); }

 private:
  std::unique_ptr<device::TPassThroughDrive> FInner;
  int FWrites = 0;
};

// With real pauses, only a cancel ends these: the burn and the image burn
// on a drive that stays busy, the erase of a blank whose end the drive never
// reports (its clock stands still).
TEST_F(EngineThreads, ACancelAtARandomPointEndsABurnAnImageBurnAndAnEraseWithinASecond) {
  std::mt19937 random(17);
  const std::string image = Dir.Str() + "/in.iso";
  std::ofstream(image) << std::string(4u << 20, 'i');
  for (int round = 0; round < 6; ++round) {
    Attach(round % 3 == 2 ? TMedia::CdRw : TMedia::DvdPlusR);
    if (round % 3 != 2) {
      device::FinalizeTransport();
      device::RegisterDriveProvider("vdrive-threads", [this] {
        std::vector<std::unique_ptr<device::TPassThroughDrive>> drives;
        drives.push_back(std::make_unique<TSlowDrive>(vdrive::MakePassThroughDrive(Shared)));
        return drives;
      });
      ASSERT_TRUE(Burner.InitASPI(true, ""));
      for (const auto& line : Burner.DeviceList())
        if (line.find("VIRTUAL RECORDER") != std::string::npos) Burner.SelectDevice(line);
    }
    Burner.SetSleeper(device::RealSleeper());
    Burner.SetCacheSize(2097152);
    std::ofstream(Source + "/big.bin") << std::string(6u << 20, 'b');
    Ended = false;
    Result.clear();
    bool started = false;
    if (round % 3 == 0) {
      Fill();
      started = Burner.StartCompilationBurn();
    } else if (round % 3 == 1) {
      started = Burner.StartImageFileBurn(image);
    } else {
      started = Burner.Erase(0);
    }
    ASSERT_TRUE(started) << "round " << round;
    const auto wait = std::chrono::milliseconds(50 + random() % 700);
    EXPECT_FALSE(Pump(wait)) << "round " << round << ": ended without a cancel";
    const auto cancelled = Clock::now();
    Burner.CancelOperation();
    EXPECT_TRUE(Pump(std::chrono::seconds(5))) << "round " << round;
    EXPECT_LE(Clock::now() - cancelled, std::chrono::seconds(1)) << "round " << round;
    if (round % 3 == 2)
      EXPECT_TRUE(EraseError) << "a cancelled wait has not seen the blank end";
    else
      EXPECT_EQ(Result, engine::texts::kOperationAborted) << "round " << round;
    Burner.WaitForOperation();
    EXPECT_EQ(Burner.ProgressNow().Phase, OperationPhase::Idle);
  }
}

// One abort used to stay set for the whole process: the next import read
// nothing yet reported success, and the next session left every earlier
// file out.
TEST_F(EngineThreads, AfterAnAbortedBurnAndImageBuildTheNextSessionKeepsEveryEarlierFile) {
  Attach(TMedia::CdR);
  ASSERT_EQ(Burn(), "");
  // An aborted image build, and a burn aborted while its cache fills.
  Fill();
  Ended = false;
  Burner.OnAddFile = nullptr;
  Burner.WriteImageFile(Dir.Str() + "/aborted.iso", engine::SaveMode::Threaded);
  Burner.CancelOperation();
  ASSERT_TRUE(Pump(std::chrono::seconds(30)));
  Burner.WaitForOperation();
  EXPECT_TRUE(Burner.CancelRequested());
  // The burn's own import announces itself on this thread: the cancel comes
  // while the burn prepares, before any write.
  Fill();
  Ended = false;
  const auto writesBefore = Shared->CommandLog().size();
  Burner.SetSessionToImport(-1);
  Burner.OnDebugMessage = [this](device::TSCSIDevice&, const std::string& m, std::uint8_t) {
    if (m.find("IMPORTING SESSION") != std::string::npos) Burner.CancelOperation();
  };
  Burner.StartCompilationBurn();
  ASSERT_TRUE(Pump(std::chrono::seconds(30)));
  Burner.WaitForOperation();
  Burner.SetSessionToImport(0);
  Burner.OnDebugMessage = nullptr;
  ASSERT_EQ(Result, engine::texts::kOperationAborted);
  for (std::size_t i = writesBefore; i < Shared->CommandLog().size(); ++i)
    ASSERT_NE(Shared->CommandLog()[i].Opcode(), 0x2A) << "the aborted burn wrote";

  // The next session with the last one imported.
  std::ofstream(Source + "/new.txt") << "new";
  Burner.ResetCompilation(600000, 20000);
  ASSERT_TRUE(Burner.ImportDiscSession(-1, nullptr));
  EXPECT_EQ(Burner.CompilationEntryCount(), 6u);
  Burner.AddFileToCompilation("\\", Source + "/new.txt", false);
  Ended = false;
  Burner.StartCompilationBurn();
  ASSERT_TRUE(Pump(std::chrono::seconds(60)));
  Burner.WaitForOperation();
  ASSERT_EQ(Result, "");
  Burner.ResetCompilation(600000, 20000);
  ASSERT_TRUE(Burner.ImportDiscSession(-1, nullptr));
  EXPECT_EQ(Burner.CompilationEntryCount(), 7u);
  const engine::TFEntry* f5 = Burner.Tables().FindEntry(*Burner.Tables().Root(), "f5.bin");
  ASSERT_NE(f5, nullptr);
  const std::string out = Dir.Str() + "/f5.out";
  ASSERT_EQ(Burner.ExtractDiscFile(*f5, out), 1);
  EXPECT_EQ(std::filesystem::file_size(out), 300000u);
}

TEST_F(EngineThreads, ACancelledImportReportsFailure) {
  Attach(TMedia::CdR);
  ASSERT_EQ(Burn(), "");
  Burner.ResetCompilation(600000, 20000);
  // Cancelled from inside the walk, as a window's cancel button would.
  Burner.OnDebugMessage = [this](device::TSCSIDevice&, const std::string&, std::uint8_t) {
    Burner.CancelOperation();
  };
  EXPECT_FALSE(Burner.ImportDiscSession(-1, nullptr));
  EXPECT_LT(Burner.CompilationEntryCount(), 6u);
}

// Holds the burn's first WRITE until `Open` is called: a reader on another
// thread sees the writing phase however the threads are scheduled (an 8 MiB
// burn on a starved machine was over before the reader ran).
struct TWriteGate {
  std::mutex Mutex;
  std::condition_variable Changed;
  bool IsOpen = false;
  void Open() {
    {
      std::lock_guard lock(Mutex);
      IsOpen = true;
    }
    Changed.notify_all();
  }
  void Pass(std::span<const std::uint8_t> cdb) {
    if (cdb.empty() || (cdb[0] != 0x2A && cdb[0] != 0xAA)) return;
    std::unique_lock lock(Mutex);
    // The bound only keeps a broken reader from hanging the test.
    Changed.wait_for(lock, std::chrono::seconds(30), [this] { return IsOpen; });
  }
};

TEST_F(EngineThreads, TheProgressSnapshotFollowsTheBurn) {
  Attach(TMedia::DvdPlusR);
  EXPECT_EQ(Burner.ProgressNow().Phase, OperationPhase::Idle);
  auto gate = std::make_shared<TWriteGate>();
  BeforeEachCommand([gate](std::span<const std::uint8_t> cdb) { gate->Pass(cdb); });
  if (HasFatalFailure()) return;
  std::ofstream(Source + "/big.bin") << std::string(8u << 20, 'b');
  Fill();
  Ended = false;
  std::set<OperationPhase> seen;
  std::uint64_t most = 0, total = 0;
  std::atomic<bool> stop{false};
  // Another thread reads while the writer writes: TSan checks the lock.
  std::thread reader([&] {
    while (!stop) {
      const auto p = Burner.ProgressNow();
      seen.insert(p.Phase);
      if (p.Phase == OperationPhase::Writing) gate->Open();
      most = std::max(most, p.BytesWritten);
      if (p.BytesTotal != 0) total = p.BytesTotal;
      EXPECT_LE(p.BytesWritten, p.BytesTotal);
      EXPECT_LE(p.CacheFillPercent, 100);
    }
  });
  const bool started = Burner.StartCompilationBurn();
  Pump(std::chrono::seconds(60));
  Burner.WaitForOperation();
  stop = true;
  reader.join();
  ASSERT_TRUE(started);
  EXPECT_EQ(Result, "");
  EXPECT_EQ(seen.count(OperationPhase::Writing), 1u);
  EXPECT_EQ(total, std::uint64_t{Burner.ImageSectors()} * 2048);
  EXPECT_GT(most, 0u);
  EXPECT_EQ(Burner.ProgressNow().Phase, OperationPhase::Idle);
}

// Answers Retry a number of times, then Cancel.
class TCountingAsk final : public engine::Interaction {
 public:
  explicit TCountingAsk(int retries) : FRetries(retries) {}
  engine::NotReadyAnswer DriveNotReady(const engine::DriveQuestion& q) override {
    ++Asked;
    Text = q.Text;
    if (OnAsk) OnAsk();
    return Asked <= FRetries ? engine::NotReadyAnswer::Retry : engine::NotReadyAnswer::Cancel;
  }
  engine::NotReadyAnswer InsertDisc(const engine::DriveQuestion&) override { return engine::NotReadyAnswer::Cancel; }
  engine::OverwriteAnswer OverwriteFile(const std::string&) override { return engine::OverwriteAnswer::Skip; }
  void Notice(const engine::DriveNotice&) override { ++Told; }
  int Asked = 0;
  int Told = 0;
  std::string Text;
  std::function<void()> OnAsk;

 private:
  int FRetries;
};

TEST_F(EngineThreads, TheWaitForADiscAsksThroughTheInterfaceAsTheOptionsSay) {
  Attach(TMedia::CdR);
  vdrive::TFaults never;
  never.NeverReady = true;
  Shared->SetFaults(never);
  appcore::DiscWaitSettings settings;
  settings.Text = "insert a disc";
  settings.RetryPauseMs = 5000;

  // Ask: the person is asked; Retry after the disc went in finds it ready.
  TCountingAsk ask(5);
  ask.OnAsk = [&] {
    if (ask.Asked == 2) Shared->SetFaults({});
  };
  const auto before = Clock.Now;
  EXPECT_EQ(appcore::WaitForDisc(Burner, ask, settings), appcore::DiscWait::Ready);
  EXPECT_EQ(ask.Asked, 2);
  EXPECT_EQ(ask.Text, "insert a disc");
  EXPECT_GE(Clock.Now - before, 10000);

  // Cancel in the question ends the wait; "Cancel the task." asks nobody.
  Shared->SetFaults(never);
  TCountingAsk refuse(0);
  EXPECT_EQ(appcore::WaitForDisc(Burner, refuse, settings), appcore::DiscWait::Cancelled);
  EXPECT_EQ(refuse.Asked, 1);
  settings.Action = appcore::NotReadyAction::Cancel;
  TCountingAsk silent(5);
  EXPECT_EQ(appcore::WaitForDisc(Burner, silent, settings), appcore::DiscWait::Cancelled);
  EXPECT_EQ(silent.Asked, 0);

  // The command line's answers: retries from its options, then give up.
  settings.Action = appcore::NotReadyAction::Ask;
  engine::NonInteractiveAnswers answers;
  answers.NotReadyRetries = 3;
  engine::NonInteractive unattended(answers);
  EXPECT_EQ(appcore::WaitForDisc(Burner, unattended, settings), appcore::DiscWait::Cancelled);
  EXPECT_EQ(unattended.QuestionsAsked(), 4);
}

}  // namespace
}  // namespace vdrivetest

namespace vdrivetest {
namespace {

// The walk of a large tree takes minutes: inside an operation (a burn's
// preparation on its worker) it stops once the operation is cancelled, and
// the task is reported cut short rather than burnt in part. Outside one, the
// cancel of the last operation stops no later add.
TEST_F(EngineThreads, AWalkStopsWithItsCancelledOperationAndAStaleCancelStopsNoLaterAdd) {
  Attach(TMedia::CdR);
  const std::string tree = Dir.Str() + "/tree";
  for (int d = 0; d < 20; ++d) {
    const std::string folder = tree + "/d" + std::to_string(d);
    std::filesystem::create_directories(folder);
    for (int f = 0; f < 10; ++f) std::ofstream(folder + "/f" + std::to_string(f) + ".txt", std::ios::binary) << "x";
  }
  appcore::TaskTree task = appcore::NewTask("Walk");
  task.Root->AddItem(tree, "1 KB");
  std::uint8_t added = 99;
  std::optional<base::Error> refused;
  std::uint32_t entries = 1;
  Ended = false;
  ASSERT_TRUE(Burner.StartBackground(
      OperationPhase::Preparing,
      [&](TKavoBurner& b) {
        b.ResetCompilation(600000, 20000);
        b.CancelOperation();
        added = b.AddFolderToCompilation("\\", tree, false, false, true, platform::kAttrAnyFile, "*.*");
        entries = b.CompilationEntryCount();
        auto r = appcore::PrepareCompilation(task, b, false, 0);
        if (!r.Ok()) refused = r.Err();
      },
      [this](TKavoBurner&) { Ended = true; }));
  ASSERT_TRUE(Pump(std::chrono::seconds(30)));
  EXPECT_EQ(added, 0);
  EXPECT_EQ(entries, 0u);
  ASSERT_TRUE(refused.has_value());
  EXPECT_EQ(refused->Kind, base::ErrorKind::Cancelled);
  EXPECT_EQ(refused->Message, engine::texts::kOperationAborted);

  // The token of that operation stays cancelled; an add of the caller's own
  // takes the whole tree.
  ASSERT_TRUE(Burner.CancelRequested());
  Burner.ResetCompilation(600000, 20000);
  EXPECT_EQ(Burner.AddFolderToCompilation("\\", tree, false, false, true, platform::kAttrAnyFile, "*.*"), 1);
  EXPECT_EQ(Burner.CompilationEntryCount(), 220u);  // files and folders
  EXPECT_EQ(Burner.CompilationDirCount(), 20u);
  Burner.ResetCompilation(600000, 20000);
  auto whole = appcore::PrepareCompilation(task, Burner, false, 0);
  ASSERT_TRUE(whole.Ok());
  EXPECT_EQ(Burner.CompilationEntryCount(), 221u);
}

TEST_F(EngineThreads, BackgroundWorkLeavesTheCallerFreeAndEndsOnCancelAndOnDestruction) {
  Attach(TMedia::CdR);
  ASSERT_EQ(Burn(), "");
  // An import and a quick image write on the operation's worker; their
  // events and the end come to this thread.
  bool imported = false;
  Ended = false;
  Burner.ResetCompilation(600000, 20000);
  ASSERT_TRUE(Burner.StartBackground(
      OperationPhase::Importing, [&](TKavoBurner& b) { imported = b.ImportDiscSession(-1, nullptr); },
      [this](TKavoBurner&) { Ended = true; }));
  EXPECT_FALSE(Burner.StartCompilationBurn()) << "one operation at a time";
  EXPECT_EQ(Result, engine::texts::kAnotherOperation);
  Ended = false;
  ASSERT_TRUE(Pump(std::chrono::seconds(30)));
  EXPECT_TRUE(imported);
  EXPECT_EQ(Burner.CompilationEntryCount(), 6u);
  const std::string image = Dir.Str() + "/quick.iso";
  Ended = false;
  Result = "not ended";
  bool finished = false;
  ASSERT_TRUE(Burner.StartBackground(
      OperationPhase::Writing, [&](TKavoBurner& b) { b.WriteImageFile(image, engine::SaveMode::Quick); },
      [&](TKavoBurner&) { finished = true; }));
  const auto until = Clock::now() + std::chrono::seconds(30);
  while (!finished && Clock::now() < until) Queue.RunPending(std::chrono::milliseconds(20));
  EXPECT_EQ(Result, "");
  EXPECT_TRUE(std::filesystem::exists(image));
  EXPECT_EQ(EventThreads, std::set<std::thread::id>{std::this_thread::get_id()});

  // A wait for a disc that never comes, with real pauses: a cancel ends it.
  vdrive::TFaults never;
  never.NeverReady = true;
  Shared->SetFaults(never);
  Burner.SetSleeper(device::RealSleeper());
  auto waitForever = [](TKavoBurner& b, appcore::DiscWait& outcome) {
    engine::NonInteractiveAnswers answers;
    answers.NotReadyRetries = 1000;
    engine::NonInteractive unattended(answers);
    appcore::DiscWaitSettings settings;
    settings.RetryPauseMs = 5000;
    const auto token = b.CancelToken();
    settings.Cancel = token.get();
    outcome = appcore::WaitForDisc(b, unattended, settings);
  };
  appcore::DiscWait outcome = appcore::DiscWait::Ready;
  Ended = false;
  ASSERT_TRUE(Burner.StartBackground(
      OperationPhase::Preparing, [&](TKavoBurner& b) { waitForever(b, outcome); }, [this](TKavoBurner&) { Ended = true; }));
  EXPECT_FALSE(Pump(std::chrono::milliseconds(300)));
  const auto cancelled = Clock::now();
  Burner.CancelOperation();
  EXPECT_TRUE(Pump(std::chrono::seconds(5)));
  EXPECT_LE(Clock::now() - cancelled, std::chrono::seconds(1));
  EXPECT_EQ(outcome, appcore::DiscWait::Cancelled);

  // Destroying a component whose work still runs cancels and joins it.
  appcore::DiscWait other = appcore::DiscWait::Ready;
  auto second = std::make_unique<TKavoBurner>();
  std::promise<void> waiting;
  ASSERT_TRUE(second->StartBackground(
      OperationPhase::Preparing,
      [&](TKavoBurner& b) {
        waiting.set_value();
        waitForever(b, other);
      },
      nullptr));
  ASSERT_EQ(waiting.get_future().wait_for(std::chrono::seconds(20)), std::future_status::ready);
  const auto destroyed = Clock::now();
  second.reset();
  EXPECT_LE(Clock::now() - destroyed, std::chrono::seconds(1));
  EXPECT_EQ(other, appcore::DiscWait::Cancelled);
}

}  // namespace
}  // namespace vdrivetest

namespace vdrivetest {
namespace {

class EngineStarts : public EngineThreads {
 protected:
  // From now on every command of the recorder takes `lag`, as on a drive
  // spinning up or a slow USB bridge. Commands sent from the test's own
  // thread are counted: a start that talks to the drive before it returns
  // keeps the window's thread for as long as the drive takes.
  void Lag(std::chrono::milliseconds lag) {
    const std::thread::id caller = std::this_thread::get_id();
    BeforeEachCommand([this, lag, caller](std::span<const std::uint8_t>) {
      if (std::this_thread::get_id() == caller) ++CommandsOnCaller;
      std::this_thread::sleep_for(lag);  // the lag itself is what the tests are about
    });
  }
  // How many commands `start` sent before it returned.
  template <typename F>
  int CommandsDuring(F start) {
    const int before = CommandsOnCaller;
    start();
    return CommandsOnCaller - before;
  }
  std::atomic<int> CommandsOnCaller{0};
};

TEST_F(EngineStarts, EveryStartReturnsAtOnceOnASlowDriveAndEndsThroughTheDispatcher) {
  Attach(TMedia::CdRw);
  Lag(std::chrono::milliseconds(30));
  std::uint32_t next = 0;
  ASSERT_GT(CommandsDuring([&] { Burner.ReadNextWritableAddress(next); }), 0) << "the count misses this thread's commands";
  const std::string image = Dir.Str() + "/threaded.iso";
  Fill();
  Ended = false;
  EXPECT_EQ(CommandsDuring([&] { Burner.WriteImageFile(image, engine::SaveMode::Threaded); }), 0);
  ASSERT_TRUE(Pump(std::chrono::seconds(60)));
  EXPECT_EQ(Result, "");
  Burner.WaitForOperation();
  EXPECT_EQ(std::filesystem::file_size(image), std::uint64_t{Burner.ImageSectors()} * 2048);

  Ended = false;
  Result = "not ended";
  EXPECT_EQ(CommandsDuring([&] { EXPECT_TRUE(Burner.StartCompilationBurn()); }), 0);
  EXPECT_FALSE(Ended) << "the end came before the start returned";
  ASSERT_TRUE(Pump(std::chrono::seconds(60)));
  EXPECT_EQ(Result, "");
  Burner.WaitForOperation();

  Ended = false;
  EraseError = true;
  EXPECT_EQ(CommandsDuring([&] { EXPECT_TRUE(Burner.Erase(1)); }), 0);
  ASSERT_TRUE(Pump(std::chrono::seconds(60)));
  EXPECT_FALSE(EraseError);
  Burner.WaitForOperation();

  Ended = false;
  Result = "not ended";
  EXPECT_EQ(CommandsDuring([&] { EXPECT_TRUE(Burner.StartImageFileBurn(image)); }), 0);
  ASSERT_TRUE(Pump(std::chrono::seconds(60)));
  EXPECT_EQ(Result, "");
  Burner.WaitForOperation();
  EXPECT_EQ(EventThreads, std::set<std::thread::id>{std::this_thread::get_id()});

  // A refusal found on the worker (no disc) is the end event too.
  vdrive::TFaults never;
  never.NeverReady = true;
  Shared->SetFaults(never);
  Burner.SetSleeper(device::RealSleeper());
  Ended = false;
  EraseError = false;
  EXPECT_EQ(CommandsDuring([&] { EXPECT_TRUE(Burner.Erase(1)); }), 0);
  // The readiness wait pauses 5 s a step: a cancel must cut it short.
  EXPECT_FALSE(Pump(std::chrono::milliseconds(300)));
  const auto cancelled = Clock::now();
  Burner.CancelOperation();
  ASSERT_TRUE(Pump(std::chrono::seconds(10)));
  EXPECT_LE(Clock::now() - cancelled, std::chrono::seconds(1));
  EXPECT_TRUE(EraseError);
  EXPECT_EQ(EventThreads, std::set<std::thread::id>{std::this_thread::get_id()});
}

// Verify and import read for seconds on this drive; a burn still detecting
// the disc and laying out sends command after command. A cancel at any
// point ends each within a second.
TEST_F(EngineStarts, ACancelAtARandomPointEndsAVerifyAnImportAndABurnStillPreparingWithinASecond) {
  Attach(TMedia::CdRw);
  // Many folders: an import reads one extent each.
  for (int i = 0; i < 150; ++i) {
    const std::string folder = Source + "/d" + std::to_string(i);
    std::filesystem::create_directories(folder);
    std::ofstream(folder + "/x.txt") << i;
  }
  std::ofstream(Source + "/big.bin") << std::string(6u << 20, 'b');
  Burner.SetRecordWrites(true);
  ASSERT_EQ(Burn(), "");
  Lag(std::chrono::milliseconds(20));
  Burner.SetSleeper(device::RealSleeper());
  std::mt19937 random(25);
  for (int round = 0; round < 6; ++round) {
    SCOPED_TRACE(round);
    Ended = false;
    Result = "not ended";
    std::string verifyResult;
    bool imported = true;
    bool started = false;
    if (round < 2) {
      started = Burner.StartBackground(
          OperationPhase::Verifying, [&](TKavoBurner& b) { verifyResult = b.VerifyLastBurn(nullptr); },
          [this](TKavoBurner&) { Ended = true; });
    } else if (round < 4) {
      Burner.ResetCompilation(600000, 20000);
      started = Burner.StartBackground(
          OperationPhase::Importing, [&](TKavoBurner& b) { imported = b.ImportDiscSession(-1, nullptr); },
          [this](TKavoBurner&) { Ended = true; });
    } else {
      Fill();
      started = Burner.StartCompilationBurn();
    }
    ASSERT_TRUE(started);
    const auto wait = std::chrono::milliseconds(random() % 400);
    EXPECT_FALSE(Pump(wait)) << "ended without a cancel";
    const auto cancelled = Clock::now();
    Burner.CancelOperation();
    ASSERT_TRUE(Pump(std::chrono::seconds(10)));
    EXPECT_LE(Clock::now() - cancelled, std::chrono::seconds(1));
    Burner.WaitForOperation();
    if (round < 2) EXPECT_EQ(verifyResult, engine::texts::kOperationAborted);
    else if (round < 4) EXPECT_FALSE(imported) << "a cut import reported success";
    else EXPECT_EQ(Result, engine::texts::kOperationAborted);
    EXPECT_EQ(Burner.ProgressNow().Phase, OperationPhase::Idle);
  }
}

// The read-back after a burn runs on the burner's worker: the loop keeps
// running while it reads, and a cancel then ends the run as aborted.
TEST_F(EngineStarts, ABurnRunsVerifyLeavesTheLoopFreeAndACancelEndsIt) {
  Attach(TMedia::CdRw);
  std::ofstream(Source + "/big.bin") << std::string(6u << 20, 'b');
  Fill();
  Lag(std::chrono::milliseconds(20));  // a read-back of seconds
  std::optional<appcore::BurnEnd> end;
  bool sawVerify = false;
  {
    appcore::BurnRun run(Burner);
    run.Start({"", true}, [&](const appcore::BurnEnd& e) { end = e; });
    const auto until = Clock::now() + std::chrono::seconds(60);
    while (!end && Clock::now() < until) {
      Queue.RunPending(std::chrono::milliseconds(10));
      if (!end && !sawVerify && Burner.ProgressNow().Phase == OperationPhase::Verifying) {
        sawVerify = true;
        run.Cancel();
      }
    }
    Burner.WaitForOperation();
  }
  ASSERT_TRUE(end.has_value());
  EXPECT_TRUE(sawVerify);
  EXPECT_EQ(end->Outcome, appcore::BurnOutcome::Aborted) << end->Error;
  EXPECT_FALSE(end->Verified);
  EXPECT_EQ(EventThreads, std::set<std::thread::id>{std::this_thread::get_id()});
}

// An add on a worker asks its handlers on the dispatcher's thread. If that
// thread waits for the worker instead of running its queue, the add must
// not wait for it in turn.
TEST_F(EngineStarts, AnAddOnAWorkerNeverDeadlocksADispatcherThreadThatWaitsForIt) {
  Attach(TMedia::CdR);
  std::set<std::thread::id> handlerThreads;
  Burner.OnAddFile = [&](TKavoBurner&, const std::string&, std::string& longName, std::string&, engine::TDateTime&,
                         std::uint32_t, std::int64_t, bool&) {
    handlerThreads.insert(std::this_thread::get_id());
    if (longName == "f0.bin") longName = "renamed.bin";
  };
  auto add = [](TKavoBurner& b) {
    b.AddFolderToCompilation("\\", b.ISOFileName(), false, false, true, platform::kAttrAnyFile, "*.*");
  };
  Burner.SetISOFileName(Source);  // where the worker finds the folder

  // With the queue running, the answers count: the handler renamed a file.
  Burner.ResetCompilation(600000, 20000);
  Ended = false;
  ASSERT_TRUE(Burner.StartBackground(OperationPhase::Preparing, add, [this](TKavoBurner&) { Ended = true; }));
  ASSERT_TRUE(Pump(std::chrono::seconds(30)));
  EXPECT_NE(Burner.Tables().FindEntry(*Burner.Tables().Root(), "renamed.bin"), nullptr);
  EXPECT_EQ(Burner.CompilationEntryCount(), 6u);
  EXPECT_EQ(handlerThreads, std::set<std::thread::id>{std::this_thread::get_id()});

  // This thread waits instead. A watchdog runs the queue after five seconds
  // so that a deadlock fails the test instead of hanging it.
  Burner.ResetCompilation(600000, 20000);
  Ended = false;
  ASSERT_TRUE(Burner.StartBackground(OperationPhase::Preparing, add, [this](TKavoBurner&) { Ended = true; }));
  std::atomic<bool> returned{false};
  std::mutex returnLock;
  std::condition_variable returnedNow;
  std::thread watchdog([&] {
    {
      std::unique_lock l(returnLock);
      if (returnedNow.wait_for(l, std::chrono::seconds(5), [&] { return returned.load(); })) return;
    }
    while (!returned) Queue.RunPending(std::chrono::milliseconds(20));
  });
  const auto before = Clock::now();
  Burner.WaitForOperation();
  const auto waited = Clock::now() - before;
  {
    std::lock_guard l(returnLock);
    returned = true;
  }
  returnedNow.notify_all();
  watchdog.join();
  EXPECT_LE(waited, std::chrono::seconds(2));
  // Nothing is lost: unanswered, each file goes in under its own name.
  EXPECT_EQ(Burner.CompilationEntryCount(), 6u);
  EXPECT_NE(Burner.Tables().FindEntry(*Burner.Tables().Root(), "f0.bin"), nullptr);
  ASSERT_TRUE(Pump(std::chrono::seconds(5)));
  Burner.SetISOFileName("");
}

}  // namespace
}  // namespace vdrivetest
