#pragma once
// The device base of the burner component. So far it carries what the image
// side needs: the log event, the last error text and the lock that guards
// every hand-over of a data block.
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

namespace device {

class TSCSIDevice;
using TDebugMessageEvent = std::function<void(TSCSIDevice& sender, const std::string& message, std::uint8_t mType)>;

// Message kinds of OnDebugMessage.
inline constexpr std::uint8_t kMsgDriveError = 0;
inline constexpr std::uint8_t kMsgProgress = 1;
inline constexpr std::uint8_t kMsgTableFull = 3;
inline constexpr std::uint8_t kMsgCompilationError = 4;

class TSCSIDevice {
 public:
  TSCSIDevice() = default;
  virtual ~TSCSIDevice() = default;
  TSCSIDevice(const TSCSIDevice&) = delete;
  TSCSIDevice& operator=(const TSCSIDevice&) = delete;

  TDebugMessageEvent OnDebugMessage;

  const std::string& LastErrorText() const { return FLastErrorText; }
  void Lock() { FLock.lock(); }
  void Unlock() { FLock.unlock(); }
  std::recursive_mutex& CriticalSection() { return FLock; }

 protected:
  void DebugMessage(const std::string& message, std::uint8_t kind) {
    if (OnDebugMessage) OnDebugMessage(*this, message, kind);
  }

  std::string FLastErrorText;

 private:
  std::recursive_mutex FLock;
};

}  // namespace device
