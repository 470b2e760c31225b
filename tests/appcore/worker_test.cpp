// Work off the window's thread: order, where results arrive, and what
// destruction keeps.
#include "appcore/worker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "engine/dispatch/dispatcher.h"

namespace {

TEST(Worker, RunsInOrderOffTheCallerAndDeliversOnTheDispatcherThread) {
  dispatch::QueueDispatcher queue;
  std::vector<int> delivered;
  std::vector<std::thread::id> ranOn;
  {
    appcore::Worker worker(queue);
    for (int i = 0; i < 3; ++i)
      worker.Run([i, &ranOn, &delivered]() -> appcore::Worker::Delivery {
        ranOn.push_back(std::this_thread::get_id());
        return [i, &delivered] { delivered.push_back(i); };
      });
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (delivered.size() < 3 && std::chrono::steady_clock::now() < until)
      queue.RunPending(std::chrono::milliseconds(100));
    EXPECT_EQ(delivered, (std::vector<int>{0, 1, 2}));
    ASSERT_EQ(ranOn.size(), 3u);
    EXPECT_NE(ranOn[0], std::this_thread::get_id());
  }
}

TEST(Worker, DestructionFinishesWhatWasAskedAndDropsItsResults) {
  dispatch::QueueDispatcher queue;
  std::atomic<int> finished{0};
  int delivered = 0;
  {
    appcore::Worker worker(queue);
    for (int i = 0; i < 2; ++i)
      worker.Run([&finished, &delivered]() -> appcore::Worker::Delivery {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));  // still busy as the owner goes
        ++finished;
        return [&delivered] { ++delivered; };
      });
  }
  // A save asked for is written, though nobody is left to hear of it.
  EXPECT_EQ(finished.load(), 2);
  queue.RunPending(std::chrono::milliseconds(0));
  EXPECT_EQ(delivered, 0);
}

}  // namespace
