#pragma once
// The transport: one process-wide layer behind the two ASPI entry points,
// either an ASPI library or the built-in pass-through layer "KVASPI32".
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "engine/device/srb.h"

namespace device {

// Completion event of an execute request (a manual-reset event).
class TSRBEvent {
 public:
  // A layer that leaves a request pending and learns of its end elsewhere
  // (an ASPI library signals an event of the operating system) gives the
  // wait here. The waiter returns true once the answer is in the request.
  void SetWaiter(std::function<bool(std::uint32_t ms)> waiter) { FWaiter = std::move(waiter); }
  void Set() {
    {
      std::lock_guard<std::mutex> g(FMutex);
      FSignalled = true;
    }
    FCond.notify_all();
  }
  void Reset() {
    std::lock_guard<std::mutex> g(FMutex);
    FSignalled = false;
  }
  bool WaitFor(std::uint32_t ms) {
    if (FWaiter) return FWaiter(ms);
    std::unique_lock<std::mutex> g(FMutex);
    return FCond.wait_for(g, std::chrono::milliseconds(ms), [this] { return FSignalled; });
  }

 private:
  std::mutex FMutex;
  std::condition_variable FCond;
  bool FSignalled = false;
  std::function<bool(std::uint32_t)> FWaiter;
};

// The two entry points of a layer.
class TAspiLayer {
 public:
  virtual ~TAspiLayer() = default;
  // A null record returns 4 (SS_ERR) and touches nothing.
  virtual std::uint32_t SendASPI32Command(TSRB* srb) = 0;
  // High byte status, low byte adapter count.
  virtual std::uint32_t GetASPI32SupportInfo() = 0;
};

inline constexpr const char* kTransportNameAspi = "WNASPI32.DLL";
inline constexpr const char* kTransportNameBuiltIn = "KVASPI32";

bool InitializeTransport(bool useSpti, const std::string& dllPath);
// Why the last InitializeTransport used no ASPI library it found (a library
// without the two entry points); empty when there was nothing to report.
std::string TransportProblem();
// Why drives the built-in layer found could not be opened at its last scan
// (a virtual disc another program holds), one line each; empty when none.
std::vector<std::string> DriveProblems();
void ReinitializeTransport();
// Drops the layer at process end or in tests: handles closed, name cleared.
void FinalizeTransport();
bool TransportReady();
std::string TransportName();
bool UseSPTI();
bool CloseHandleAfterCommand();
void SetCloseHandleAfterCommand(bool value);
std::uint32_t SendASPI32Command(TSRB* srb);
std::uint32_t GetASPI32SupportInfo();
// True when the active layer is the built-in one (drive letters come from its table).
bool BuiltInLayerActive();

// Puts a layer in place as if it had loaded (tests, and hosts that bring their
// own); name as TransportName reports it.
void InstallTransport(std::shared_ptr<TAspiLayer> layer, const std::string& name);

}  // namespace device
