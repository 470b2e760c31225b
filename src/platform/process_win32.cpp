#include <windows.h>
#include <io.h>
#include <shellapi.h>

#include <atomic>
#include <cstdlib>

#include "platform/process.h"
#include "platform/win32_text.h"

namespace platform {

const char kPathListSeparator = ';';

namespace {

std::atomic<void (*)()> gOnStop{nullptr};
std::atomic<bool> gHeld{false};
// Manual reset: a held request stays pending until WaitForStopRequest takes it.
HANDLE StopEvent() {
  static const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  return event;
}

BOOL WINAPI OnConsoleControl(DWORD kind) {
  switch (kind) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
      break;
    default:
      return FALSE;
  }
  if (gHeld.load()) {
    SetEvent(StopEvent());
  } else if (auto onStop = gOnStop.load(); onStop != nullptr) {
    onStop();
  }
  return TRUE;
}

void InstallHandler() {
  static const bool installed = SetConsoleCtrlHandler(OnConsoleControl, TRUE) != 0;
  (void)installed;
}

}  // namespace

std::vector<std::string> CommandLineArguments(int, char**) {
  std::vector<std::string> args;
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return args;
  for (int i = 1; i < count; ++i) args.push_back(win32::Utf8(wide[i]));
  LocalFree(wide);
  return args;
}

void PrepareConsole() { SetConsoleOutputCP(CP_UTF8); }

bool IsTerminal(std::FILE* stream) {
  // The NUL device is a character device too; only a console counts.
  const HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  DWORD mode = 0;
  return h != INVALID_HANDLE_VALUE && GetConsoleMode(h, &mode) != 0;
}

std::optional<std::string> GetEnvironment(const std::string& name) {
  const wchar_t* value = _wgetenv(win32::Wide(name).c_str());
  if (value == nullptr) return std::nullopt;
  return win32::Utf8(value);
}

// _wputenv_s sets both the C runtime's copy and the process environment,
// which child processes inherit. Windows knows no empty variable: setting
// one to "" removes it.
void SetEnvironment(const std::string& name, const std::string& value) {
  _wputenv_s(win32::Wide(name).c_str(), win32::Wide(value).c_str());
}

void UnsetEnvironment(const std::string& name) { _wputenv_s(win32::Wide(name).c_str(), L""); }

int ThreadNiceFloor() { return -20; }

void SetCurrentThreadTimeCritical() { SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL); }

void CatchStopRequests(void (*onStop)()) {
  gOnStop.store(onStop);
  InstallHandler();
}

void HoldStopRequests() {
  StopEvent();
  gHeld.store(true);
  InstallHandler();
}

bool StopRequestPending() { return WaitForSingleObject(StopEvent(), 0) == WAIT_OBJECT_0; }

bool WaitForStopRequest(int seconds) {
  const DWORD ms = seconds <= 0 ? 0 : static_cast<DWORD>(seconds) * 1000;
  if (WaitForSingleObject(StopEvent(), ms) != WAIT_OBJECT_0) return false;
  ResetEvent(StopEvent());
  return true;
}

}  // namespace platform
