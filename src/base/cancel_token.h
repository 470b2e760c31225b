#pragma once
// The cancel request of one operation. Every wait of the operation sleeps
// on it, so that a cancel wakes it at once instead of after its full time.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

namespace base {

class CancelToken {
 public:
  static constexpr std::chrono::milliseconds kSignalSlice{100};
  void Cancel() {
    {
      std::lock_guard lock(FMutex);
      FCancelled = true;
    }
    FWake.notify_all();
  }
  // Only the flag: safe inside a signal handler. Sleepers see it within one
  // slice of their wait.
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
  std::atomic<bool> FCancelled{false};
  mutable std::mutex FMutex;
  mutable std::condition_variable FWake;
};

using CancelTokenPtr = std::shared_ptr<CancelToken>;

inline bool IsCancelled(const CancelToken* token) { return token != nullptr && token->Cancelled(); }

}  // namespace base
