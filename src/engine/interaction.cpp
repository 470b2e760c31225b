#include "engine/interaction.h"

#include <condition_variable>
#include <optional>

#include "engine/dispatch/dispatcher.h"

namespace engine {

NotReadyAnswer NonInteractive::Retry(const std::string& text) {
  std::lock_guard lock(FMutex);
  ++FAsked;
  if (FAnswers.Report && !text.empty()) FAnswers.Report(text);
  if (FRetriesGiven >= FAnswers.NotReadyRetries) return NotReadyAnswer::Cancel;
  ++FRetriesGiven;
  return NotReadyAnswer::Retry;
}

NotReadyAnswer NonInteractive::DriveNotReady(const DriveQuestion& question) { return Retry(question.Text); }

NotReadyAnswer NonInteractive::InsertDisc(const DriveQuestion& question) { return Retry(question.Text); }

OverwriteAnswer NonInteractive::OverwriteFile(const std::string& path) {
  std::lock_guard lock(FMutex);
  ++FAsked;
  if (FAnswers.Report) FAnswers.Report(path);
  return FAnswers.Overwrite ? OverwriteAnswer::Overwrite : OverwriteAnswer::Skip;
}

void NonInteractive::Notice(const DriveNotice& notice) {
  std::lock_guard lock(FMutex);
  if (FAnswers.Notices)
    FAnswers.Notices(notice);
  else if (FAnswers.Report && !notice.Text.empty())
    FAnswers.Report(notice.Text);
}

int NonInteractive::QuestionsAsked() const {
  std::lock_guard lock(FMutex);
  return FAsked;
}

template <typename T>
T DispatchedInteraction::Ask(std::function<T(Interaction&)> question, T onCancel) {
  struct State {
    std::mutex Mutex;
    std::condition_variable Answered;
    std::optional<T> Answer;
    bool Abandoned = false;
  };
  auto state = std::make_shared<State>();
  Interaction* inner = &FInner;
  FDispatcher.Post([state, inner, question = std::move(question)] {
    {
      std::lock_guard lock(state->Mutex);
      if (state->Abandoned) return;
    }
    T answer = question(*inner);
    {
      std::lock_guard lock(state->Mutex);
      state->Answer = answer;
    }
    state->Answered.notify_all();
  });
  // A cancel wakes the wait at once; declared before the lock, so that it is
  // removed only after the lock is let go.
  const base::CancelWake wake(FCancel.get(), [state] {
    { std::lock_guard lock(state->Mutex); }
    state->Answered.notify_all();
  });
  std::unique_lock lock(state->Mutex);
  state->Answered.wait(lock, [&] { return state->Answer.has_value() || base::IsCancelled(FCancel.get()); });
  if (!state->Answer) {
    state->Abandoned = true;
    return onCancel;
  }
  return *state->Answer;
}

NotReadyAnswer DispatchedInteraction::DriveNotReady(const DriveQuestion& question) {
  return Ask<NotReadyAnswer>([question](Interaction& i) { return i.DriveNotReady(question); }, NotReadyAnswer::Cancel);
}

NotReadyAnswer DispatchedInteraction::InsertDisc(const DriveQuestion& question) {
  return Ask<NotReadyAnswer>([question](Interaction& i) { return i.InsertDisc(question); }, NotReadyAnswer::Cancel);
}

OverwriteAnswer DispatchedInteraction::OverwriteFile(const std::string& path) {
  return Ask<OverwriteAnswer>([path](Interaction& i) { return i.OverwriteFile(path); }, OverwriteAnswer::Cancel);
}

void DispatchedInteraction::Notice(const DriveNotice& notice) {
  Ask<bool>(
      [notice](Interaction& i) {
        i.Notice(notice);
        return true;
      },
      false);
}

}  // namespace engine
