// Blu-ray on the virtual recorder: what the drive reports for BD-R, BD-R DL
// and BD-RE, formatting with and without spare areas, the BD-R closes, the
// speed defect management costs; then the burner component streaming past
// it and erasing a BD-RE by formatting it. Whole burns and read-backs by
// other programs are in tests/interop/check_bluray.py.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>

#include "engine/device/media_types.h"
#include "engine/device/speed_text.h"
#include "engine/kavo_burner.h"
#include "engine/texts.h"
#include "support/temp_dir.h"
#include "vdrive/engine_fixture.h"

namespace vdrivetest {
namespace {

using vdrive::TMedia;

std::uint16_t CurrentProfile(const TAnswer& a) { return static_cast<std::uint16_t>(Be(a.Data, 6, 2)); }

// The format descriptors after the current/maximum one: type -> the block counts offered.
std::map<std::uint8_t, std::vector<std::uint32_t>> Formats(const TAnswer& a) {
  std::map<std::uint8_t, std::vector<std::uint32_t>> out;
  for (std::size_t at = 12; at + 8 <= 4u + a.Data[3]; at += 8)
    out[static_cast<std::uint8_t>(a.Data[at + 4] >> 2)].push_back(Be(a.Data, at, 4));
  return out;
}

bool Offers(const std::map<std::uint8_t, std::vector<std::uint32_t>>& formats, std::uint8_t type, std::uint32_t blocks) {
  const auto it = formats.find(type);
  return it != formats.end() && std::find(it->second.begin(), it->second.end(), blocks) != it->second.end();
}

std::vector<std::uint8_t> FormatCapacities() { return {0x23, 0, 0, 0, 0, 0, 0, 0x01, 0x00, 0}; }

class BdRecorder : public RecorderTest {
 protected:
  void MakeBd(TMedia media, std::uint32_t blocks = 0) {
    Make(media, blocks);
    Recorder->SetTimings(Timings);
  }
  TAnswer Format(std::uint32_t blocks, std::uint8_t type, std::uint8_t subType = 0) {
    auto list = FormatList(blocks, type, 0, false);
    list[8] = static_cast<std::uint8_t>(list[8] | subType);
    return RunOut(cdb::FormatUnit(), list);
  }
  vdrive::TTimings Timings{0, 0, 0, 0, 0, 0};
};

TEST_F(BdRecorder, EachMediumReportsItsProfileFeaturesAndRealCapacity) {
  struct TCase {
    TMedia Media;
    std::uint16_t Profile;
    std::uint32_t Raw;
    std::uint32_t DefaultFormat;  // BD-RE type 00h, BD-R type 32h with the default spare areas
  };
  for (const TCase& c : {TCase{TMedia::BdR, 0x41, 12219392, 11826176}, TCase{TMedia::BdRDl, 0x41, 24438784, 23652352},
                         TCase{TMedia::BdRe, 0x43, 12219392, 11826176}, TCase{TMedia::BdReDl, 0x43, 24438784, 23652352}}) {
    SCOPED_TRACE(vdrive::MediaName(c.Media));
    MakeBd(c.Media);
    EXPECT_EQ(CurrentProfile(Run(cdb::GetConfiguration(0, 0), 1024)), c.Profile);
    const TAnswer read = Run(cdb::GetConfiguration(2, 0x40), 64);
    ASSERT_GE(read.Data.size(), 11u);
    EXPECT_EQ(Be(read.Data, 8, 2), 0x40u);
    EXPECT_EQ(read.Data[10] & 0x01, 1);  // current
    const TAnswer write = Run(cdb::GetConfiguration(2, 0x41), 64);
    EXPECT_EQ(write.Data[10] & 0x01, 1);
    const auto formats = Formats(Run(FormatCapacities(), 252));
    const bool rewritable = c.Profile == 0x43;
    if (rewritable) {
      EXPECT_TRUE(Offers(formats, 0x00, c.DefaultFormat));
      EXPECT_TRUE(Offers(formats, 0x31, c.Raw));  // no spare areas: the whole disc
      EXPECT_TRUE(Offers(formats, 0x30, c.DefaultFormat));
      EXPECT_FALSE(Offers(formats, 0x32, c.DefaultFormat));
      EXPECT_EQ(WriteBlocks(0, 32).SenseText(), "2/30/10");  // not formatted yet
      ASSERT_TRUE(Format(c.DefaultFormat, 0x00).Good());
      EXPECT_EQ(Disc().FormattedBlocks, c.DefaultFormat);
      const TAnswer capacity = Run({0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 8);
      EXPECT_EQ(Be(capacity.Data, 0, 4), c.DefaultFormat - 1);
    } else {
      EXPECT_TRUE(Offers(formats, 0x32, c.DefaultFormat));
      EXPECT_EQ(formats.count(0x00), 0u);
      const TAnswer track = Run(cdb::TrackInfo(1), 48);
      EXPECT_EQ(Be(track.Data, 16, 4), c.Raw);  // free blocks: no spare areas unless formatted
      EXPECT_EQ(Be(track.Data, 20, 4), 32u);    // one cluster
    }
  }
}

TEST_F(BdRecorder, BdRTakesSpareAreasOnceWhileBlank) {
  MakeBd(TMedia::BdR);
  EXPECT_EQ(Format(12000000, 0x32).SenseText(), "5/26/00");  // a size no spare area choice leaves
  EXPECT_EQ(Format(11826176, 0x00).SenseText(), "5/26/00");  // BD-RE's type
  ASSERT_TRUE(Format(11826176, 0x32).Good());
  EXPECT_EQ(Disc().SpareBlocks, 393216u);
  EXPECT_EQ(Be(Run(cdb::TrackInfo(1), 48).Data, 16, 4), 11826176u);
  EXPECT_FALSE(Format(12088320, 0x32).Good());  // formatted for good
  // Kept with the disc file.
  Reopen();
  EXPECT_EQ(Disc().SpareBlocks, 393216u);
  EXPECT_EQ(Disc().Capacity, 11826176u);
}

TEST_F(BdRecorder, BdRSessionsCloseWithFunctionTwoAndFinalizeWithSix) {
  MakeBd(TMedia::BdR, 100000);
  ASSERT_TRUE(WriteBlocks(0, 40).Good());
  ASSERT_TRUE(Run(cdb::Close(1, 1)).Good());
  ASSERT_TRUE(Run(cdb::Close(2)).Good());
  TAnswer info = Run(cdb::DiscInfo(), 34);
  EXPECT_EQ(info.Data[2] & 0x03, 1);  // appendable
  const TAnswer next = Run(cdb::TrackInfo(2), 48);
  EXPECT_EQ(Be(next.Data, 12, 4), 64u);  // the next cluster
  ASSERT_TRUE(WriteBlocks(64, 32).Good());
  EXPECT_EQ(Run(cdb::Close(5)).SenseText(), "5/24/00");  // DVD+R's finalize is not BD-R's
  ASSERT_TRUE(Run(cdb::Close(1, 2)).Good());
  ASSERT_TRUE(Run(cdb::Close(6)).Good());
  info = Run(cdb::DiscInfo(), 34);
  EXPECT_EQ(info.Data[2] & 0x03, 2);
  EXPECT_EQ(WriteBlocks(96, 32).SenseText(), "5/21/02");
}

TEST_F(BdRecorder, BdReFormatsChooseTheirSpareAreasAndFullCertificationTakesLonger) {
  Timings.Format = 1000;
  MakeBd(TMedia::BdRe);
  // Without spare areas: the whole disc, at full speed.
  ASSERT_TRUE(Format(0, 0x31).Good());
  EXPECT_EQ(Disc().FormattedBlocks, 12219392u);
  EXPECT_EQ(Disc().SpareBlocks, 0u);
  ASSERT_TRUE(WriteBlocks(12219392 - 32, 32).Good());
  // A quick reformat with the largest spare areas offered; what lies past them is gone.
  ASSERT_TRUE(Format(12219392 - 655360, 0x30).Good());
  EXPECT_EQ(Disc().FormattedBlocks, 12219392u - 655360);
  EXPECT_EQ(WriteBlocks(12219392 - 32, 32).SenseText(), "5/21/00");
  EXPECT_EQ(Format(0, 0x30, 0x01).SenseText(), "5/26/00");  // reserved sub-type
  // With IMMED the drive is busy formatting; full certification four times as long.
  auto list = FormatList(11826176, 0x30, 0, true);
  list[8] |= 0x02;
  ASSERT_TRUE(RunOut(cdb::FormatUnit(), list).Good());
  Clock.Now += 3000;
  EXPECT_EQ(Run({0, 0, 0, 0, 0, 0}).SenseText(), "2/04/04");
  Clock.Now += 1001;
  EXPECT_TRUE(Run({0, 0, 0, 0, 0, 0}).Good());
}

TEST_F(BdRecorder, SpeedsAreBdFactorsAndSetStreamingPicksOne) {
  MakeBd(TMedia::BdR, 100000);
  std::vector<std::uint8_t> get{0xAC, 0, 0, 0, 0, 0, 0, 0, 0, 8, 0x03, 0};
  const TAnswer perf = Run(get, 8 + 8 * 16);
  ASSERT_TRUE(perf.Good());
  EXPECT_EQ(Be(perf.Data, 0, 4), 4u + 5 * 16);  // five speeds
  EXPECT_EQ(Be(perf.Data, 8 + 12, 4), 53940u);  // 12X first
  EXPECT_EQ(Be(perf.Data, 8 + 4 * 16 + 12, 4), 8990u);
  // 6X asked as 26,970 kB in 1,000 ms.
  std::vector<std::uint8_t> p(28, 0);
  const auto put = [&p](std::size_t at, std::uint32_t v) {
    for (std::size_t i = 0; i < 4; ++i) p[at + i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
  };
  put(8, 99999);
  put(12, 53940);
  put(16, 1000);
  put(20, 26970);
  put(24, 1000);
  ASSERT_TRUE(RunOut({0xB6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 28, 0}, p).Good());
  EXPECT_EQ(Be(Run(cdb::ModeSense(0x2A), 256).Data, 8 + 28, 2), 26970u);  // current write speed
  // "Max" in a streaming descriptor is a size of 0: the speed stays, never the slowest.
  put(12, 0);
  put(20, 0);
  ASSERT_TRUE(RunOut({0xB6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 28, 0}, p).Good());
  EXPECT_EQ(Be(Run(cdb::ModeSense(0x2A), 256).Data, 8 + 28, 2), 26970u);
  EXPECT_EQ(device::SpeedText(26970, device::TSpeedFamily::Bd, ','), "6.0X (26,970 KB/s)");
  EXPECT_EQ(device::SpeedText(53940, device::SpeedFamilyOf(device::kMediumBdre), '.'), "12.0X (53.940 KB/s)");
}

TEST_F(BdRecorder, SpareAreasHalveTheWriteRateUnlessStreaming) {
  // Time the drive takes to take 8 MiB at 6X through its 2 MiB buffer.
  const auto timed = [&](bool spare, bool streaming) {
    MakeBd(TMedia::BdR, 100000);
    if (spare) {
      EXPECT_TRUE(Format(100000 - 100000 / 16 / 32 * 32, 0x32).Good());
    }
    vdrive::TFaults f;
    f.ThrottleKBps = 26970;
    Recorder->SetFaults(f);
    const std::int64_t before = Clock.Slept;
    for (std::uint32_t lba = 0; lba < 4096; lba += 32) {
      std::vector<std::uint8_t> write{0xAA, 0, 0, 0, 0, 0, 0, 0, 0, 32, static_cast<std::uint8_t>(streaming ? 0x80 : 0), 0};
      for (int i = 0; i < 4; ++i) write[2 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(lba >> (24 - 8 * i));
      EXPECT_TRUE(RunOut(write, std::vector<std::uint8_t>(32 * 2048, 0x5A)).Good());
    }
    return Clock.Slept - before;
  };
  const std::int64_t plain = timed(false, false);
  const std::int64_t verified = timed(true, false);
  const std::int64_t streamed = timed(true, true);
  EXPECT_GT(plain, 150);  // 6 MiB past the buffer at 26,970 kB/s: about 230 ms
  EXPECT_NEAR(static_cast<double>(verified), 2.0 * static_cast<double>(plain), 0.1 * static_cast<double>(plain));
  EXPECT_NEAR(static_cast<double>(streamed), static_cast<double>(plain), 0.1 * static_cast<double>(plain));
  // The drive tells its spare areas.
  const TAnswer info = Run({0xAD, 0x01, 0, 0, 0, 0, 0, 0x0A, 0, 16, 0, 0}, 16);
  ASSERT_TRUE(info.Good());
  EXPECT_EQ(Be(info.Data, 12, 4), 100000u / 16 / 32 * 32);
}

// --- the burner on BD media --------------------------------------------------

class BdBurn : public EngineRecorderTest {
 protected:
  BdBurn() : EngineRecorderTest("vdrive-bluray") {}
  void Attach(TMedia media, std::uint32_t blocks) {
    AttachRecorder(media, blocks);
    if (HasFatalFailure()) return;
    Shared->SetTimings(vdrive::TTimings{0, 0, 0, 0, 0, 0});
    Burner.OnWriteDone = [this](engine::TKavoBurner&, const std::string& e) {
      Result = e;
      Ended = true;
    };
    Burner.OnEraseDone = [this](engine::TKavoBurner&, bool withError, const std::string& reason) {
      Result = withError ? "erase failed" : "";
      EraseReason = reason;
      Ended = true;
    };
  }
  void TearDown() override {
    Burner.WaitForOperation();
    DetachRecorder();
  }
  std::string Folder(const std::string& name, std::size_t size) {
    const std::string folder = Dir.Str() + "/" + name;
    std::filesystem::create_directories(folder);
    Contents[name + ".bin"] = testsupport::PatternContent(size, static_cast<std::uint32_t>(Contents.size() + 7));
    std::ofstream(folder + "/" + name + ".bin", std::ios::binary) << Contents[name + ".bin"];
    return folder;
  }
  std::string Burn(const std::string& folder) {
    Burner.ResetCompilation(600000, 20000);
    Burner.SetSessionToImport(-1);
    Burner.AddFolderToCompilation("\\", folder, false, false, true, platform::kAttrAnyFile, "*.*");
    return Await([&] { return Burner.StartCompilationBurn(); });
  }
  std::string Await(const std::function<bool()>& start) {
    Ended = false;
    Result = "not ended";
    Shared->ClearCommandLog();
    if (!start()) return "not started";
    Burner.WaitForOperation();
    EXPECT_TRUE(Ended);
    return Result;
  }
  // Every file of the last session, read back through the burner.
  std::map<std::string, std::string> ReadBack() {
    std::map<std::string, std::string> found;
    Burner.ResetCompilation(600000, 20000);
    if (!Burner.ImportDiscSession(-1, nullptr)) return found;
    for (const auto& e : Burner.Tables().Files()) {
      if (e->IsDirectory() || !e->Imported) continue;
      const std::string out = Dir.Str() + "/back" + std::to_string(Extracted++);
      std::string bytes = "unreadable";
      if (Burner.ExtractDiscFile(*e, out) == 1) {
        std::ifstream in(out, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
      }
      found[e->LongName] = std::move(bytes);
    }
    return found;
  }
  std::vector<std::uint8_t> Closes() const {
    std::vector<std::uint8_t> out;
    for (const auto& c : Shared->CommandLog())
      if (c.Opcode() == 0x5B && c.Status == 0) out.push_back(c.Cdb[2] & 0x07);
    return out;
  }
  vdrive::TDisc State() const { return Shared->Disc().value(); }

  std::map<std::string, std::string> Contents;
  std::string EraseReason;  // of the last erase's end
  int Extracted = 0;
};

TEST_F(BdBurn, StreamingWritesPastDefectManagement) {
  const std::uint32_t raw = 16000;
  for (bool streaming : {false, true}) {
    SCOPED_TRACE(streaming ? "streaming" : "verified");
    Attach(TMedia::BdR, raw);
    ASSERT_TRUE(Burner.FormatUnit(device::FormatList({raw - raw / 16 / 32 * 32, 0x32, raw / 16 / 32 * 32}, 0)));
    EXPECT_EQ(Burner.BdSpareBlocks(), raw / 16 / 32 * 32);
    Burner.SetBdStreaming(streaming);
    ASSERT_EQ(Burn(Folder(streaming ? "s" : "v", 200000)), "");
    int write10 = 0, streamed = 0;
    for (const auto& c : Shared->CommandLog()) {
      write10 += c.Opcode() == 0x2A;
      streamed += c.Opcode() == 0xAA && c.Cdb.size() > 10 && (c.Cdb[10] & 0x80) != 0;
    }
    EXPECT_EQ(write10 == 0, streaming);
    EXPECT_EQ(streamed != 0, streaming);
    EXPECT_EQ(Closes(), (std::vector<std::uint8_t>{1, 2}));  // track, then session: never finalized unasked
    EXPECT_EQ(ReadBack().size(), 1u);
  }
}

TEST_F(BdBurn, ErasingABdReFormatsIt) {
  Attach(TMedia::BdRe, 64000);
  ASSERT_EQ(Burn(Folder("a", 100000)), "");
  EXPECT_FALSE(ReadBack().empty());
  for (std::uint8_t type : {std::uint8_t{1}, std::uint8_t{0}}) {
    SCOPED_TRACE(type == 1 ? "quick" : "full");
    ASSERT_EQ(Await([&] { return Burner.Erase(type); }), "");
    std::vector<std::uint8_t> formats;
    for (const auto& c : Shared->CommandLog())
      if (c.Opcode() == 0x04 && c.Status == 0) formats.push_back(c.Opcode());
    EXPECT_EQ(formats.size(), 1u);
    EXPECT_EQ(State().FormattedBlocks, 64000u - 64000 / 16 / 32 * 32);
    EXPECT_EQ(State().HighWater, 0u);
    EXPECT_TRUE(ReadBack().empty());
  }
}

// A full erase that outlasts the fixed estimate (4,440 s) ends when the drive
// does while its progress moves; one whose progress stops is given up, with
// why; a cancel still ends the wait.
TEST_F(BdBurn, AFullEraseIsWaitedForWhileTheDrivesProgressMoves) {
  struct TCase {
    TMedia Media;
    std::uint32_t StallAfterMs;
    std::int64_t CancelAtMs;
    double EndsAfterS;  // when the drive ends or the wait gives up
    const char* Result;
  };
  // A certified BD-RE format takes four times Format: 6,000 s; the DVD-RW
  // wait counts one estimated second a 2 s poll, so its blank runs 10,000 s.
  for (const TCase& c : {TCase{TMedia::BdRe, 0, 0, 6000, ""}, TCase{TMedia::DvdRw, 0, 0, 10000, ""},
                         TCase{TMedia::BdRe, 5000000, 0, 5000 + 15 * 60, "erase failed"},
                         TCase{TMedia::BdRe, 0, 5000000, 5000, "erase failed"}}) {
    SCOPED_TRACE(std::string(vdrive::MediaName(c.Media)) + (c.StallAfterMs != 0 ? ", stalled" : "") +
                 (c.CancelAtMs != 0 ? ", cancelled" : ""));
    Attach(c.Media, 64000);
    vdrive::TTimings t{0, 0, 0, 0, 0, 0};
    t.Format = 1500000;
    t.BlankFull = 10000000;
    Shared->SetTimings(t);
    Shared->SetStallAfter(c.StallAfterMs);
    std::string log;
    Burner.OnDebugMessage = [&log](device::TSCSIDevice&, const std::string& m, std::uint8_t) { log += m + "\n"; };
    int lastPercent = -1;
    Burner.OnEraseProgress = [&lastPercent](engine::TKavoBurner&, int percent) { lastPercent = percent; };
    const std::int64_t start = Clock.Now;
    Sleeper.OnSleep = [&] {
      if (c.CancelAtMs != 0 && Clock.Now - start >= c.CancelAtMs) Burner.CancelOperation();
    };
    EXPECT_EQ(Await([&] { return Burner.Erase(0); }), c.Result);
    Sleeper.OnSleep = nullptr;
    const double waited = static_cast<double>(Clock.Now - start) / 1000.0;
    EXPECT_GE(waited, c.EndsAfterS);
    EXPECT_LT(waited, c.EndsAfterS + 60);
    const bool stalled = log.find("STOPPED WAITING: THE DRIVE IS STILL BUSY, ITS PROGRESS AT 83% FOR 15 MINUTES") !=
                         std::string::npos;
    EXPECT_EQ(stalled, c.StallAfterMs != 0) << log;
    // The end carries the same reason for the person; a cancel has none.
    EXPECT_EQ(!EraseReason.empty() && log.find(EraseReason) != std::string::npos, stalled) << EraseReason;
    // Only an erase that ended well claims 100%; a given-up one keeps the drive's last figure.
    EXPECT_EQ(lastPercent == 100, c.Result[0] == '\0') << lastPercent;
    if (stalled) {
      EXPECT_EQ(lastPercent, 83);
    }
    Burner.OnDebugMessage = nullptr;
    Burner.OnEraseProgress = nullptr;
  }
}

}  // namespace
}  // namespace vdrivetest
