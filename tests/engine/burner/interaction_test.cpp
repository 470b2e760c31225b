// The questions interface: answers from options, and questions carried to
// the dispatcher's thread and back.
#include "engine/interaction.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include "engine/dispatch/dispatcher.h"

namespace {

using engine::DriveQuestion;
using engine::NotReadyAnswer;
using engine::OverwriteAnswer;

TEST(NonInteractive, RetriesAsOftenAsAllowedOverTheWholeOperationThenCancels) {
  std::vector<std::string> reported;
  engine::NonInteractiveAnswers answers;
  answers.NotReadyRetries = 2;
  answers.Report = [&](const std::string& text) { reported.push_back(text); };
  engine::NonInteractive ask(answers);
  EXPECT_EQ(ask.DriveNotReady({"D", "not ready"}), NotReadyAnswer::Retry);
  EXPECT_EQ(ask.InsertDisc({"D", "insert"}), NotReadyAnswer::Retry);
  EXPECT_EQ(ask.DriveNotReady({"D", "not ready"}), NotReadyAnswer::Cancel);
  EXPECT_EQ(ask.InsertDisc({"D", "insert"}), NotReadyAnswer::Cancel);
  EXPECT_EQ(ask.QuestionsAsked(), 4);
  EXPECT_EQ(reported, (std::vector<std::string>{"not ready", "insert", "not ready", "insert"}));
}

TEST(NonInteractive, NoticesGoToTheirHandlerElseToReportAndAskNothing) {
  std::vector<std::string> reported;
  engine::NonInteractiveAnswers answers;
  answers.Report = [&](const std::string& text) { reported.push_back(text); };
  engine::NonInteractive plain(answers);
  plain.Notice({engine::NoticeKind::DriveCannotWrite, "D", "cannot write"});
  EXPECT_EQ(reported, std::vector<std::string>{"cannot write"});
  std::vector<engine::NoticeKind> told;
  answers.Notices = [&](const engine::DriveNotice& n) { told.push_back(n.Kind); };
  engine::NonInteractive handled(answers);
  handled.Notice({engine::NoticeKind::DriveNotReady, "E", "not ready"});
  EXPECT_EQ(told, std::vector<engine::NoticeKind>{engine::NoticeKind::DriveNotReady});
  EXPECT_EQ(reported.size(), 1u);
  EXPECT_EQ(handled.QuestionsAsked(), 0);
}

TEST(NonInteractive, OverwritesOnlyWhenTheOptionsSaySo) {
  engine::NonInteractive keep({});
  EXPECT_EQ(keep.OverwriteFile("/tmp/a.iso"), OverwriteAnswer::Skip);
  engine::NonInteractiveAnswers yes;
  yes.Overwrite = true;
  engine::NonInteractive replace(yes);
  EXPECT_EQ(replace.OverwriteFile("/tmp/a.iso"), OverwriteAnswer::Overwrite);
  // Without retries a drive that is not ready cancels at once.
  EXPECT_EQ(keep.DriveNotReady({"D", ""}), NotReadyAnswer::Cancel);
}

// Answers as scripted and notes the thread it was asked on.
class TScripted final : public engine::Interaction {
 public:
  NotReadyAnswer DriveNotReady(const DriveQuestion& q) override {
    AskedOn = std::this_thread::get_id();
    LastText = q.Text;
    ++Calls;
    return NotReadyAnswer::Retry;
  }
  NotReadyAnswer InsertDisc(const DriveQuestion&) override {
    ++Calls;
    return NotReadyAnswer::Cancel;
  }
  OverwriteAnswer OverwriteFile(const std::string&) override {
    AskedOn = std::this_thread::get_id();
    ++Calls;
    return OverwriteAnswer::Overwrite;
  }
  void Notice(const engine::DriveNotice&) override { ++Calls; }
  std::thread::id AskedOn;
  std::string LastText;
  std::atomic<int> Calls{0};
};

TEST(DispatchedInteraction, AsksOnTheDispatcherThreadAndHandsTheAnswerBack) {
  dispatch::QueueDispatcher queue;
  TScripted window;
  engine::DispatchedInteraction ask(window, queue);
  auto answer = std::async(std::launch::async, [&] { return ask.DriveNotReady({"E", "insert a disc"}); });
  auto overwrite = std::async(std::launch::async, [&] { return ask.OverwriteFile("/x"); });
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (window.Calls < 2 && std::chrono::steady_clock::now() < until) queue.RunPending(std::chrono::milliseconds(50));
  EXPECT_EQ(answer.get(), NotReadyAnswer::Retry);
  EXPECT_EQ(overwrite.get(), OverwriteAnswer::Overwrite);
  EXPECT_EQ(window.AskedOn, std::this_thread::get_id());
  EXPECT_EQ(window.LastText, "insert a disc");
}

TEST(DispatchedInteraction, ACancelEndsTheWaitAndTheLateQuestionIsDropped) {
  dispatch::QueueDispatcher queue;
  TScripted window;
  auto cancel = std::make_shared<base::CancelToken>();
  engine::DispatchedInteraction ask(window, queue, cancel);
  auto answer = std::async(std::launch::async, [&] { return ask.DriveNotReady({"E", "?"}); });
  // Nobody runs the queue: the asker waits until the operation is cancelled.
  EXPECT_EQ(answer.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout);
  const auto start = std::chrono::steady_clock::now();
  cancel->Cancel();
  EXPECT_EQ(answer.get(), NotReadyAnswer::Cancel);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  EXPECT_EQ(queue.RunPending(std::chrono::milliseconds(0)), 1u);
  EXPECT_EQ(window.Calls, 0);
}

TEST(CancelToken, PausesEndEarlyOnCancelAndAtOnceOnceCancelled) {
  base::CancelToken token;
  const auto start = std::chrono::steady_clock::now();
  std::thread canceller([&] {
    // Time is the subject: the cancel lands while the pause runs, and nothing
    // tells that a thread has begun to sleep (an earlier cancel passes too).
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    token.Cancel();
  });
  EXPECT_TRUE(token.SleepFor(60000));
  canceller.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  EXPECT_TRUE(token.SleepFor(60000));
  base::CancelToken quiet;
  EXPECT_FALSE(quiet.SleepFor(10));
  // The signal path sets only the flag; a sleeper sees it within its slice.
  base::CancelToken signalled;
  std::thread signaller([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // into the pause, as above
    signalled.CancelFromSignal();
  });
  EXPECT_TRUE(signalled.SleepFor(60000));
  signaller.join();
}

}  // namespace
