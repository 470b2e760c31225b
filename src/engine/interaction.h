#pragma once
// Questions an operation puts to the person: the drive is not ready, a disc
// must be inserted, a file would be overwritten; and what it only tells
// (the drive cannot write). The windows answer with a message box, the
// command line and scheduled runs from their options.
//
// An operation asks on its own thread and waits for the answer; an
// implementation that must answer on another thread (a window's) wraps
// itself in DispatchedInteraction.
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "base/cancel_token.h"

namespace dispatch {
class Dispatcher;
}

namespace engine {

enum class NotReadyAnswer { Retry, Cancel };
enum class OverwriteAnswer { Overwrite, Skip, Cancel };

// What the operation needs, with the complete text to show.
struct DriveQuestion {
  std::string Drive;  // the drive letter or location, as the person knows it
  std::string Text;
};

// What an operation tells without asking anything.
enum class NoticeKind {
  DriveCannotWrite,  // the drive chosen is no recorder
  DriveNotReady,     // no disc, and nobody is asked to insert one
  DiscNotErasable,   // the disc in the drive cannot be erased that way
};

struct DriveNotice {
  NoticeKind Kind = NoticeKind::DriveCannotWrite;
  std::string Drive;  // as in DriveQuestion
  std::string Text;
};

class Interaction {
 public:
  virtual ~Interaction() = default;
  // The drive answered not ready (no disc, still spinning up). Retry: the
  // caller waits and tries again.
  virtual NotReadyAnswer DriveNotReady(const DriveQuestion& question) = 0;
  // A disc must go into the drive first (a blank one, the copy's target).
  virtual NotReadyAnswer InsertDisc(const DriveQuestion& question) = 0;
  // `path` exists and would be replaced.
  virtual OverwriteAnswer OverwriteFile(const std::string& path) = 0;
  // Returns once the person has seen it.
  virtual void Notice(const DriveNotice& notice) = 0;
};

// Answers from options, for the command line and scheduled runs, where
// nobody is there to click.
struct NonInteractiveAnswers {
  // How often "not ready" and "insert a disc" are answered Retry before
  // Cancel, across the whole operation.
  int NotReadyRetries = 0;
  bool Overwrite = false;
  // Each question's text, for the log or the terminal; may stay empty.
  std::function<void(const std::string& text)> Report;
  // Each notice; without it the notice's text goes to Report.
  std::function<void(const DriveNotice& notice)> Notices;
};

class NonInteractive final : public Interaction {
 public:
  explicit NonInteractive(NonInteractiveAnswers answers) : FAnswers(std::move(answers)) {}
  NotReadyAnswer DriveNotReady(const DriveQuestion& question) override;
  NotReadyAnswer InsertDisc(const DriveQuestion& question) override;
  OverwriteAnswer OverwriteFile(const std::string& path) override;
  void Notice(const DriveNotice& notice) override;
  int QuestionsAsked() const;

 private:
  NotReadyAnswer Retry(const std::string& text);

  NonInteractiveAnswers FAnswers;
  mutable std::mutex FMutex;
  int FRetriesGiven = 0;
  int FAsked = 0;
};

// Puts each question to `inner` on the dispatcher's thread and waits for the
// answer on the asking thread. A cancel of `cancel` ends the wait with
// Cancel; a late answer is dropped. Never call it on the dispatcher's own
// thread: it would wait for itself.
class DispatchedInteraction final : public Interaction {
 public:
  DispatchedInteraction(Interaction& inner, dispatch::Dispatcher& dispatcher, base::CancelTokenPtr cancel = nullptr)
      : FInner(inner), FDispatcher(dispatcher), FCancel(std::move(cancel)) {}
  NotReadyAnswer DriveNotReady(const DriveQuestion& question) override;
  NotReadyAnswer InsertDisc(const DriveQuestion& question) override;
  OverwriteAnswer OverwriteFile(const std::string& path) override;
  // Waits until the notice has been shown, or the cancel.
  void Notice(const DriveNotice& notice) override;

 private:
  template <typename T>
  T Ask(std::function<T(Interaction&)> question, T onCancel);

  Interaction& FInner;
  dispatch::Dispatcher& FDispatcher;
  base::CancelTokenPtr FCancel;
};

}  // namespace engine
