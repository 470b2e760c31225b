// Whole burns and blanks by the burner component on the virtual recorder,
// with the faults and choices that change what is sent.
#include <algorithm>
#include <fstream>
#include <regex>

#include "appcore/speed_list.h"
#include "engine/device/transport.h"
#include "engine/kavo_burner.h"
#include "engine/texts.h"
#include "vdrive/engine_fixture.h"
#include "vdrive/registration.h"

namespace vdrivetest {
namespace {

using vdrive::TMedia;

class EngineBurn : public EngineRecorderTest {
 protected:
  EngineBurn() : EngineRecorderTest("vdrive-burn") {}
  void Attach(TMedia media, std::uint32_t blocks = 30000) {
    AttachRecorder(media, blocks);
    if (HasFatalFailure()) return;
    Burner.OnWriteDone = [this](engine::TKavoBurner&, const std::string& e) {
      Result = e;
      Ended = true;
    };
    Source = Dir.Str() + "/src";
    std::filesystem::create_directories(Source);
    for (int i = 0; i < 6; ++i) {
      std::ofstream(Source + "/f" + std::to_string(i) + ".bin") << std::string(300000, static_cast<char>('a' + i));
    }
  }
  void TearDown() override {
    Burner.WaitForOperation();
    DetachRecorder();
  }
  std::string Burn() {
    Ended = false;
    Result = "not ended";
    Burner.ResetCompilation(600000, 20000);
    Burner.AddFolderToCompilation("\\", Source, false, false, true, platform::kAttrAnyFile, "*.*");
    Shared->ClearCommandLog();
    Burner.StartCompilationBurn();
    Burner.WaitForOperation();
    EXPECT_TRUE(Ended);
    return Result;
  }
  int Count(std::uint8_t opcode) const {
    int n = 0;
    for (const auto& c : Shared->CommandLog()) n += c.Opcode() == opcode && c.Status == 0;
    return n;
  }
  vdrive::TDisc State() const { return Shared->Disc().value(); }

  std::string Source;
};

TEST_F(EngineBurn, BusyAndNotReadyBurstsAreAbsorbed) {
  Attach(TMedia::DvdPlusR);
  vdrive::TFaults f;
  f.BusyCommands = 40;
  Shared->SetFaults(f);
  EXPECT_EQ(Burn(), "");
  EXPECT_EQ(State().Tracks.size(), 1u);
}

TEST_F(EngineBurn, EndlessBusyEndsBeforeTheFirstWrite) {
  Attach(TMedia::CdR);
  vdrive::TFaults f;
  f.BusyCommands = 2000000;
  Shared->SetFaults(f);
  // Busy from the first command on: the burn ends before its first write,
  // since not even the next writable address can be read.
  const std::string result = Burn();
  EXPECT_EQ(result.rfind(engine::texts::kErrorNextWritableAddress, 0), 0u) << result;
  EXPECT_EQ(Count(0x2A), 0);
}

TEST_F(EngineBurn, MediumErrorCarriesTheDecodedText) {
  Attach(TMedia::DvdPlusR);
  vdrive::TFaults f;
  f.WriteErrorLba = 100;
  Shared->SetFaults(f);
  const std::string result = Burn();
  EXPECT_EQ(result.rfind(std::string(engine::texts::kWriterError) + " [", 0), 0u) << result;
  EXPECT_GT(result.size(), std::string(engine::texts::kWriterError).size() + 4);
}

// The recorder as a drive that vanishes from the bus after a number of writes.
class TVanishingDrive final : public device::TPassThroughDrive {
 public:
  TVanishingDrive(std::unique_ptr<device::TPassThroughDrive> inner, int writes)
      : FInner(std::move(inner)), FWrites(writes) {}
  bool Open() override { return FInner->Open(); }
  void Close() override { FInner->Close(); }
  bool IsOpen() const override { return FInner->IsOpen(); }
  platform::ScsiOutcome Execute(std::span<const std::uint8_t> cdb, platform::ScsiDirection direction,
                                std::span<std::uint8_t> data, std::span<std::uint8_t> sense,
                                std::uint32_t timeoutMs) override {
    if (cdb[0] == 0x2A && FWrites-- <= 0) {
      platform::ScsiOutcome gone;
      gone.OsError = 19;  // ENODEV
      return gone;
    }
    return FInner->Execute(cdb, direction, data, sense, timeoutMs);
  }
  std::optional<platform::ScsiAddress> Address() override { return FInner->Address(); }
  char DriveLetter() const override { return FInner->DriveLetter(); }
  std::string Location() const override { return FInner->Location(); }

 private:
  std::unique_ptr<device::TPassThroughDrive> FInner;
  int FWrites;
};

TEST_F(EngineBurn, ADriveGoneFromTheBusEndsTheBurnWithinHalfAMinute) {
  Attach(TMedia::DvdPlusR);
  device::FinalizeTransport();
  device::RegisterDriveProvider("vdrive-burn", [this] {
    std::vector<std::unique_ptr<device::TPassThroughDrive>> drives;
    drives.push_back(std::make_unique<TVanishingDrive>(vdrive::MakePassThroughDrive(Shared), 5));
    return drives;
  });
  ASSERT_TRUE(Burner.InitASPI(true, ""));
  for (const auto& line : Burner.DeviceList())
    if (line.find("VIRTUAL RECORDER") != std::string::npos) Burner.SelectDevice(line);
  const std::int64_t before = Clock.Now;
  EXPECT_EQ(Burn().rfind(engine::texts::kWriterError, 0), 0u);
  EXPECT_LE(Clock.Now - before, 60000);
}

TEST_F(EngineBurn, AbortFlushesAndClosesNothing) {
  Attach(TMedia::DvdPlusR);
  Burner.SetCacheSize(2097152);
  Burner.OnFinalizingTrack = [](engine::TKavoBurner&) {};
  Burner.CancelOperation();
  // The request set before the start is cleared by it; it comes once the
  // drive's buffer is full, in the middle of the data.
  std::ofstream(Source + "/g.bin") << std::string(3000000, 'g');
  Clock.OnSleep = [this] { Burner.CancelOperation(); };
  vdrive::TFaults f;
  f.ThrottleKBps = 1000000;
  Shared->SetFaults(f);
  EXPECT_EQ(Burn(), engine::texts::kOperationAborted);
  EXPECT_GE(Count(0x35), 1);  // SYNCHRONIZE CACHE
  EXPECT_EQ(Count(0x5B), 0);  // no CLOSE TRACK/SESSION
}

TEST_F(EngineBurn, TrackLeftOpenTestWriteAndOpc) {
  Attach(TMedia::CdR);
  Burner.SetFinalizeTrack(false);
  EXPECT_EQ(Burn(), "");
  EXPECT_EQ(Count(0x5B), 0);
  EXPECT_GE(Count(0x35), 1);
  EXPECT_EQ(Count(0x54), 0);  // no OPC unless asked

  Attach(TMedia::CdR);
  Burner.SetFinalizeTrack(true);
  Burner.SetTestWrite(true);
  Burner.SetPerformOPC(true);
  EXPECT_EQ(Burn(), "");
  EXPECT_EQ(Count(0x5B), 0);
  EXPECT_EQ(Count(0x54), 0);
  EXPECT_TRUE(State().Tracks.empty());  // nothing recorded

  Burner.SetTestWrite(false);
  EXPECT_EQ(Burn(), "");
  EXPECT_EQ(Count(0x54), 1);
}

TEST_F(EngineBurn, UnopenableFirstSourceEndsBeforeAnySector) {
  Attach(TMedia::DvdPlusR);
  Burner.ResetCompilation(600000, 20000);
  Burner.AddFolderToCompilation("\\", Source, false, false, true, platform::kAttrAnyFile, "*.*");
  std::filesystem::remove(Source + "/f0.bin");
  Shared->ClearCommandLog();
  Burner.StartCompilationBurn();
  Burner.WaitForOperation();
  EXPECT_NE(Result.find("CAN'T OPEN FILE"), std::string::npos) << Result;
  EXPECT_EQ(Count(0x2A), 0);
}

TEST_F(EngineBurn, ReadBackCatchesACorruptedSector) {
  Attach(TMedia::DvdRam);
  Burner.SetRecordWrites(true);
  ASSERT_EQ(Burn(), "");
  EXPECT_EQ(Burner.VerifyLastBurn(nullptr), "");
  std::vector<std::uint8_t> junk(2048 * 32, 0x5A);
  ASSERT_TRUE(Burner.Write10(192, 32, junk));
  EXPECT_NE(Burner.VerifyLastBurn(nullptr).find("VERIFY FAILED"), std::string::npos);
}

TEST_F(EngineBurn, ErasesRunToTheEndAndARefusedBlankEndsWithError) {
  for (const auto& [media, type] : {std::pair{TMedia::CdRw, 1}, {TMedia::CdRw, 0}, {TMedia::DvdRw, 0},
                                    {TMedia::DvdPlusRw, 1}, {TMedia::DvdRam, 1}}) {
    Attach(media);
    bool done = false, withError = true;
    Burner.OnEraseDone = [&](engine::TKavoBurner&, bool e, const std::string&) {
      done = true;
      withError = e;
    };
    std::vector<std::string> lines;
    Burner.OnDebugMessage = [&](device::TSCSIDevice&, const std::string& m, std::uint8_t) { lines.push_back(m); };
    ASSERT_TRUE(Burner.Erase(static_cast<std::uint8_t>(type))) << static_cast<int>(media);
    Burner.WaitForOperation();
    Burner.OnDebugMessage = nullptr;
    EXPECT_TRUE(done && !withError) << static_cast<int>(media);
    // The speed follows the factor without a space: "16X(2,816 KB/s)".
    const auto start = std::find_if(lines.begin(), lines.end(),
                                    [](const std::string& l) { return l.rfind(">>> STARTING ERASE PROCESS ON ", 0) == 0; });
    ASSERT_NE(start, lines.end());
    EXPECT_TRUE(std::regex_search(*start, std::regex(" AT [0-9]+(\\.[0-9])?X\\([0-9][0-9,]* KB/s\\)$"))) << *start;
    EXPECT_FALSE(Burner.Erasing());
  }
  Attach(TMedia::CdRw);
  vdrive::TFaults f;
  f.RefuseOpcode = 0xA1;
  f.RefuseAlways = true;
  Shared->SetFaults(f);
  bool withError = false;
  Burner.OnEraseDone = [&](engine::TKavoBurner&, bool e, const std::string&) { withError = e; };
  // The blank is sent on the operation's worker: the refusal is its end event.
  EXPECT_TRUE(Burner.Erase(1));
  Burner.WaitForOperation();
  EXPECT_TRUE(withError);
  EXPECT_FALSE(Burner.Erasing());
}

}  // namespace
}  // namespace vdrivetest

namespace vdrivetest {
namespace {

// Many reading drives refuse READ TRACK INFORMATION: the session is found
// from the table of contents and READ CAPACITY, and reads back whole.
TEST_F(EngineBurn, ASessionIsReadBackFromADriveWithoutTrackInformation) {
  Attach(TMedia::CdR);
  ASSERT_EQ(Burn(), "");
  vdrive::TFaults f;
  f.RefuseOpcode = 0x52;
  f.RefuseAlways = true;
  Shared->SetFaults(f);
  Burner.ResetCompilation(600000, 20000);
  ASSERT_TRUE(Burner.ImportDiscSession(-1, nullptr));
  EXPECT_GT(Burner.DiscSource().SectorCount(), 0u);
  for (int i = 0; i < 6; ++i) {
    const std::string name = "f" + std::to_string(i) + ".bin";
    const iso::TFEntry* e = Burner.Tables().FindEntry(*Burner.Tables().Root(), name);
    ASSERT_NE(e, nullptr) << name;
    const std::string out = Dir.Str() + "/" + name;
    ASSERT_EQ(Burner.ExtractDiscFile(*e, out), 1) << name;
    std::ifstream in(out, std::ios::binary);
    const std::string got((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(got, std::string(300000, static_cast<char>('a' + i))) << name;
  }
}

// Listing the write speeds sets each in turn: the drive gets its own back.
TEST_F(EngineBurn, ListingWriteSpeedsLeavesTheDriveAtItsOwnSpeed) {
  Attach(TMedia::CdR);
  const std::uint16_t read = Burner.CurrentReadSpeed(), write = Burner.CurrentWriteSpeed();
  const auto list = appcore::FillSpeedList(Burner);
  EXPECT_GT(list.size(), 2u);
  EXPECT_EQ(Burner.CurrentWriteSpeed(), write);
  EXPECT_EQ(Burner.CurrentReadSpeed(), read);
}

}  // namespace
}  // namespace vdrivetest
