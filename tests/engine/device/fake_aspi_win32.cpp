// A stand-in ASPI library for the loader's tests. It reads the request
// blocks by raw byte offsets, as a library built elsewhere would, and
// answers execute requests later from a thread of its own through the
// completion event. One drive at 0:0:0.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace {

// Offsets of SC_EXEC_SCSI_CMD; the pointer fields widen in a 64-bit build.
constexpr std::size_t kPtr = sizeof(void*);
constexpr std::size_t kBufLen = 12;
constexpr std::size_t kBufPointer = 16;
constexpr std::size_t kSenseLen = kBufPointer + kPtr;
constexpr std::size_t kTargStat = kSenseLen + 3;
constexpr std::size_t kPostProc = kSenseLen + 4;
constexpr std::size_t kCdb = kPostProc + kPtr + 20;
constexpr std::size_t kSense = kCdb + 16;
constexpr std::size_t kRecordSize = kSense + 33;

std::mutex gMutex;
std::condition_variable gWake;
std::deque<std::function<void()>> gWork;
std::condition_variable gLateDone;
int gLateAnswers = 0;  // answers given after every wait
std::uint8_t gLastRecord[kRecordSize] = {};

std::uint64_t Field(const std::uint8_t* p, std::size_t at, std::size_t width) {
  std::uint64_t v = 0;
  for (std::size_t i = 0; i < width; ++i) v |= std::uint64_t{p[at + i]} << (8 * i);
  return v;
}

// Later answers come from one worker; the library pins itself so that it is
// never unloaded under it.
void Later(std::function<void()> work) {
  static const bool started = [] {
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCWSTR>(&Later), &self);
    std::thread([] {
      for (;;) {
        std::function<void()> next;
        {
          std::unique_lock<std::mutex> g(gMutex);
          gWake.wait(g, [] { return !gWork.empty(); });
          next = std::move(gWork.front());
          gWork.pop_front();
        }
        next();
      }
    }).detach();
    return true;
  }();
  (void)started;
  {
    std::lock_guard<std::mutex> g(gMutex);
    gWork.push_back(std::move(work));
  }
  gWake.notify_one();
}

void Complete(std::uint8_t* srb, std::uint8_t status, std::uint8_t targStat, std::uint8_t asc) {
  if (status == 4) {
    srb[kTargStat] = targStat;
    std::memset(srb + kSense, 0, 33);
    srb[kSense] = 0x70;
    srb[kSense + 2] = asc == 0x3A ? 2 : 5;
    srb[kSense + 7] = 10;
    srb[kSense + 12] = asc;
  }
  srb[1] = status;
  const auto event = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(Field(srb, kPostProc, kPtr)));
  if (event != nullptr) SetEvent(event);
}

DWORD Execute(std::uint8_t* srb) {
  std::memcpy(gLastRecord, srb, kRecordSize);
  const std::uint8_t target = srb[8];
  const std::uint8_t lun = srb[9];
  if (srb[2] != 0 || target != 0 || lun != 0) {
    srb[1] = 0x82;  // no device
    return 0x82;
  }
  auto* buffer = reinterpret_cast<std::uint8_t*>(static_cast<std::uintptr_t>(Field(srb, kBufPointer, kPtr)));
  const auto length = static_cast<std::size_t>(Field(srb, kBufLen, 4));
  const std::uint8_t op = srb[kCdb];
  srb[1] = 0;  // pending
  if (op == 0x12) {
    Later([srb, buffer, length] {
      Sleep(20);
      const char answer[] = "\x05\x80\x05\x32\x1F\0\0\0FAKEASPIDRIVE           0.01";
      std::memset(buffer, 0, length);
      std::memcpy(buffer, answer, std::min(length, sizeof answer - 1));
      Complete(srb, 1, 0, 0);
    });
  } else if (op == 0x00) {
    Later([srb] { Complete(srb, 4, 2, 0x3A); });  // MEDIUM NOT PRESENT
  } else if (op == 0xBB) {
    // Answers long after any wait, into the buffer it was given.
    Later([srb, buffer, length] {
      Sleep(300);  // the slowness is the point: every wait gives up first
      std::memset(buffer, 0xEE, length);
      Complete(srb, 1, 0, 0);
      {
        std::lock_guard<std::mutex> g(gMutex);
        ++gLateAnswers;
      }
      gLateDone.notify_all();
    });
  } else {
    Later([srb] { Complete(srb, 4, 2, 0x20); });  // INVALID COMMAND OPERATION CODE
  }
  return 0;
}

}  // namespace

extern "C" {

__declspec(dllexport) DWORD __cdecl GetASPI32SupportInfo() { return (1u << 8) | 1u; }

__declspec(dllexport) DWORD __cdecl SendASPI32Command(void* request) {
  auto* srb = static_cast<std::uint8_t*>(request);
  switch (srb[0]) {
    case 0:  // host adapter inquiry
      srb[8] = 1;
      srb[9] = 7;
      std::memcpy(srb + 10, "FAKE ASPI       ", 16);
      std::memcpy(srb + 26, "FAKE0           ", 16);
      srb[1] = srb[2] == 0 ? 1 : 0x81;
      return srb[1];
    case 2:
      return Execute(srb);
    case 6:  // disk info: drive D:
      srb[11] = 3;
      srb[1] = 1;
      return 1;
    default:
      srb[1] = 0x80;
      return 0x80;
  }
}

// Late answers given so far, and a wait of up to `ms` until there are
// `count` (nonzero when there are).
__declspec(dllexport) int __cdecl FakeAspiLateAnswers() {
  std::lock_guard<std::mutex> g(gMutex);
  return gLateAnswers;
}

__declspec(dllexport) int __cdecl FakeAspiWaitLateAnswers(int count, int ms) {
  std::unique_lock<std::mutex> g(gMutex);
  return gLateDone.wait_for(g, std::chrono::milliseconds(ms), [count] { return gLateAnswers >= count; }) ? 1 : 0;
}

// The last execute record as the library saw it.
__declspec(dllexport) void __cdecl FakeAspiLastRecord(std::uint8_t* out, int size) {
  std::memcpy(out, gLastRecord, std::min<std::size_t>(kRecordSize, static_cast<std::size_t>(size)));
}
}
