// An ASPI library (WNASPI32.DLL or one the caller names) loaded at run time:
// the engine's request blocks are handed to it as the packed records it
// reads, and its answers copied back.
#include <windows.h>

#include <bit>
#include <cstring>
#include <mutex>
#include <new>
#include <variant>
#include <vector>

#include "engine/device/aspi_library.h"
#include "engine/device/aspi_records.h"
#include "platform/win32_text.h"

namespace device {

namespace {

using TSendFn = DWORD(__cdecl*)(void*);
using TInfoFn = DWORD(__cdecl*)();

constexpr std::align_val_t kBufferAlignment{64};  // above any adapter's alignment mask

std::uintptr_t Address(const void* p) { return reinterpret_cast<std::uintptr_t>(p); }

// One execute request in the library's hands: the record it reads and
// writes, a copy of the data and the event it signals. It lives until the
// library is done with it, also after the engine has given up waiting, so
// that a late answer lands in memory of ours.
struct TLibraryRequest {
  aspi::TPackedExec Record{};
  std::uint8_t* Buffer = nullptr;
  std::size_t Size = 0;
  HANDLE Event = nullptr;

  explicit TLibraryRequest(std::size_t size) : Size(size) {
    if (size > 0) Buffer = static_cast<std::uint8_t*>(::operator new(size, kBufferAlignment));
  }
  ~TLibraryRequest() {
    if (Event != nullptr) CloseHandle(Event);
    if (Buffer != nullptr) ::operator delete(Buffer, kBufferAlignment);
  }
  TLibraryRequest(const TLibraryRequest&) = delete;
  TLibraryRequest& operator=(const TLibraryRequest&) = delete;

  bool Done() const {
    if (Event != nullptr) return WaitForSingleObject(Event, 0) == WAIT_OBJECT_0;
    return Record.SRB_Status != kSsPending;
  }

  // The answer into the engine's record, and the data of a read into its buffer.
  void Finish(SRB_ExecSCSICmd& srb) const {
    aspi::Unpack(Record, srb);
    if (Buffer != nullptr && srb.SRB_BufPointer != nullptr && (srb.SRB_Flags & kSrbDirOut) == 0)
      std::memcpy(srb.SRB_BufPointer, Buffer, Size);
  }
};

class TAspiLibrary final : public TAspiLayer {
 public:
  TAspiLibrary(HMODULE module, TSendFn send, TInfoFn info) : FModule(module), FSend(send), FInfo(info) {}

  ~TAspiLibrary() override {
    std::lock_guard<std::mutex> g(FMutex);
    Prune();
    if (!FOutstanding.empty()) {
      // The library still holds requests and may yet write them: both it
      // and they stay for the rest of the process.
      new std::vector<std::shared_ptr<TLibraryRequest>>(std::move(FOutstanding));
      return;
    }
    FreeLibrary(FModule);
  }

  std::uint32_t GetASPI32SupportInfo() override { return FInfo(); }

  std::uint32_t SendASPI32Command(TSRB* srb) override {
    if (srb == nullptr) return kSsErr;
    return std::visit([this](auto& record) { return Send(record); }, *srb);
  }

 private:
  template <typename TRecord>
  std::uint32_t Send(TRecord& srb) {
    auto packed = aspi::Pack(srb);
    const DWORD result = FSend(&packed);
    aspi::Unpack(packed, srb);
    return result;
  }

  std::uint32_t Send(SRB_ExecSCSICmd& srb) {
    auto request = std::make_shared<TLibraryRequest>(srb.SRB_BufPointer != nullptr ? srb.SRB_BufLen : 0);
    if (request->Buffer != nullptr) std::memcpy(request->Buffer, srb.SRB_BufPointer, request->Size);
    if ((srb.SRB_Flags & kSrbEventNotify) != 0) {
      request->Event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
      if (request->Event == nullptr) {
        srb.SRB_Status = kSsErr;
        return kSsErr;
      }
    }
    request->Record =
        aspi::Pack<sizeof(void*)>(srb, Address(request->Buffer), Address(request->Event));
    if (request->Buffer == nullptr) request->Record.SRB_BufLen.Set(0);
    const DWORD result = FSend(&request->Record);
    if (request->Record.SRB_Status != kSsPending) {
      request->Finish(srb);
      if (srb.SRB_PostProc != nullptr) srb.SRB_PostProc->Set();
      return result;
    }
    {
      std::lock_guard<std::mutex> g(FMutex);
      Prune();
      FOutstanding.push_back(request);
    }
    srb.SRB_Status = kSsPending;
    if (srb.SRB_PostProc != nullptr && request->Event != nullptr) {
      srb.SRB_PostProc->SetWaiter([request, &srb](std::uint32_t ms) {
        if (WaitForSingleObject(request->Event, ms) != WAIT_OBJECT_0) return false;
        request->Finish(srb);
        return true;
      });
    }
    return result;
  }

  // Forgets the requests the library has finished with.
  void Prune() {
    std::erase_if(FOutstanding, [](const auto& r) { return r->Done(); });
  }

  HMODULE FModule;
  TSendFn FSend;
  TInfoFn FInfo;
  std::mutex FMutex;
  std::vector<std::shared_ptr<TLibraryRequest>> FOutstanding;
};

}  // namespace

std::shared_ptr<TAspiLayer> LoadAspiLibrary(const std::string& dllPath, std::string& problem) {
  for (const std::string& name : AspiLibrarySearchOrder(dllPath)) {
    const HMODULE module = LoadLibraryW(platform::win32::Wide(name).c_str());
    // Module handles of 31 and below were error codes once; none is a library.
    if (Address(module) <= 31) continue;
    const auto info = std::bit_cast<TInfoFn>(GetProcAddress(module, kAspiExportSupportInfo));
    const auto send = std::bit_cast<TSendFn>(GetProcAddress(module, kAspiExportSend));
    if (info == nullptr || send == nullptr) {
      problem = name + ": the entry point " + (info == nullptr ? kAspiExportSupportInfo : kAspiExportSend) +
                " is missing";
      FreeLibrary(module);
      return nullptr;
    }
    return std::make_shared<TAspiLibrary>(module, send, info);
  }
  return nullptr;
}

}  // namespace device
