// The end of a burn and what is checked before its first write, on the
// virtual recorder: refused flushes and closes, a compilation that does not
// fit, sessions left open by a stopped burn, and a source that shrank.
#include <filesystem>
#include <fstream>
#include <map>
#include <random>

#include "engine/device/transport.h"
#include "engine/kavo_burner.h"
#include "engine/texts.h"
#include "vdrive/engine_fixture.h"
#include "vdrive/registration.h"

namespace vdrivetest {
namespace {

using vdrive::TMedia;
namespace texts = engine::texts;

std::string Pattern(std::size_t size, unsigned seed) {
  std::string s(size, '\0');
  std::mt19937 gen(seed);
  for (auto& c : s) c = static_cast<char>(gen());
  return s;
}

class BurnEnding : public EngineRecorderTest {
 protected:
  BurnEnding() : EngineRecorderTest("vdrive-endings") {}
  void Attach(TMedia media, std::uint32_t blocks = 60000) {
    AttachRecorder(media, blocks);
    if (HasFatalFailure()) return;
    Burner.OnWriteDone = [this](engine::TKavoBurner&, const std::string& e) {
      Result = e;
      Ended = true;
    };
    Burner.OnDebugMessage = [this](device::TSCSIDevice&, const std::string& m, std::uint8_t) { Log += m + "\n"; };
  }
  void TearDown() override {
    Burner.WaitForOperation();
    DetachRecorder();
  }
  // A folder of files with contents of their own, remembered for reading back.
  std::string Tree(const std::string& name, const std::vector<std::size_t>& sizes) {
    const std::string folder = Dir.Str() + "/" + name;
    std::filesystem::create_directories(folder);
    for (std::size_t i = 0; i < sizes.size(); ++i) {
      const std::string file = name + std::to_string(i) + ".bin";
      Contents[file] = Pattern(sizes[i], static_cast<unsigned>(Contents.size() + 1));
      std::ofstream(folder + "/" + file, std::ios::binary) << Contents[file];
    }
    return folder;
  }
  void Fill(const std::string& folder, std::int8_t import = 0) {
    Burner.ResetCompilation(600000, 20000);
    Burner.SetSessionToImport(import);
    Burner.AddFolderToCompilation("\\", folder, false, false, true, platform::kAttrAnyFile, "*.*");
  }
  std::string Start() {
    Ended = false;
    Result = "not ended";
    Shared->ClearCommandLog();
    Burner.StartCompilationBurn();
    Burner.WaitForOperation();
    EXPECT_TRUE(Ended);
    return Result;
  }
  std::string Burn(const std::string& folder, std::int8_t import = 0) {
    Fill(folder, import);
    return Start();
  }
  int Count(std::uint8_t opcode) const {
    int n = 0;
    for (const auto& c : Shared->CommandLog()) n += c.Opcode() == opcode;
    return n;
  }
  vdrive::TDisc State() const { return Shared->Disc().value(); }
  vdrive::TSessionState LastState() const { return vdrive::LastSessionState(State()); }
  // The files of the last complete session, each read back from the disc.
  std::map<std::string, std::string> ReadBack() {
    std::map<std::string, std::string> found;
    Burner.ResetCompilation(600000, 20000);
    if (!Burner.ImportDiscSession(-1, nullptr)) return found;
    for (const auto& e : Burner.Tables().Files()) {
      if (e->IsDirectory() || !e->Imported) continue;
      // A new name each time: extraction never replaces a file.
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

  std::map<std::string, std::string> Contents;
  std::string Log;
  int Extracted = 0;
};

TEST_F(BurnEnding, RefusedFlushOrCloseFailsNamingTheStepAndTheNextBurnRecovers) {
  for (TMedia media : {TMedia::CdR, TMedia::DvdR, TMedia::DvdPlusR}) {
    for (int op : {0x35, 0x5B}) {
      SCOPED_TRACE(std::string(vdrive::MediaName(media)) + (op == 0x35 ? " flush" : " close"));
      Attach(media);
      const std::string first = Tree("a" + std::to_string(op) + vdrive::MediaName(media), {70000, 5000});
      vdrive::TFaults f;
      f.RefuseOpcode = static_cast<std::uint16_t>(op);
      f.RefuseAlways = true;
      Shared->SetFaults(f);
      const std::string result = Burn(first);
      EXPECT_EQ(result.rfind("THE BURN COULD NOT BE ENDED: ", 0), 0u) << result;
      EXPECT_NE(result.find(op == 0x35 ? "SYNCHRONIZE CACHE FAILED [ILLEGAL REQUEST" : "FAILED [ILLEGAL REQUEST"),
                std::string::npos)
          << result;
      EXPECT_EQ(LastState(), vdrive::TSessionState::Incomplete);
      EXPECT_EQ(State().ClosedSessions, 0);

      // The drive works again: the next burn closes what was left open and
      // carries its files over, since all its data was written.
      Shared->SetFaults({});
      const std::string second = Tree("b" + std::to_string(op) + vdrive::MediaName(media), {3000});
      EXPECT_EQ(Burn(second, -1), "");
      EXPECT_EQ(State().ClosedSessions, 2);
      auto back = ReadBack();
      EXPECT_EQ(back.size(), 3u);
      for (const auto& [name, bytes] : back) EXPECT_TRUE(bytes == Contents[name]) << name;

      // Refused once: the second try succeeds and the log says so.
      Attach(media);
      f.RefuseAlways = false;
      Shared->SetFaults(f);
      Log.clear();
      EXPECT_EQ(Burn(first), "");
      EXPECT_NE(Log.find("REFUSED ONCE AND SUCCEEDED WHEN SENT AGAIN"), std::string::npos) << Log;
      EXPECT_EQ(State().ClosedSessions, 1);
    }
  }
}

TEST_F(BurnEnding, ACompilationOneSectorTooLargeIsRefusedBeforeAnyWrite) {
  Attach(TMedia::CdR, 12500);
  ASSERT_EQ(Burn(Tree("a", {1000})), "");
  // The room left after the gap the closed session leaves.
  const engine::FitCheck room = Burner.CheckFit(0, engine::BurnSource::Compilation);
  ASSERT_TRUE(room.Fits()) << room.Text;
  ASSERT_GT(room.Free, 400u);
  // One file sized so that the session takes exactly the room left, then
  // one sector more; the size probe tells what the directories take.
  const std::string folder = Tree("b", {2048});
  const std::string file = folder + "/b0.bin";
  // Laid out at sector 0 the files start at sector 150, after padding that
  // a later session does not need: a refused burn tells the difference.
  std::int64_t shift = 0;
  auto sizeTo = [&](std::uint64_t sectors) {
    const std::uint64_t want = static_cast<std::uint64_t>(static_cast<std::int64_t>(sectors) - shift);
    for (std::uint64_t fileSectors = want;;) {
      Contents["b0.bin"] = Pattern(static_cast<std::size_t>(fileSectors * 2048), 99);
      std::ofstream(file, std::ios::binary | std::ios::trunc) << Contents["b0.bin"];
      Fill(folder);
      Burner.PrepareLayout(engine::LayoutTarget::Disc);
      const std::uint64_t image = Burner.ImageSectors();
      if (image == want) return;
      ASSERT_GT(fileSectors + want, image);
      fileSectors = fileSectors + want - image;
    }
  };
  sizeTo(room.Free + 300);
  const std::int64_t probed = Burner.ImageSectors();
  ASSERT_NE(Start(), "");
  shift = static_cast<std::int64_t>(Burner.ImageSectors()) - probed;
  sizeTo(room.Free + 1);
  EXPECT_EQ(Start(), texts::Format(texts::kDiscTooSmall, std::to_string(room.Free + 1), std::to_string(room.Free)));
  EXPECT_EQ(Count(0x2A), 0);  // not one WRITE
  EXPECT_EQ(State().ClosedSessions, 1);
  sizeTo(room.Free);
  EXPECT_EQ(Start(), "");
  EXPECT_EQ(State().ClosedSessions, 2);
  const auto back = ReadBack();
  ASSERT_EQ(back.count("b0.bin"), 1u);
  EXPECT_TRUE(back.at("b0.bin") == Contents["b0.bin"]);
}

TEST_F(BurnEnding, ClosedDiscAndFailedAddressQueryEndBeforeAnyWrite) {
  Attach(TMedia::DvdPlusR);
  const std::string folder = Tree("a", {5000});
  ASSERT_EQ(Burn(folder), "");
  vdrive::TFaults f;
  f.RefuseOpcode = 0x52;  // READ TRACK INFORMATION
  f.RefuseAlways = true;
  Shared->SetFaults(f);
  const std::string result = Burn(folder);
  EXPECT_EQ(result.rfind(texts::kErrorNextWritableAddress, 0), 0u) << result;
  EXPECT_EQ(Count(0x2A), 0);

  Shared->SetFaults({});
  Burner.SetFinalizeDisc(true);
  ASSERT_EQ(Burn(folder), "");
  Burner.SetFinalizeDisc(false);
  EXPECT_EQ(Burn(folder), texts::kDiscClosed);
  EXPECT_EQ(Count(0x2A), 0);
}

TEST_F(BurnEnding, ASourceThatShrankFailsTheBurnButClosesTheSession) {
  Attach(TMedia::DvdPlusR);
  const std::string folder = Tree("a", {400000, 3000});
  Fill(folder);
  std::filesystem::resize_file(folder + "/a0.bin", 10000);
  EXPECT_EQ(Start(), texts::Format(texts::kDiscDamaged, 1));
  EXPECT_EQ(State().ClosedSessions, 1);
  EXPECT_NE(Log.find("a0.bin\" COULD NOT BE READ COMPLETELY"), std::string::npos) << Log;
}

TEST_F(BurnEnding, SmallCompilationsFitTheirDvdrReservation) {
  // Under 300 sectors, with sizes modulo 32 of 1 to 11 among them.
  for (std::size_t bytes : {30000u, 2048u * 10, 2048u * 60, 2048u * 100}) {
    SCOPED_TRACE(bytes);
    Attach(TMedia::DvdR);
    ASSERT_EQ(Burn(Tree("s" + std::to_string(bytes), {bytes})), "");
    const vdrive::TDisc d = State();
    ASSERT_EQ(d.Tracks.size(), 1u);
    EXPECT_EQ(d.Tracks[0].Written, d.Tracks[0].Reserved);
    EXPECT_EQ(d.ClosedSessions, 1);
  }
}

TEST_F(BurnEnding, AnEmptyImageFileIsNamedEmpty) {
  Attach(TMedia::DvdPlusR);
  const std::string empty = Dir.Str() + "/empty.iso";
  std::ofstream(empty).close();
  Ended = false;
  EXPECT_TRUE(Burner.StartImageFileBurn(empty));
  Burner.WaitForOperation();
  EXPECT_TRUE(Ended);
  EXPECT_EQ(Result, texts::Format(texts::kImageFileEmpty, empty));
}

TEST_F(BurnEnding, ARestrictedOverwriteDvdrwGrowsAfterItsVolumeInsteadOfOverwritingIt) {
  Attach(TMedia::DvdRw);
  ASSERT_EQ(Burn(Tree("a", {70000, 3000})), "");
  ASSERT_EQ(State().Media, TMedia::DvdRwRo);
  // Larger than the first session, so that a session started at sector 0
  // would run over it.
  ASSERT_EQ(Burn(Tree("b", {3000000}), -1), "");
  const auto back = ReadBack();
  EXPECT_EQ(back.size(), 3u);
  for (const auto& [name, bytes] : back) EXPECT_TRUE(bytes == Contents[name]) << name;
}

TEST_F(BurnEnding, AReservationNeverWrittenIsPassedOverByTheImport) {
  Attach(TMedia::DvdR);
  ASSERT_EQ(Burn(Tree("a", {70000})), "");
  vdrive::TFaults f;
  f.RefuseOpcode = 0x2A;  // the track is reserved, then not one sector is written
  f.RefuseAlways = true;
  Shared->SetFaults(f);
  EXPECT_EQ(Burn(Tree("b", {5000}), -1).rfind(texts::kWriterError, 0), 0u);
  Shared->SetFaults({});
  ASSERT_EQ(Burn(Tree("c", {5000}), -1), "");
  EXPECT_EQ(State().ClosedSessions, 3);
  const auto back = ReadBack();
  EXPECT_EQ(back.count("a0.bin"), 1u);
  EXPECT_EQ(back.count("c0.bin"), 1u);
  for (const auto& [name, bytes] : back) EXPECT_TRUE(bytes == Contents[name]) << name;
}

// Stopped at a random point of the data or of the closing, on every medium:
// the disc still loads, the first session stays whole, the next burn
// succeeds and carries over complete sessions only, and every file it lists
// reads back as it was written.
TEST_F(BurnEnding, AbortsAtRandomPointsLeaveADiscTheNextBurnAppendsTo) {
  const unsigned seed = std::random_device{}();
  std::mt19937 gen(seed);
  SCOPED_TRACE("seed " + std::to_string(seed));
  for (TMedia media : {TMedia::CdR, TMedia::CdRw, TMedia::DvdR, TMedia::DvdRw, TMedia::DvdPlusR, TMedia::DvdPlusRw,
                       TMedia::DvdRam}) {
    for (int round = 0; round < 3; ++round) {
      const std::string tag = std::string(vdrive::MediaName(media)) + std::to_string(round);
      SCOPED_TRACE(tag);
      Attach(media);
      Shared->SetTimings(vdrive::TTimings{});  // closes take simulated time: polls in the ending
      Contents.clear();
      const std::string first = Tree("a" + tag, {70000, 3000});
      ASSERT_EQ(Burn(first), "");

      const std::string stopped = Tree("b" + tag, {3000000, 1000});
      vdrive::TFaults f;
      f.ThrottleKBps = 2000;
      Shared->SetFaults(f);
      int ticks = 0;
      const int stopAt = std::uniform_int_distribution<int>(1, 12)(gen);
      auto tick = [&] {
        if (++ticks == stopAt) Burner.CancelOperation();
      };
      Clock.OnSleep = tick;
      Sleeper.OnSleep = tick;
      Log.clear();
      const std::string aborted = Burn(stopped, -1);
      Clock.OnSleep = nullptr;
      Sleeper.OnSleep = nullptr;
      EXPECT_TRUE(aborted.empty() || aborted == texts::kOperationAborted) << aborted;
      if (aborted == texts::kOperationAborted) {
        EXPECT_EQ(Count(0x1E), 0);  // no neutral state after an abort
      }
      Shared->SetFaults({});
      ASSERT_TRUE(vdrive::Validate(State()).empty());

      const std::string last = Tree("c" + tag, {5000});
      ASSERT_EQ(Burn(last, -1), "") << Log;
      const auto back = ReadBack();
      for (const char* must : {"a", "c"})
        for (const auto& [name, bytes] : Contents)
          if (name.rfind(must, 0) == 0) {
            EXPECT_EQ(back.count(name), 1u) << name << "\n" << Log;
          }
      for (const auto& [name, bytes] : back) EXPECT_TRUE(bytes == Contents[name]) << name;
    }
  }
}

}  // namespace
}  // namespace vdrivetest
