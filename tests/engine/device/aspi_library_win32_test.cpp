// The ASPI library loader against a stand-in library: found by its usual
// name, a library without an entry point, the packed record as the library reads
// it, answers that arrive later through the completion event, and an answer
// that arrives after the wait gave up.
#include <windows.h>

#include <bit>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/device/aspi_library.h"
#include "engine/device/device_fixture.h"
#include "platform/program_folder.h"
#include "platform/utf8_path.h"
#include "platform/win32_text.h"
#include "support/temp_dir.h"

namespace devicetest {
namespace {

std::string Beside(const char* name) { return platform::ExecutableFolder() + "\\" + name; }
std::string FakeLibrary() { return Beside("zantic_fake_aspi.dll"); }

// Waits a little instead of the device's ten seconds at least.
class TShortWait final : public device::TSleeper {
 public:
  bool WaitForEvent(device::TSRBEvent& event, std::uint32_t) override { return event.WaitFor(50); }
};

class AspiLibrary : public ::testing::Test {
 protected:
  void SetUp() override { device::FinalizeTransport(); }
  void TearDown() override { device::FinalizeTransport(); }
};

TEST_F(AspiLibrary, MissingLibraryOrEntryPointLoadsNothing) {
  testsupport::TempDir dir;
  EXPECT_FALSE(device::InitializeTransport(false, dir.Str() + "\\absent.dll"));
  EXPECT_EQ(device::TransportName(), "");
  EXPECT_EQ(device::TransportProblem(), "");
  EXPECT_FALSE(device::InitializeTransport(false, Beside("zantic_fake_aspi_nosend.dll")));
  EXPECT_FALSE(device::TransportReady());
  EXPECT_NE(device::TransportProblem().find("SendASPI32Command is missing"), std::string::npos)
      << device::TransportProblem();
}

// Without a path the library goes by its usual name, found the way the
// system finds libraries: here beside the program.
TEST_F(AspiLibrary, TheUsualNameIsFoundBesideTheProgram) {
  const auto copy = platform::Utf8Path(Beside("WNASPI32.DLL"));
  std::filesystem::copy_file(platform::Utf8Path(FakeLibrary()), copy, std::filesystem::copy_options::overwrite_existing);
  const bool loaded = device::InitializeTransport(false, "");
  const std::string name = device::TransportName();
  device::FinalizeTransport();  // lets the copy go before it is removed
  std::filesystem::remove(copy);
  EXPECT_TRUE(loaded);
  EXPECT_EQ(name, "WNASPI32.DLL");
}

TEST_F(AspiLibrary, DrivesAndCommandsGoThroughThePackedRecord) {
  TTestDevice dev;
  ASSERT_TRUE(dev.InitASPI(false, FakeLibrary()));
  EXPECT_EQ(device::TransportName(), "WNASPI32.DLL");
  EXPECT_FALSE(device::BuiltInLayerActive());
  // The INQUIRY answer arrives from the library's thread; the letter from
  // the library's disk information where no drive letter reports the address.
  ASSERT_EQ(dev.DeviceList().size(), 1u);
  const std::string& line = dev.DeviceList()[0];
  EXPECT_EQ(line.substr(0, 6), "0:0:0,");
  EXPECT_NE(line.find(": FAKEASPIDRIVE           0.01"), std::string::npos) << line;
  dev.SelectDevice(line);
  ASSERT_EQ(dev.DeviceType(), 5);

  EXPECT_FALSE(dev.TestUnitReady(5000));
  EXPECT_EQ(dev.LastSense()[12], 0x3A) << "the sense comes back from the library's record";
  EXPECT_FALSE(dev.LastErrorText().empty());

  // The library read the 97-byte layout (pointers widened in a 64-bit build).
  using TRecordFn = void(__cdecl*)(std::uint8_t*, int);
  const auto lastRecord =
      std::bit_cast<TRecordFn>(GetProcAddress(GetModuleHandleW(L"zantic_fake_aspi.dll"), "FakeAspiLastRecord"));
  ASSERT_NE(lastRecord, nullptr);
  std::uint8_t r[105] = {};
  lastRecord(r, sizeof r);
  constexpr std::size_t p = sizeof(void*);
  EXPECT_EQ(r[0], 2);     // SRB_Cmd
  EXPECT_EQ(r[3], 0x40);  // no data, event notify
  EXPECT_EQ(r[16 + p], 24);        // SRB_SenseLen
  EXPECT_EQ(r[17 + p], 6);         // SRB_CDBLen
  EXPECT_NE(r[20 + p] | r[21 + p], 0) << "an event handle in SRB_PostProc";
  EXPECT_EQ(r[40 + 2 * p], 0x00);  // TEST UNIT READY at CDBByte
}

TEST_F(AspiLibrary, AnAnswerAfterTheTimeOutLandsInMemoryOfTheLayer) {
  TShortWait shortWait;
  TTestDevice dev;
  dev.SetSleeper(shortWait);
  ASSERT_TRUE(dev.InitASPI(false, FakeLibrary()));
  ASSERT_EQ(dev.DeviceList().size(), 1u);
  dev.SelectDevice(dev.DeviceList()[0]);
  std::vector<std::uint8_t> data(4096, 0x11);
  device::SRB_ExecSCSICmd srb;
  srb.SRB_Flags = device::kFlagsRead;
  srb.SRB_BufLen = static_cast<std::uint32_t>(data.size());
  srb.SRB_BufPointer = data.data();
  srb.SRB_CDBLen = 12;
  srb.CDBByte[0] = 0xBB;
  const HMODULE fake = GetModuleHandleW(L"zantic_fake_aspi.dll");
  const auto lateAnswers = std::bit_cast<int(__cdecl*)()>(GetProcAddress(fake, "FakeAspiLateAnswers"));
  const auto waitLate = std::bit_cast<int(__cdecl*)(int, int)>(GetProcAddress(fake, "FakeAspiWaitLateAnswers"));
  ASSERT_NE(lateAnswers, nullptr);
  ASSERT_NE(waitLate, nullptr);
  const int late = lateAnswers();
  dev.ExecuteSRB(srb, 5000);
  EXPECT_EQ(srb.SRB_Status, device::kSsErr);
  EXPECT_EQ(srb.SRB_HaStat, device::kHaStatTimeout);
  // The answer comes after the time-out; it must not land here even late.
  ASSERT_EQ(waitLate(late + 1, 20000), 1);
  EXPECT_EQ(data, std::vector<std::uint8_t>(4096, 0x11)) << "the late answer must not reach the caller's buffer";
}

}  // namespace
}  // namespace devicetest
