// The logind request where no system bus answers: an error, never a crash
// or a wait without end. The bus address is pointed away from the real bus
// first, so this test can never switch the machine off.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/power.h"
#include "support/temp_dir.h"

namespace {

class NoSystemBus : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* old = std::getenv("DBUS_SYSTEM_BUS_ADDRESS")) Saved = old;
    HadAddress = std::getenv("DBUS_SYSTEM_BUS_ADDRESS") != nullptr;
  }
  void TearDown() override {
    if (HadAddress) setenv("DBUS_SYSTEM_BUS_ADDRESS", Saved.c_str(), 1);
    else unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
  }
  void PointBusAt(const std::string& socketPath) {
    const std::string address = "unix:path=" + socketPath;
    ASSERT_EQ(setenv("DBUS_SYSTEM_BUS_ADDRESS", address.c_str(), 1), 0);
    ASSERT_STREQ(std::getenv("DBUS_SYSTEM_BUS_ADDRESS"), address.c_str());
  }
  testsupport::TempDir Dir;
  std::string Saved;
  bool HadAddress = false;
};

TEST_F(NoSystemBus, MissingSocketIsAnError) {
  PointBusAt(Dir.Str() + "/no-bus-here");
  std::string error;
  EXPECT_FALSE(platform::detail::SystemPowerOff(error));
  EXPECT_NE(error.find("system bus"), std::string::npos) << error;
}

TEST_F(NoSystemBus, PeerThatHangsUpIsAnError) {
  const std::string path = Dir.Str() + "/mute-bus";
  const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(listener, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  ASSERT_LT(path.size(), sizeof(address.sun_path));
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  ASSERT_EQ(bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
  ASSERT_EQ(listen(listener, 1), 0);
  // Takes the connection and closes it at once, before any greeting.
  std::thread peer([listener] {
    const int c = accept(listener, nullptr, nullptr);
    if (c >= 0) close(c);
  });
  PointBusAt(path);
  std::string error;
  EXPECT_FALSE(platform::detail::SystemPowerOff(error));
  EXPECT_FALSE(error.empty());
  peer.join();
  close(listener);
}

}  // namespace
