// Copying a disc from one virtual recorder to another through the burner:
// the files go from the source disc straight into the destination's burn.
// The destination is read back with the test's own ISO reader.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <map>

#include "appcore/disc_copy.h"
#include "appcore/texts.h"
#include "engine/device/transport.h"
#include "engine/health/checksum_burn.h"
#include "engine/health/checksum_file.h"
#include "engine/kavo_burner.h"
#include "engine/texts.h"
#include "platform/mount_table.h"
#include "platform/sha256.h"
#include "support/iso_reader.h"
#include "vdrive/recorder_fixture.h"
#include "vdrive/registration.h"

namespace vdrivetest {
namespace {

namespace fs = std::filesystem;
using testsupport::isoread::Image;

// A drive the system would own (its node is a character device), working
// like the recorder it wraps.
class SystemLikeDrive final : public device::TPassThroughDrive {
 public:
  SystemLikeDrive(std::unique_ptr<device::TPassThroughDrive> inner, std::string node)
      : FInner(std::move(inner)), FNode(std::move(node)) {}
  bool Open() override { return FInner->Open(); }
  void Close() override { FInner->Close(); }
  bool IsOpen() const override { return FInner->IsOpen(); }
  platform::ScsiOutcome Execute(std::span<const std::uint8_t> cdb, platform::ScsiDirection direction,
                                std::span<std::uint8_t> data, std::span<std::uint8_t> sense,
                                std::uint32_t timeoutMs) override {
    return FInner->Execute(cdb, direction, data, sense, timeoutMs);
  }
  std::optional<platform::ScsiAddress> Address() override { return FInner->Address(); }
  char DriveLetter() const override { return '\0'; }
  std::string Location() const override { return FNode; }

 private:
  std::unique_ptr<device::TPassThroughDrive> FInner;
  std::string FNode;
};

std::string ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class DiscCopy : public ::testing::Test {
 protected:
  void SetUp() override {
    Src = Dir.Str() + "/src";
    fs::create_directories(fs::u8path(Src + "/Ordner ä/tief/tiefer"));
    // Sizes around the sector edges, an empty file and one of several blocks.
    const std::map<std::string, std::size_t> files = {
        {"a.txt", 1},          {"edge.bin", 2047}, {"sector.bin", 2048},    {"over.bin", 2049},
        {"zero.dat", 0},       {"big.bin", 300001}, {"Ordner ä/ü.txt", 5000}, {"Ordner ä/tief/tiefer/x", 70000}};
    for (const auto& [name, size] : files) {
      std::string data(size, '\0');
      for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<char>((i * 31 + name.size()) & 0xFF);
      std::ofstream(fs::u8path(Src + "/" + name), std::ios::binary) << data;
      Bytes += size;
    }
    SrcImage = Dir.Str() + "/src.iso";
    engine::TKavoBurner writer;
    writer.ResetCompilation(600000, 20000);
    ASSERT_NE(writer.AddFolderToCompilation("\\", Src, false, false, true, platform::kAttrAnyFile, "*.*"), 0);
    writer.SetIdVolume("HOLIDAY_2026");
    ASSERT_EQ(writer.WriteImageFile(SrcImage, engine::SaveMode::Quick), 1);
  }

  void TearDown() override {
    Burner.WaitForOperation();
    device::FinalizeTransport();
    device::UnregisterDriveProvider("copy-test");
    platform::SetMountTableForTesting("");
  }

  // The source disc pressed from `image`, a blank DVD+R as the destination.
  void Attach(const std::string& image, const std::string& sourceNode = "") {
    SrcDisc = Dir.Str() + "/source.zvd";
    DstDisc = Dir.Str() + "/dest.zvd";
    if (image.empty()) {
      ASSERT_TRUE(vdrive::TDiscFile::Create(SrcDisc, vdrive::BlankDisc(vdrive::TMedia::DvdPlusR, 30000)).Ok());
    } else {
      auto pressed = vdrive::TDiscFile::Press(SrcDisc, vdrive::TMedia::DvdRom, image);
      ASSERT_TRUE(pressed.Ok()) << pressed.Err().Message;
    }
    ASSERT_TRUE(vdrive::TDiscFile::Create(DstDisc, vdrive::BlankDisc(vdrive::TMedia::DvdPlusR, 30000)).Ok());
    device::FinalizeTransport();
    Source = std::make_shared<vdrive::TVirtualRecorder>(SrcDisc, &Clock);
    Dest = std::make_shared<vdrive::TVirtualRecorder>(DstDisc, &Clock);
    Source->SetLogFile("");
    Dest->SetLogFile("");
    device::RegisterDriveProvider("copy-test", [this, sourceNode] {
      std::vector<std::unique_ptr<device::TPassThroughDrive>> drives;
      auto src = vdrive::MakePassThroughDrive(Source);
      if (!sourceNode.empty()) src = std::make_unique<SystemLikeDrive>(std::move(src), sourceNode);
      drives.push_back(std::move(src));
      drives.push_back(vdrive::MakePassThroughDrive(Dest));
      return drives;
    });
    Burner.SetSleeper(Sleeper);
    ASSERT_TRUE(Burner.InitASPI(true, ""));
    const std::string srcWhere = sourceNode.empty() ? SrcDisc : sourceNode;
    for (const auto& line : Burner.DeviceList()) {
      Burner.SelectDevice(line);
      if (Burner.DriveLocation() == srcWhere) SourceLine = line;
      if (Burner.DriveLocation() == DstDisc) DestLine = line;
    }
    ASSERT_FALSE(SourceLine.empty());
    ASSERT_FALSE(DestLine.empty());
    Burner.SelectDevice(DestLine);
    Burner.OnWriteDone = [this](engine::TKavoBurner&, const std::string& e) {
      Result = e;
      Ended = true;
    };
  }

  // The burn a copy runs: the source's files and label onto the destination.
  std::string BurnCopy(const appcore::DiscCopySource& copy) {
    Burner.SelectDevice(DestLine);
    Burner.ResetCompilation(600000, 20000);
    const base::Status added = copy.AddToCompilation(Burner);
    EXPECT_TRUE(added.Ok()) << (added.Ok() ? "" : added.Err().Message);
    Burner.SetIdVolume(copy.Label);
    Ended = false;
    Result = "not ended";
    Burner.StartCompilationBurn();
    Burner.WaitForOperation();
    EXPECT_TRUE(Ended);
    return Result;
  }

  // The destination disc as the test's own reader sees it.
  Image DestImage() const {
    auto disc = vdrive::TDiscFile::Open(DstDisc);
    EXPECT_TRUE(disc.Ok());
    std::vector<std::uint8_t> head(2048);
    EXPECT_TRUE(disc.Value()->ReadSectors(16, 1, head).Ok());
    const std::uint32_t sectors = testsupport::isoread::Both32(head, 80);
    std::vector<std::uint8_t> all(std::size_t{sectors} * 2048);
    EXPECT_TRUE(disc.Value()->ReadSectors(0, sectors, all).Ok());
    return Image(std::move(all));
  }

  // Every file of the Joliet tree with its bytes.
  static std::map<std::string, std::string> Files(const Image& image) {
    std::map<std::string, std::string> out;
    for (const auto& d : image.Descriptors()) {
      if (d.Type != 2) continue;
      for (const auto& e : image.Tree(d.Root, true)) {
        if (e.Record.IsDirectory()) continue;
        const auto bytes = image.At(e.Record.Extent, e.Record.DataLength);
        std::string path = e.Path;
        if (path.size() > 2 && path.compare(path.size() - 2, 2, ";1") == 0) path.resize(path.size() - 2);
        out[path] = std::string(bytes.begin(), bytes.end());
      }
    }
    return out;
  }

  static std::set<std::string> Folders(const Image& image) {
    std::set<std::string> out;
    for (const auto& d : image.Descriptors())
      if (d.Type == 2)
        for (const auto& e : image.Tree(d.Root, true))
          if (e.Record.IsDirectory()) out.insert(e.Path);
    return out;
  }

  std::map<std::string, std::string> SourceFiles() const {
    std::map<std::string, std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(fs::u8path(Src)))
      if (e.is_regular_file()) {
        const auto rel = fs::relative(e.path(), fs::u8path(Src)).generic_u8string();
        out[std::string(rel.begin(), rel.end())] = ReadFile(e.path());
      }
    return out;
  }

  testsupport::TempDir Dir;
  std::string Src, SrcImage, SrcDisc, DstDisc, SourceLine, DestLine, Result;
  std::uint64_t Bytes = 0;
  bool Ended = false;
  TFakeClock Clock;
  TClockSleeper Sleeper{Clock};
  std::shared_ptr<vdrive::TVirtualRecorder> Source, Dest;
  engine::TKavoBurner Burner;
};

TEST_F(DiscCopy, FilesArriveByteIdenticalWithTheLabel) {
  Attach(SrcImage);
  const auto copy = appcore::OpenDiscCopySource(Burner, SourceLine, nullptr);
  ASSERT_EQ(copy.Error, "");
  EXPECT_EQ(copy.Label, "HOLIDAY_2026");
  EXPECT_EQ(copy.TotalBytes, Bytes);
  EXPECT_EQ(copy.DisplayPath, SrcDisc);
  ASSERT_EQ(BurnCopy(copy), "");
  const Image out = DestImage();
  // The same names as on the source disc (where the add rules gave "x" its
  // dot), with the bytes of the files burned there.
  const auto copied = Files(out), onSource = Files(Image::FromFile(SrcImage));
  ASSERT_EQ(onSource.size(), SourceFiles().size());
  ASSERT_EQ(copied.size(), onSource.size());
  EXPECT_TRUE(copied.at("big.bin") == SourceFiles().at("big.bin"));
  for (const auto& [path, data] : onSource) {
    ASSERT_TRUE(copied.count(path)) << path;
    EXPECT_TRUE(copied.at(path) == data) << path << " differs";
  }
  const auto pvd = out.Descriptors().front();
  EXPECT_EQ(testsupport::isoread::Text(pvd.Raw, 40, 12), "HOLIDAY_2026");
  // The folders too.
  const auto folders = Folders(out);
  EXPECT_EQ(folders, Folders(Image::FromFile(SrcImage)));
  EXPECT_TRUE(folders.count("Ordner ä/tief/tiefer"));
  // The destination burner's selection was never touched by the source.
  EXPECT_EQ(Burner.DeviceId(), DestLine);
#ifndef _WIN32
  // A peer reader agrees, where xorriso is installed.
  if (std::system("command -v xorriso >/dev/null 2>&1") == 0) {
    const std::string img = Dir.Str() + "/dest.iso", outDir = Dir.Str() + "/peer";
    std::ofstream(img, std::ios::binary)
        .write(reinterpret_cast<const char*>(out.All().data()), static_cast<std::streamsize>(out.All().size()));
    const std::string cmd = "xorriso -joliet on -osirrox on -indev stdio:" + img + " -extract / " + outDir +
                            " >/dev/null 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    EXPECT_TRUE(ReadFile(fs::u8path(outDir + "/Ordner ä/ü.txt")) == SourceFiles().at("Ordner ä/ü.txt"));
    EXPECT_TRUE(ReadFile(outDir + "/big.bin") == SourceFiles().at("big.bin"));
  }
#endif
}

TEST_F(DiscCopy, ChecksumFileHashesTheCopiedFilesFromTheSourceDisc) {
  Attach(SrcImage);
  const auto copy = appcore::OpenDiscCopySource(Burner, SourceLine, nullptr);
  ASSERT_EQ(copy.Error, "");
  Burner.SelectDevice(DestLine);
  Burner.ResetCompilation(600000, 20000);
  ASSERT_TRUE(copy.AddToCompilation(Burner).Ok());
  std::uint64_t hashed = 0;
  auto attached = health::AttachChecksumFile(Burner, {nullptr, [&](std::uint64_t done, std::uint64_t) { hashed = done; }});
  ASSERT_TRUE(attached.Ok()) << attached.Err().Message;
  EXPECT_EQ(attached.Value()->Hashed, SourceFiles().size());
  EXPECT_EQ(hashed, Bytes);
  const auto* list = Burner.Tables().FindEntry(*Burner.Tables().Root(), health::kChecksumFileName);
  ASSERT_NE(list, nullptr);
  std::ifstream in(list->SourcePath);
  const std::string text((std::istreambuf_iterator<char>(in)), {});
  platform::Sha256 sha;
  const std::string big = SourceFiles().at("big.bin");
  sha.Update(big.data(), big.size());
  const std::string line = platform::HexDigest(sha.Finish()) + "  big.bin\n";
  EXPECT_NE(text.find(line), std::string::npos) << text;
}

TEST_F(DiscCopy, UnreadableSourceSectorFailsTheBurn) {
  Attach(SrcImage);
  const auto copy = appcore::OpenDiscCopySource(Burner, SourceLine, nullptr);
  ASSERT_EQ(copy.Error, "");
  // The last sector of the source image is file data of some file.
  vdrive::TFaults faults;
  faults.ReadErrorLba = static_cast<std::uint32_t>(fs::file_size(SrcImage) / 2048 - 1);
  Source->SetFaults(faults);
  const std::string result = BurnCopy(copy);
  EXPECT_NE(result, "");
  EXPECT_NE(result.find("ERROR READING THE SOURCE DISC"), std::string::npos) << result;
}

TEST_F(DiscCopy, SourcesThatCannotBeCopiedSaySo) {
  {
    // A blank disc; bytes that are no file system at all come next.
    Attach("");
    const auto copy = appcore::OpenDiscCopySource(Burner, SourceLine, nullptr);
    EXPECT_EQ(copy.Error, appcore::texts::kInsertSourceDisc);
    EXPECT_FALSE(copy.AddToCompilation);
  }
}

// A fresh fixture: on Windows the first disc's file stays open until its
// recorder goes, so it cannot be replaced within one test.
TEST_F(DiscCopy, SourcesWithoutAFileSystemOrDriveSaySo) {
  const std::string junk = Dir.Str() + "/junk.iso";
  std::ofstream(junk, std::ios::binary) << std::string(1 << 20, '\x5A');
  Attach(junk);
  const auto copy = appcore::OpenDiscCopySource(Burner, SourceLine, nullptr);
  EXPECT_EQ(copy.Error, appcore::texts::kSourceNoFileSystem);
  EXPECT_FALSE(copy.AddToCompilation);
  // A drive that is not in the list, and a cancelled open.
  EXPECT_NE(appcore::OpenDiscCopySource(Burner, "9:9:9,?: NOWHERE", nullptr).Error.find("not in the drive list"),
            std::string::npos);
  base::CancelToken cancel;
  cancel.Cancel();
  EXPECT_NE(appcore::OpenDiscCopySource(Burner, SourceLine, &cancel).Error, "");
}

TEST_F(DiscCopy, CraftedSourceIsRefusedNotCrashedOn) {
  // Root file records pointing far past the disc, and a label of blanks.
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(fs::file_size(SrcImage)));
  std::ifstream(SrcImage, std::ios::binary).read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  const Image image(bytes);
  for (const auto& d : image.Descriptors()) {
    if (d.Type != 1 && d.Type != 2) continue;
    for (const auto& r : image.Directory(d.Root.Extent, d.Root.DataLength)) {
      if (r.IsDirectory()) continue;
      const std::size_t at = std::size_t{d.Root.Extent} * 2048 + r.Offset + 2;
      for (std::size_t i = 0; i < 4; ++i) bytes[at + i] = bytes[at + 7 - i] = 0x7F;  // both-endian 0x7F7F7F7F
    }
  }
  const std::string crafted = Dir.Str() + "/crafted.iso";
  std::ofstream(crafted, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  Attach(crafted);
  const auto copy = appcore::OpenDiscCopySource(Burner, SourceLine, nullptr);
  ASSERT_EQ(copy.Error, "");
  Burner.ResetCompilation(600000, 20000);
  const base::Status added = copy.AddToCompilation(Burner);
  ASSERT_FALSE(added.Ok());
  EXPECT_EQ(added.Err().Message, appcore::texts::kSourceFilesLeftOut);
}

TEST_F(DiscCopy, LabelOfBlanksIsNoDisc) {
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(fs::file_size(SrcImage)));
  std::ifstream(SrcImage, std::ios::binary).read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  for (std::size_t s = 16; s < 20; ++s) {
    const std::uint8_t type = bytes[s * 2048];
    if (type == 1) std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(s * 2048 + 40), 32, ' ');
    if (type == 2)
      for (std::size_t i = 0; i < 32; i += 2) bytes[s * 2048 + 40 + i] = 0, bytes[s * 2048 + 41 + i] = ' ';
  }
  const std::string blank = Dir.Str() + "/nolabel.iso";
  std::ofstream(blank, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  Attach(blank);
  EXPECT_EQ(appcore::OpenDiscCopySource(Burner, SourceLine, nullptr).Error, appcore::texts::kInsertSourceDisc);
}

TEST_F(DiscCopy, SameDriveIsRefused) {
  Attach(SrcImage);
  const auto copy = appcore::OpenDiscCopySource(Burner, SourceLine, nullptr);
  ASSERT_EQ(copy.Error, "");
  Burner.SelectDevice(SourceLine);
  Burner.ResetCompilation(600000, 20000);
  const base::Status added = copy.AddToCompilation(Burner);
  ASSERT_FALSE(added.Ok());
  EXPECT_EQ(added.Err().Message, appcore::texts::kSameDrives);
}

#ifndef _WIN32
TEST_F(DiscCopy, SystemDriveIsCopiedFromItsMountPoint) {
  // /dev/null stands for the drive's node: a character device on every Linux.
  Attach(SrcImage, "/dev/null");
  const std::string table = Dir.Str() + "/mountinfo";
  std::ofstream(table) << "22 1 0:21 / /proc rw - proc proc rw\n"
                          "40 1 11:0 / /media/other ro - iso9660 /dev/sr1 ro\n";
  platform::SetMountTableForTesting(table);
  const auto unmounted = appcore::OpenDiscCopySource(Burner, SourceLine, nullptr);
  EXPECT_NE(unmounted.Error.find("is not mounted"), std::string::npos) << unmounted.Error;
  EXPECT_NE(unmounted.Error.find("/dev/null"), std::string::npos);
  EXPECT_FALSE(unmounted.AddToCompilation);

  // Mounted (a path with a space, escaped as the kernel writes it): the files come from there.
  const std::string mountPoint = Dir.Str() + "/media/my disc";
  fs::create_directories(mountPoint + "/sub");
  std::ofstream(mountPoint + "/sub/one.txt") << "12345";
  std::ofstream(mountPoint + "/two.txt") << "abc";
  std::string escaped = mountPoint;
  escaped.replace(escaped.find(' '), 1, "\\040");
  std::ofstream(table) << "22 1 0:21 / /proc rw - proc proc rw\n"
                          "41 1 99:7 / " + escaped + " ro,relatime shared:9 - iso9660 /dev/null ro\n";
  const auto mounted = appcore::OpenDiscCopySource(Burner, SourceLine, nullptr);
  ASSERT_EQ(mounted.Error, "");
  EXPECT_EQ(mounted.DisplayPath, mountPoint);
  EXPECT_EQ(mounted.Label, "HOLIDAY_2026");  // read from the disc itself
  EXPECT_EQ(mounted.TotalBytes, 8u);
  ASSERT_EQ(BurnCopy(mounted), "");
  const auto files = Files(DestImage());
  EXPECT_EQ(files, (std::map<std::string, std::string>{{"sub/one.txt", "12345"}, {"two.txt", "abc"}}));
}

TEST_F(DiscCopy, MountedDiscWithoutIsoVolumeIsNamedByItsMountPoint) {
  // A disc the system reads (UDF, say) whose sectors hold no ISO 9660 volume.
  const std::string junk = Dir.Str() + "/udf-only.iso";
  std::ofstream(junk, std::ios::binary) << std::string(1 << 20, '\x5A');
  Attach(junk, "/dev/null");
  const std::string mountPoint = Dir.Str() + "/media/PHOTOS_2025";
  fs::create_directories(mountPoint);
  std::ofstream(mountPoint + "/img.jpg") << "jpeg";
  const std::string table = Dir.Str() + "/mountinfo";
  std::ofstream(table) << "41 1 99:7 / " + mountPoint + " ro - udf /dev/null ro\n";
  platform::SetMountTableForTesting(table);
  const auto mounted = appcore::OpenDiscCopySource(Burner, SourceLine, nullptr);
  ASSERT_EQ(mounted.Error, "");
  EXPECT_EQ(mounted.Label, "PHOTOS_2025");
  EXPECT_EQ(mounted.TotalBytes, 4u);
  // Mounted at a root, there is no name to take: no label, no copy.
  std::ofstream(table) << "41 1 99:7 / / ro - udf /dev/null ro\n";
  EXPECT_EQ(appcore::OpenDiscCopySource(Burner, SourceLine, nullptr).Error, appcore::texts::kInsertSourceDisc);
}
TEST_F(DiscCopy, EmptySystemDriveAsksForTheDiscNotForAMount) {
  Attach("", "/dev/null");
  const std::string table = Dir.Str() + "/mountinfo";
  std::ofstream(table) << "22 1 0:21 / /proc rw - proc proc rw\n";
  platform::SetMountTableForTesting(table);
  EXPECT_EQ(appcore::OpenDiscCopySource(Burner, SourceLine, nullptr).Error, appcore::texts::kInsertSourceDisc);
}
#endif

}  // namespace
}  // namespace vdrivetest
