// The burner component as the windows meet it: defaults after construction,
// and one operation at a time in the process.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/dispatch/dispatcher.h"
#include "engine/kavo_burner.h"
#include "support/temp_dir.h"

namespace {

using engine::SaveMode;
using engine::TKavoBurner;

TEST(Component, ConstructionSetsEveryDefault) {
  TKavoBurner b;
  EXPECT_FALSE(b.ASPIInitialized());
  EXPECT_EQ(b.DeviceMaxWriteSpeed(), 0);
  EXPECT_EQ(b.DeviceMaxReadSpeed(), 0);
  EXPECT_EQ(b.DeviceBufferSize(), 0u);
  EXPECT_EQ(b.DeviceFreeBufferSize(), 0u);
  EXPECT_TRUE(b.UnderrunProtection());
  EXPECT_FALSE(b.DoDebug());
  EXPECT_EQ(b.ReadSpeed(), 0);
  EXPECT_EQ(b.WriteSpeed(), 0);
  EXPECT_FALSE(b.Erasing());
  EXPECT_FALSE(b.FinalizeDisc());
  EXPECT_FALSE(b.TestWrite());
  EXPECT_FALSE(b.ReplaceFile());
  EXPECT_TRUE(b.FinalizeTrack());
  EXPECT_FALSE(b.PerformOPC());
  for (const std::string* s : {&b.IdVolume(), &b.IdSystem(), &b.IdVolumeSet(), &b.IdPublisher(), &b.IdPreparer(),
                               &b.IdApplication(), &b.FileCopyright(), &b.FileAbstract(), &b.FileBibliographic(),
                               &b.ISOFileName()})
    EXPECT_TRUE(s->empty());
  EXPECT_EQ(b.DateCreation(), 0.0);
  EXPECT_EQ(b.DateModification(), 0.0);
  EXPECT_EQ(b.DateEffective(), 0.0);
  EXPECT_EQ(b.DateExpiration(), 0.0);
  EXPECT_EQ(b.CacheSize(), 4194304u);
  EXPECT_TRUE(b.JolietFileSystem());
  EXPECT_EQ(b.Version(), "1.23");
  EXPECT_TRUE(b.WritePostGap());
  EXPECT_FALSE(b.Bootable);
  EXPECT_EQ(b.CompilationDirCount(), 0u);
  EXPECT_EQ(b.Tables().MaxEntries(), 65535u);
  EXPECT_EQ(b.Tables().MaxDirs(), 8191u);
  EXPECT_EQ(b.CacheFillPercent(), 0) << "no writer yet";
}

// While one component writes, another one's write is refused with a text
// instead of running two cache threads against each other.
TEST(Component, OneOperationAtATime) {
  testsupport::TempDir dir;
  dispatch::QueueDispatcher queue;
  TKavoBurner first;
  TKavoBurner second;
  first.SetDispatcher(&queue);
  first.AddFileToCompilation("\\", dir.Write("big.bin", testsupport::PatternContent(8u << 20, 1)), false);
  second.AddFileToCompilation("\\", dir.Write("a.txt", "a"), false);
  std::vector<std::string> firstDone;
  std::vector<std::string> secondDone;
  first.OnWriteDone = [&](TKavoBurner&, const std::string& e) { firstDone.push_back(e); };
  second.OnWriteDone = [&](TKavoBurner&, const std::string& e) { secondDone.push_back(e); };

  first.WriteImageFile(dir.Str() + "/first.iso", SaveMode::Threaded);
  // The first write's end waits in the queue until this thread runs it.
  second.WriteImageFile(dir.Str() + "/second.iso", SaveMode::Quick);
  EXPECT_EQ(secondDone, (std::vector<std::string>{"ANOTHER OPERATION IS RUNNING"}));
  first.WaitForOperation();
  queue.RunPending(std::chrono::milliseconds(0));
  EXPECT_EQ(firstDone, (std::vector<std::string>{""}));

  secondDone.clear();
  second.WriteImageFile(dir.Str() + "/second.iso", SaveMode::Quick);
  EXPECT_EQ(secondDone, (std::vector<std::string>{""}));
}

// Queues calls like a window's event loop and tells when one arrives.
class TWatchedQueue final : public dispatch::Dispatcher {
 public:
  void Post(std::function<void()> call) override {
    {
      std::lock_guard lock(FMutex);
      ++FPosted;
    }
    FArrived.notify_all();
    FQueue.Post(std::move(call));
  }
  bool WaitForPost(std::chrono::seconds limit) {
    std::unique_lock lock(FMutex);
    return FArrived.wait_for(lock, limit, [this] { return FPosted > 0; });
  }
  // Runs what is queued, after waiting up to `wait` for a call if none is.
  void RunAll(std::chrono::milliseconds wait = std::chrono::milliseconds(0)) { FQueue.RunPending(wait); }

 private:
  dispatch::QueueDispatcher FQueue;
  std::mutex FMutex;
  std::condition_variable FArrived;
  int FPosted = 0;
};

// A worker's add event waits for the window's answer: the answer comes back
// once, and a cancel, or the window itself waiting for the operation, ends
// the wait without the window's help.
TEST(Component, AnEventWaitEndsOnItsAnswerOnCancelAndWhenTheWindowWaits) {
  testsupport::TempDir dir;
  const std::string file = dir.Write("a.txt", "a");
  for (const bool viaJoin : {false, true}) {
    for (const bool answer : {true, false}) {
      if (viaJoin && answer) continue;
      SCOPED_TRACE(viaJoin ? "window waits" : answer ? "answered" : "cancelled");
      TWatchedQueue queue;
      TKavoBurner burner;
      burner.SetDispatcher(&queue);
      std::atomic<int> asked{0};
      burner.OnAddFile = [&](TKavoBurner&, const std::string&, std::string&, std::string&, engine::TDateTime&,
                             std::uint32_t, std::int64_t, bool&) { ++asked; };
      std::promise<std::uint8_t> added;
      auto addedFuture = added.get_future();
      ASSERT_TRUE(burner.StartBackground(
          engine::OperationPhase::Preparing,
          [&](TKavoBurner& b) { added.set_value(b.AddFileToCompilation("\\", file, true)); }, nullptr));
      ASSERT_TRUE(queue.WaitForPost(std::chrono::seconds(30)));
      // Time is the subject: the wake-up must find the worker blocked in its
      // wait, and nothing tells that it has begun to wait.
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      if (answer) {
        // The answer is the window running the event.
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (addedFuture.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready &&
               std::chrono::steady_clock::now() < until)
          queue.RunAll(std::chrono::milliseconds(10));
      } else if (viaJoin) {
        burner.WaitForOperation();
      } else {
        burner.CancelOperation();
      }
      // A wait that missed its wake-up would never end: the bound is only a net.
      ASSERT_EQ(addedFuture.wait_for(std::chrono::seconds(10)), std::future_status::ready);
      burner.WaitForOperation();
      queue.RunAll();
      queue.RunAll();
      EXPECT_EQ(asked.load(), answer ? 1 : 0);
      if (answer) {
        EXPECT_EQ(addedFuture.get(), 1);
      }
    }
  }
}

}  // namespace
