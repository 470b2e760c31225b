#pragma once
// The cancel request of one operation. Every wait of the operation sleeps
// on it, so that a cancel wakes it at once instead of after its full time.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>

namespace base {

class CancelWake;

class CancelToken {
 public:
  static constexpr std::chrono::milliseconds kSignalSlice{100};
  CancelToken() = default;
  CancelToken(const CancelToken&) = delete;
  CancelToken& operator=(const CancelToken&) = delete;

  void Cancel() {
    {
      std::lock_guard lock(FMutex);
      FCancelled = true;
    }
    FWake.notify_all();
    // Wake-ups run under their own lock, so a wake-up being removed has
    // either run whole or never runs.
    std::lock_guard lock(FWakesMutex);
    FWakesRun = true;
    for (auto& wake : FWakes) wake();
    FWakes.clear();
  }
  // Only the flag: safe inside a signal handler. Sleepers see it within one
  // slice of their wait; registered wake-ups are not run.
  void CancelFromSignal() { FCancelled.store(true); }
  bool Cancelled() const { return FCancelled.load(); }
  // Sleeps up to `ms`; true when the operation was cancelled (at once if it
  // already was).
  bool SleepFor(std::uint32_t ms) const {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    std::unique_lock lock(FMutex);
    while (!FCancelled.load()) {
      const auto now = std::chrono::steady_clock::now();
      if (now >= end) return false;
      FWake.wait_for(lock, std::min<std::chrono::steady_clock::duration>(end - now, kSignalSlice));
    }
    return true;
  }

 private:
  friend class CancelWake;
  using WakeList = std::list<std::function<void()>>;

  std::atomic<bool> FCancelled{false};
  mutable std::mutex FMutex;
  mutable std::condition_variable FWake;
  // A wake-up is only looked at, so a const token takes one too.
  mutable std::mutex FWakesMutex;
  mutable WakeList FWakes;
  bool FWakesRun = false;
};

// Runs `wake` once when `token` is cancelled (at once, on this thread, when
// it already is); removed on destruction, after which it never runs. The
// wake-up must not take a lock held by whoever destroys it.
class CancelWake {
 public:
  CancelWake(const CancelToken* token, std::function<void()> wake) : FToken(token) {
    if (FToken == nullptr) return;
    {
      std::lock_guard lock(FToken->FWakesMutex);
      if (!FToken->FWakesRun && !FToken->Cancelled()) {
        FWake = FToken->FWakes.insert(FToken->FWakes.end(), std::move(wake));
        FRegistered = true;
        return;
      }
    }
    wake();
  }
  ~CancelWake() {
    if (!FRegistered) return;
    std::lock_guard lock(FToken->FWakesMutex);
    if (!FToken->FWakesRun) FToken->FWakes.erase(FWake);
  }
  CancelWake(const CancelWake&) = delete;
  CancelWake& operator=(const CancelWake&) = delete;

 private:
  const CancelToken* FToken;
  CancelToken::WakeList::iterator FWake;
  bool FRegistered = false;
};

using CancelTokenPtr = std::shared_ptr<CancelToken>;

inline bool IsCancelled(const CancelToken* token) { return token != nullptr && token->Cancelled(); }

}  // namespace base
