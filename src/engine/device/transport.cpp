#include "engine/device/transport.h"

#include <atomic>

#include "engine/device/aspi_library.h"
#include "engine/device/builtin_layer.h"
#include "platform/scsi_passthrough.h"

namespace device {

namespace {

struct TTransportState {
  std::mutex Mutex;
  std::shared_ptr<TAspiLayer> Layer;
  std::shared_ptr<TBuiltInLayer> BuiltIn;  // the table, kept while it exists
  std::string Name;
  std::string Problem;
  bool Ready = false;
  bool UseSpti = false;
  bool BuiltInActive = false;
};

TTransportState& State() {
  static TTransportState state;
  return state;
}

std::atomic<bool> gCloseHandleAfterCommand{true};

std::shared_ptr<TAspiLayer> CurrentLayer() {
  std::lock_guard<std::mutex> g(State().Mutex);
  return State().Layer;
}

void DropLayer(TTransportState& s) {
  if (s.BuiltIn) s.BuiltIn->CloseAllHandles();
  s.BuiltIn.reset();
  s.Layer.reset();
  s.Name.clear();
  s.Ready = false;
  s.BuiltInActive = false;
}

}  // namespace

std::vector<std::string> AspiLibrarySearchOrder(const std::string& dllPath) {
  std::vector<std::string> names;
  if (!dllPath.empty()) names.push_back(dllPath);
  names.push_back(".\\WNASPI32.DLL");
  names.push_back("WNASPI32.DLL");
  return names;
}

bool InitializeTransport(bool useSpti, const std::string& dllPath) {
  // Probing drives without a disc and loading a library must not ask the
  // user anything.
  const platform::SilentCriticalErrors silent;
  std::shared_ptr<TAspiLayer> layer;
  {
    std::lock_guard<std::mutex> g(State().Mutex);
    TTransportState& s = State();
    s.Problem.clear();
    if (!s.BuiltIn) s.BuiltIn = std::make_shared<TBuiltInLayer>();
    auto installBuiltIn = [&s] {
      s.Layer = s.BuiltIn;
      s.Ready = true;
      s.Name = kTransportNameBuiltIn;
      s.BuiltInActive = true;
    };
    if (useSpti && s.BuiltIn->SptiScan() > 0) installBuiltIn();
    if (!s.Ready) {
      if (auto library = LoadAspiLibrary(dllPath, s.Problem)) {
        s.Layer = std::move(library);
        s.Ready = true;
        s.Name = kTransportNameAspi;
        s.BuiltInActive = false;
      }
    }
    // Without an ASPI library the built-in layer is the fallback.
    if (!s.Ready && s.BuiltIn->SptiScan() > 0) installBuiltIn();
    s.UseSpti = useSpti;
    layer = s.Ready ? s.Layer : nullptr;
  }
  if (layer) layer->GetASPI32SupportInfo();  // asked once; the answer is not used
  return layer != nullptr;
}

void ReinitializeTransport() {
  bool useSpti = false;
  {
    std::lock_guard<std::mutex> g(State().Mutex);
    useSpti = State().UseSpti;
    DropLayer(State());
  }
  InitializeTransport(useSpti, std::string());
}

void FinalizeTransport() {
  std::lock_guard<std::mutex> g(State().Mutex);
  DropLayer(State());
}

std::vector<std::string> DriveProblems() {
  std::shared_ptr<TBuiltInLayer> builtIn;
  {
    std::lock_guard<std::mutex> g(State().Mutex);
    builtIn = State().BuiltIn;
  }
  return builtIn ? builtIn->Problems() : std::vector<std::string>();
}

std::string TransportProblem() {
  std::lock_guard<std::mutex> g(State().Mutex);
  return State().Problem;
}

bool TransportReady() {
  std::lock_guard<std::mutex> g(State().Mutex);
  return State().Ready;
}

std::string TransportName() {
  std::lock_guard<std::mutex> g(State().Mutex);
  return State().Name;
}

bool UseSPTI() {
  std::lock_guard<std::mutex> g(State().Mutex);
  return State().UseSpti;
}

bool BuiltInLayerActive() {
  std::lock_guard<std::mutex> g(State().Mutex);
  return State().BuiltInActive;
}

std::shared_ptr<TBuiltInLayer> ActiveBuiltInLayer() {
  std::lock_guard<std::mutex> g(State().Mutex);
  return State().BuiltInActive ? State().BuiltIn : nullptr;
}

bool CloseHandleAfterCommand() { return gCloseHandleAfterCommand.load(); }
void SetCloseHandleAfterCommand(bool value) { gCloseHandleAfterCommand.store(value); }

std::uint32_t SendASPI32Command(TSRB* srb) {
  auto layer = CurrentLayer();
  return layer ? layer->SendASPI32Command(srb) : kSsErr;
}

std::uint32_t GetASPI32SupportInfo() {
  auto layer = CurrentLayer();
  return layer ? layer->GetASPI32SupportInfo() : std::uint32_t{kSsNoAdapters} << 8;
}

void InstallTransport(std::shared_ptr<TAspiLayer> layer, const std::string& name) {
  std::lock_guard<std::mutex> g(State().Mutex);
  DropLayer(State());
  State().Ready = layer != nullptr;
  State().Layer = std::move(layer);
  State().Name = State().Ready ? name : std::string();
}

}  // namespace device
