#include "appcore/disc_copy.h"

#include <algorithm>
#include <filesystem>
#include <vector>

#include "appcore/texts.h"
#include "engine/device/scsi_device.h"
#include "engine/device_disc_source.h"
#include "engine/iso/session_reader.h"
#include "engine/kavo_burner.h"
#include "engine/texts.h"
#include "platform/file_find.h"
#include "platform/mount_table.h"
#include "platform/utf8_path.h"

namespace appcore {
namespace {

constexpr std::uint32_t kSector = 2048;
// Volume descriptors are looked for in this many sectors after the 16th.
constexpr std::uint32_t kMaxDescriptors = 21;

// The source drive's own device object, kept alive with the reader that
// uses it for as long as a compilation reads files from it.
struct SourceDrive {
  explicit SourceDrive(std::unique_ptr<device::TSCSIDevice> drive) : Drive(std::move(drive)), Reader(*Drive) {}
  std::unique_ptr<device::TSCSIDevice> Drive;
  engine::DeviceDiscSource Reader;
};

struct Volume {
  iso::RootRecord Root;
  std::uint32_t SessionStart = 0;
};

std::string Trimmed(std::string s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.pop_back();
  std::size_t first = 0;
  while (first < s.size() && s[first] == ' ') ++first;
  return s.substr(first);
}

// The Joliet volume identifier (UCS-2), which holds the label as the person
// gave it; where there is none, the primary descriptor's (ECMA-119 8.4.6).
// Control characters from a crafted disc become "_".
std::string VolumeLabel(iso::DiscSource& disc, std::uint32_t sessionStart) {
  std::vector<std::uint8_t> sector(kSector);
  std::string joliet, primary;
  for (std::uint32_t i = 0; i < kMaxDescriptors; ++i) {
    const std::uint64_t lba = std::uint64_t{sessionStart} + 16 + i;
    if (lba > 0xFFFFFFFFu || !disc.ReadSectors(static_cast<std::uint32_t>(lba), 1, sector)) break;
    if (std::string_view(reinterpret_cast<const char*>(sector.data()) + 1, 5) != "CD001") break;
    const std::uint8_t type = sector[0];
    if (type == 255) break;
    if (type == 1) {
      std::string label(reinterpret_cast<const char*>(sector.data()) + 40, 32);
      for (char& c : label)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) c = c == '\0' ? ' ' : '_';
      if (primary.empty()) primary = Trimmed(label);
    } else if (type == 2 && sector[88] == '%' && sector[89] == '/' && joliet.empty()) {
      joliet = iso::Utf16BeToUtf8(sector.data() + 40, 32);
      for (char& c : joliet)
        if (static_cast<unsigned char>(c) < 0x20) c = c == '\0' ? ' ' : '_';
      joliet = Trimmed(joliet);
    }
  }
  return joliet.empty() ? primary : joliet;
}

// The volume of the last session written whole, as the import finds it.
base::Result<Volume> FindVolume(iso::DiscSource& disc) {
  if (!disc.Ready()) return base::MakeError(base::ErrorKind::Device, texts::kInsertSourceDisc);
  const std::uint8_t last = disc.LastSession();
  if (last == 0) return base::MakeError(base::ErrorKind::InvalidData, texts::kInsertSourceDisc);
  for (int n = last; n >= 1; --n) {
    const auto track = disc.TrackInfo(static_cast<std::uint8_t>(n));
    if (!track) continue;
    auto root = iso::FindDescriptor(disc, track->Start, true);
    if (!root) root = iso::FindDescriptor(disc, track->Start, false);
    const std::uint32_t end = track->RecordedEnd;
    if (!root || (end != 0 && end >= track->Start && root->VolumeSpaceSize > end)) continue;
    return Volume{*root, track->Start};
  }
  return base::MakeError(base::ErrorKind::InvalidData, texts::kSourceNoFileSystem);
}

// Counts the bytes of every file the walk would add.
class CountingSink final : public iso::ImportSink {
 public:
  explicit CountingSink(const base::CancelToken* cancel) : FCancel(cancel) {}
  iso::TDEntry* Add(iso::TDEntry&, const iso::DiscRecord& r) override {
    if (r.IsDirectory()) return &FAnyDirectory;
    Bytes += r.Size;
    return nullptr;
  }
  bool Stop() override { return base::IsCancelled(FCancel); }
  void Problem(iso::ReadProblem, const std::string&) override {}
  std::uint64_t Bytes = 0;

 private:
  const base::CancelToken* FCancel;
  iso::TDEntry FAnyDirectory;
};

std::uint64_t FolderBytes(const std::string& folder, const base::CancelToken* cancel) {
  std::uint64_t total = 0;
  std::error_code ec;
  // Links are not followed: a link to a folder above would never end.
  std::filesystem::recursive_directory_iterator it(platform::Utf8Path(folder),
                                                   std::filesystem::directory_options::skip_permission_denied, ec);
  for (; !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    if (base::IsCancelled(cancel)) break;
    std::error_code sizeError;
    if (it->is_regular_file(sizeError)) {
      const auto size = it->file_size(sizeError);
      if (!sizeError) total += size;
    }
  }
  return total;
}

// The last folder name of a mount point; empty for a root ("/", "E:\\").
std::string LastComponent(std::string path) {
  while (!path.empty() && (path.back() == '/' || path.back() == '\\')) path.pop_back();
  const auto cut = path.find_last_of("/\\");
  std::string name = cut == std::string::npos ? path : path.substr(cut + 1);
  return name.find(':') != std::string::npos ? std::string() : name;
}

DiscCopySource Failed(DiscCopySource s, std::string error) {
  s.Error = std::move(error);
  s.AddToCompilation = nullptr;
  return s;
}

base::Status RefuseSameDrive(engine::TKavoBurner& destination, const std::string& location) {
  if (!location.empty() && destination.DriveLocation() == location)
    return base::MakeError(base::ErrorKind::InvalidInput, texts::kSameDrives);
  return base::Ok();
}

}  // namespace

DiscCopySource OpenDiscCopySource(engine::TKavoBurner& burner, const std::string& sourceDescription,
                                  const base::CancelToken* cancel) {
  DiscCopySource result;
  const auto& drives = burner.DeviceList();
  if (std::find(drives.begin(), drives.end(), sourceDescription) == drives.end())
    return Failed(result, texts::kSourceDriveMissing + sourceDescription);
  // A device object of its own: the burner's selection (the destination)
  // stays as it is, and the burn can read from the source while it writes.
  auto drive = std::make_unique<device::TSCSIDevice>();
  drive->SelectDevice(sourceDescription);
  if (drive->DeviceId() != sourceDescription) return Failed(result, texts::kSourceDriveMissing + sourceDescription);
  const std::string location = drive->DriveLocation();
  const platform::DriveMount mount = platform::FindDriveMount(location, drive->DriveLetter());
  auto source = std::make_shared<SourceDrive>(std::move(drive));
  iso::DiscSource& disc = source->Reader;

  if (mount.SystemDrive && !mount.MountPoint) {
    // An empty drive is never mounted: that is the message it needs.
    if (!disc.Ready() || disc.LastSession() == 0) return Failed(result, texts::kInsertSourceDisc);
    return Failed(result, engine::texts::Format(texts::kSourceNotMounted, location));
  }
  auto volume = FindVolume(disc);
  if (volume) result.Label = VolumeLabel(disc, volume.Value().SessionStart);
  // A disc the system mounts without an ISO 9660 volume (UDF only) is named
  // by its mount point, which the desktop names after the disc's label.
  else if (mount.MountPoint) result.Label = LastComponent(*mount.MountPoint);
  else return Failed(result, volume.Err().Message);
  // A disc without a label is what an empty drive looks like to the platform.
  if (result.Label.empty()) return Failed(result, texts::kInsertSourceDisc);
  if (base::IsCancelled(cancel)) return Failed(result, texts::kCopyCancelled);

  if (mount.MountPoint) {
    // The system's own file system driver knows the disc best.
    const std::string folder = *mount.MountPoint;
    result.DisplayPath = folder;
    result.TotalBytes = FolderBytes(folder, cancel);
    if (base::IsCancelled(cancel)) return Failed(result, texts::kCopyCancelled);
    result.AddToCompilation = [folder, location](engine::TKavoBurner& destination) -> base::Status {
      if (auto same = RefuseSameDrive(destination, location); !same) return same;
      if (destination.AddFolderToCompilation("\\", folder, false, false, true, platform::kAttrAnyFile, "*.*") == 0)
        return base::MakeError(base::ErrorKind::System, engine::texts::Format(texts::kSourceMountUnreadable, folder));
      return base::Ok();
    };
    return result;
  }

  result.DisplayPath = location;
  CountingSink count(cancel);
  iso::TDEntry scratch;
  iso::ReadTree(disc, volume.Value().Root, scratch, count);
  if (base::IsCancelled(cancel)) return Failed(result, texts::kCopyCancelled);
  result.TotalBytes = count.Bytes;
  const iso::RootRecord root = volume.Value().Root;
  const std::shared_ptr<iso::DiscSource> reader(source, &source->Reader);
  result.AddToCompilation = [reader, root, location](engine::TKavoBurner& destination) -> base::Status {
    if (auto same = RefuseSameDrive(destination, location); !same) return same;
    if (!destination.AddDiscTreeToCompilation(reader, root, nullptr)) {
      if (destination.CancelRequested()) return base::MakeError(base::ErrorKind::Cancelled, texts::kCopyCancelled);
      return base::MakeError(base::ErrorKind::InvalidData, texts::kSourceFilesLeftOut);
    }
    return base::Ok();
  };
  return result;
}

}  // namespace appcore
