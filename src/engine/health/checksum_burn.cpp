#include "engine/health/checksum_burn.h"

#include <algorithm>
#include <filesystem>
#include <random>
#include <unordered_map>
#include <vector>

#include "engine/health/checksum_file.h"
#include "engine/iso/layout.h"
#include "engine/iso/naming.h"
#include "engine/kavo_burner.h"
#include "platform/file_find.h"
#include "platform/file_stream.h"
#include "platform/sha256.h"
#include "platform/utf8_path.h"

namespace health {

using base::ErrorKind;
using base::MakeError;

ChecksumAttachment::~ChecksumAttachment() {
  std::error_code ec;
  std::filesystem::remove_all(platform::Utf8Path(FFolder), ec);
}

namespace {

struct Item {
  std::string Path;
  const iso::TFEntry* Entry = nullptr;
};

void Collect(const iso::TDEntry& dir, const std::string& prefix, bool joliet, std::vector<Item>& out) {
  for (const iso::TFEntry* e = dir.FirstChild; e != nullptr; e = e->Next) {
    std::string name = joliet ? e->LongName : e->IsoName;
    if (const auto cut = name.find(';'); cut != std::string::npos) name.resize(cut);
    const std::string path = prefix.empty() ? name : prefix + "/" + name;
    if (e->IsDirectory()) Collect(*e->DirEntry, path, joliet, out);
    else out.push_back({PeerPath(path), e});
  }
}

base::Result<std::string> HashSource(const std::string& path, std::vector<std::uint8_t>& buffer,
                                     const ChecksumCallbacks& callbacks, std::uint64_t& done, std::uint64_t total) {
  auto file = platform::FileStream::Open(path, platform::OpenMode::Read);
  if (!file) return MakeError(ErrorKind::System, "cannot read " + path + ": " + file.Err().Message);
  platform::Sha256 hash;
  if (!hash.Ok()) return MakeError(ErrorKind::System, "the system's SHA-256 is not available");
  for (;;) {
    if (callbacks.Cancelled && callbacks.Cancelled()) return MakeError(ErrorKind::Cancelled, "cancelled");
    const std::int64_t n = file.Value().Read(buffer.data(), buffer.size());
    if (n < 0) return MakeError(ErrorKind::System, "cannot read " + path);
    if (n == 0) break;
    hash.Update(buffer.data(), static_cast<std::size_t>(n));
    done += static_cast<std::uint64_t>(n);
    if (callbacks.Progress) callbacks.Progress(done, total);
  }
  const auto digest = hash.Finish();
  if (!hash.Ok()) return MakeError(ErrorKind::System, "the system's SHA-256 failed");
  return platform::HexDigest(digest);
}

// A file copied from another disc, hashed from that disc's sectors.
base::Result<std::string> HashDiscData(iso::DiscSource& disc, const iso::TFEntry& entry, std::vector<std::uint8_t>& buffer,
                                       const ChecksumCallbacks& callbacks, std::uint64_t& done, std::uint64_t total) {
  platform::Sha256 hash;
  if (!hash.Ok()) return MakeError(ErrorKind::System, "the system's SHA-256 is not available");
  const std::uint32_t perRead = static_cast<std::uint32_t>(buffer.size() / 2048);
  std::uint64_t left = static_cast<std::uint64_t>(std::max<std::int64_t>(entry.RecordedSize, 0));
  std::uint64_t sector = static_cast<std::uint64_t>(entry.DiscDataExtent);
  while (left > 0) {
    if (callbacks.Cancelled && callbacks.Cancelled()) return MakeError(ErrorKind::Cancelled, "cancelled");
    const auto count = static_cast<std::uint32_t>(std::min<std::uint64_t>((left + 2047) / 2048, perRead));
    if (sector + count > 0xFFFFFFFFull || !disc.ReadSectors(static_cast<std::uint32_t>(sector), count, buffer))
      return MakeError(ErrorKind::Device, "cannot read " + entry.LongName + " from the source disc");
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(left, std::uint64_t{count} * 2048));
    hash.Update(buffer.data(), n);
    left -= n;
    sector += count;
    done += n;
    if (callbacks.Progress) callbacks.Progress(done, total);
  }
  const auto digest = hash.Finish();
  if (!hash.Ok()) return MakeError(ErrorKind::System, "the system's SHA-256 failed");
  return platform::HexDigest(digest);
}

// The earlier session's lines, from its checksum file imported into the root.
ChecksumList EarlierLines(engine::TKavoBurner& burner, const iso::TFEntry* old) {
  if (old == nullptr || !old->Imported || old->RecordedSize <= 0 ||
      static_cast<std::uint64_t>(old->RecordedSize) > kMaxChecksumFileBytes)
    return {};
  const auto bytes = static_cast<std::size_t>(old->RecordedSize);
  std::vector<std::uint8_t> data((bytes + 2047) / 2048 * 2048);
  if (!burner.DiscSource().ReadSectors(static_cast<std::uint32_t>(old->Extent),
                                       static_cast<std::uint32_t>(data.size() / 2048), data))
    return {};
  return ParseChecksumFile(std::string_view(reinterpret_cast<const char*>(data.data()), bytes));
}

base::Result<std::string> MakeFolder() {
  std::error_code ec;
  const auto base = std::filesystem::temp_directory_path(ec);
  if (ec) return MakeError(ErrorKind::System, "no folder for temporary files: " + ec.message());
  std::random_device random;
  for (int i = 0; i < 100; ++i) {
    const auto folder = base / ("zantic-sums-" + std::to_string(random()));
    if (std::filesystem::create_directory(folder, ec)) return platform::PathUtf8(folder);
  }
  return MakeError(ErrorKind::System, "cannot make a temporary folder in " + platform::PathUtf8(base));
}

}  // namespace

namespace {

// Hashes the new files when `hashNew`; otherwise lists only the imported
// files the earlier checksum file describes, and adds nothing when there
// was none.
base::Result<std::unique_ptr<ChecksumAttachment>> Attach(engine::TKavoBurner& burner, const ChecksumCallbacks& callbacks,
                                                         bool hashNew) {
  if (burner.SessionToImport() != 0) {
    burner.ImportDiscSession(burner.SessionToImport(), nullptr);
    burner.SetSessionToImport(0);
  }
  iso::TDEntry* root = burner.Tables().Root();
  const iso::TFEntry* old = burner.Tables().FindEntry(*root, kChecksumFileName);
  // Without checksums a source file of that name is the person's own.
  if (!hashNew && (old == nullptr || !old->Imported)) return std::unique_ptr<ChecksumAttachment>();
  if (old != nullptr && !old->Imported)
    return MakeError(ErrorKind::InvalidInput, std::string("a source file is named ") + kChecksumFileName +
                                                  ", the name of the checksum file; rename it or burn without checksums");
  const ChecksumList earlier = EarlierLines(burner, old);
  if (old != nullptr) burner.RemoveCompilationEntry("\\", kChecksumFileName);

  // The paths are the names the new session will carry.
  iso::MakeIsoNamesUnique(burner.Tables());
  std::vector<Item> items;
  Collect(*root, "", burner.JolietFileSystem(), items);
  std::uint64_t total = 0;
  for (const auto& i : items)
    if (!i.Entry->Imported && hashNew) total += static_cast<std::uint64_t>(std::max<std::int64_t>(i.Entry->SourceSize, 0));
  auto folder = MakeFolder();
  if (!folder) return folder.Err();
  auto attachment = std::make_unique<ChecksumAttachment>(folder.Value());
  std::string text;
  std::vector<std::uint8_t> buffer(1u << 20);
  std::uint64_t done = 0;
  for (const auto& i : items) {
    if (i.Entry->Imported) {
      const auto line = earlier.ByPath.find(NormalizeDiscPath(i.Path));
      if (line == earlier.ByPath.end()) {
        ++attachment->Unlisted;
        continue;
      }
      text += ChecksumLine(line->second, i.Path);
      ++attachment->Carried;
      continue;
    }
    if (!hashNew) {
      ++attachment->Unlisted;
      continue;
    }
    auto hex = i.Entry->DiscDataExtent >= 0 && burner.DataDisc()
                   ? HashDiscData(*burner.DataDisc(), *i.Entry, buffer, callbacks, done, total)
                   : HashSource(i.Entry->SourcePath, buffer, callbacks, done, total);
    if (!hex) return hex.Err();
    text += ChecksumLine(hex.Value(), i.Path);
    ++attachment->Hashed;
  }
  // Nothing left to vouch for: no checksum file rather than an empty one.
  if (text.empty() && !hashNew) return std::unique_ptr<ChecksumAttachment>();
  const std::string path = folder.Value() + "/" + kChecksumFileName;
  {
    auto file = platform::FileStream::Open(path, platform::OpenMode::CreateWrite);
    if (!file) return MakeError(ErrorKind::System, "cannot write " + path + ": " + file.Err().Message);
    if (auto st = file.Value().Write(text.data(), text.size()); !st)
      return MakeError(ErrorKind::System, "cannot write " + path + ": " + st.Err().Message);
  }
  if (burner.AddFileToCompilation("\\", path, false) != 1)
    return MakeError(ErrorKind::Internal, "the checksum file could not be added to the compilation");
  // The hidden flag of the directory record keeps it out of ordinary listings.
  // The ISO 9660 name is the one a check looks for without Joliet; on Windows
  // the add rule would take the temporary file's 8.3 alias instead.
  if (iso::TFEntry* added = burner.Tables().FindEntry(*root, kChecksumFileName)) {
    added->Attributes |= platform::kAttrHidden;
    added->IsoName = iso::UpperKey(kChecksumFileName);
  }
  return attachment;
}

}  // namespace

base::Result<std::unique_ptr<ChecksumAttachment>> AttachChecksumFile(engine::TKavoBurner& burner,
                                                                     const ChecksumCallbacks& callbacks) {
  return Attach(burner, callbacks, true);
}

base::Result<std::unique_ptr<ChecksumAttachment>> KeepChecksumFileCurrent(engine::TKavoBurner& burner) {
  return Attach(burner, {}, false);
}

}  // namespace health
