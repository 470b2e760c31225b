#include "engine/stream/direct_writer.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <random>

#include "engine/iso/records.h"
#include "engine/message_kinds.h"
#include "engine/stream/image_output.h"
#include "engine/stream/read_ahead.h"
#include "engine/texts.h"
#include "platform/file_stream.h"
#include "platform/utf8_path.h"

namespace stream {
namespace texts = engine::texts;

void RemoveStalePartFiles(const std::string& target) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path path = platform::Utf8Path(target);
  const std::string prefix = platform::PathUtf8(path.filename()) + ".part-";
  fs::path folder = path.parent_path();
  if (folder.empty()) folder = ".";
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = platform::PathUtf8(it->path().filename());
    if (name.size() != prefix.size() + 8 || name.compare(0, prefix.size(), prefix) != 0 ||
        name.find_first_not_of("0123456789abcdef", prefix.size()) != std::string::npos)
      continue;
    if (!it->is_regular_file(ec) || it->is_symlink(ec)) continue;
    const std::string stale = platform::PathUtf8(it->path());
    auto opened = platform::FileStream::Open(stale, platform::OpenMode::ReadWrite);
    if (!opened || !opened.Value().TryLock()) continue;  // a writer is at work on it
    opened.Value().Close();
    platform::RemoveFile(stale);
  }
}

namespace {

// The direct writer has no cache of its own; its window is sized as for the
// default one.
constexpr std::uint64_t kReadAheadCache = 4194304;
// Files up to this size are read in one go: the time to copy them tells
// whether they came from memory.
constexpr std::uint64_t kTimedFileBytes = 65536;

std::string TemporaryNameFor(const std::string& target) {
  std::random_device rd;
  char suffix[16];
  std::snprintf(suffix, sizeof suffix, "%08x", rd());
  return target + ".part-" + suffix;
}

class Writer {
 public:
  explicit Writer(const DirectWriteInput& in) : FIn(in) {}

  DirectWriteResult Run() {
    const std::string temp = TemporaryNameFor(FIn.OutputPath);
    auto opened = platform::FileStream::Open(temp, platform::OpenMode::CreateWrite);
    if (!opened) {
      FResult.Error = texts::Format(texts::kCantCreateFile, FIn.OutputPath);
      return FResult;
    }
    platform::FileStream file = std::move(opened.Value());
    file.TryLock();  // marks it as in use for RemoveStalePartFiles
    ImageOutput out(file);
    FTotal = FIn.Layout->SectorsToWrite * iso::kSectorSize;
    const bool complete = WriteAll(out) && Finish(out);
    file.Close();
    if (!complete || !platform::RenameFile(temp, FIn.OutputPath)) {
      platform::RemoveFile(temp);
      if (FResult.Error.empty()) FResult.Error = texts::Format(texts::kCantCreateFile, FIn.OutputPath);
      return FResult;
    }
    FResult.ImageKept = true;
    if (!FResult.DamagedFiles.empty())
      FResult.Error = texts::Format(texts::kImageDamaged, static_cast<long long>(FResult.DamagedFiles.size()));
    return FResult;
  }

 private:
  bool Cancelled() const { return FIn.Cancelled && FIn.Cancelled(); }
  void Message(const std::string& text) const {
    if (FIn.Message) FIn.Message(text, engine::kMsgCompilationError);
  }
  void Progress(const ImageOutput& out) const {
    if (FIn.Progress) FIn.Progress(out.Position(), FTotal);
  }
  bool WriteFailed() {
    FResult.Error = texts::Format(texts::kCantWriteFile, FIn.OutputPath);
    return false;
  }
  bool Aborted() {
    FResult.Error = texts::kOperationAborted;
    return false;
  }

  bool WriteAll(ImageOutput& out) {
    const iso::SessionLayout& l = *FIn.Layout;
    if (!out.Append(FIn.Header->Bytes)) return WriteFailed();
    if (l.Options.Bootable && !CopyBootImage(out, FIn.BootImagePath, l.BootImageSectors)) return false;
    if (!out.AppendZeros(std::uint64_t{l.PaddingSectors} * iso::kSectorSize)) return WriteFailed();
    Progress(out);
    const auto copied = [](const iso::TFEntry& e) { return !e.IsDirectory() && !e.Imported && e.RecordedSize != 0; };
    std::vector<ReadAhead::Source> sources;
    for (const auto& f : FIn.Tables->Files())
      if (copied(*f)) sources.push_back({f->SourcePath, static_cast<std::uint64_t>(std::max<std::int64_t>(f->RecordedSize, 0))});
    ReadAhead ahead(std::move(sources), FIn.ReadAheadWindow.value_or(DefaultReadAheadLimits(kReadAheadCache)));
    std::size_t index = 0;
    for (const auto& f : FIn.Tables->Files()) {
      const iso::TFEntry& e = *f;
      if (!copied(e)) continue;
      ahead.Reached(index);
      if (Cancelled()) return Aborted();
      const std::uint64_t expected = std::uint64_t{l.FirstFileSector} + static_cast<std::uint32_t>(e.Extent);
      const std::uint64_t actual = out.Position() / iso::kSectorSize;
      if (expected != actual)
        Message(">>> " + std::string(texts::kInternalError0004) + " " + e.SourcePath + " " +
                std::to_string(expected) + "<>" + std::to_string(actual));
      const auto size = static_cast<std::uint64_t>(e.RecordedSize);
      const auto started = std::chrono::steady_clock::now();
      if (!CopySource(out, e.SourcePath, size)) return false;
      if (size <= kTimedFileBytes) ahead.Served(index, std::chrono::steady_clock::now() - started);
      ++index;
      Progress(out);
    }
    return true;
  }

  // Copies one source into its sectors. A source that cannot be opened or
  // ends early is zero-filled and counted as damaged; only a failed write or
  // an abort stops the image.
  bool CopySource(ImageOutput& out, const std::string& path, std::uint64_t size) {
    std::uint64_t copied = 0;
    auto src = platform::FileStream::Open(path, platform::OpenMode::Read);
    if (src) {
      bool grew = false;
      if (!out.AppendFile(src.Value(), size, copied, FIn.Cancelled, &grew)) return WriteFailed();
      if (Cancelled()) return Aborted();
      if (grew || copied < size) Message(">>> " + texts::Format(texts::kFileChangedSize, path));
    } else {
      std::uint64_t ignored = 0;
      platform::FileStream none;
      if (!out.AppendFile(none, size, ignored, nullptr)) return WriteFailed();
    }
    if (copied < size) {
      FResult.DamagedFiles.push_back(path);
      Message(">>> " + texts::Format(texts::kFileDamaged, path));
    }
    return true;
  }

  // The layout knows the boot image only in sectors: a file that still needs
  // that many is copied as it is and its last sector zero-filled like any
  // file's; only a different sector count is a change.
  bool CopyBootImage(ImageOutput& out, const std::string& path, std::uint32_t sectors) {
    const std::uint64_t room = std::uint64_t{sectors} * iso::kSectorSize;
    std::uint64_t size = room;
    if (auto src = platform::FileStream::Open(path, platform::OpenMode::Read)) {
      const std::int64_t now = src.Value().Size();
      if (now >= 0 && (static_cast<std::uint64_t>(now) + iso::kSectorSize - 1) / iso::kSectorSize == sectors)
        size = static_cast<std::uint64_t>(now);
    }
    return CopySource(out, path, size);
  }

  bool Finish(ImageOutput& out) {
    if (!out.Flush()) return WriteFailed();
    const std::uint64_t want = FIn.Layout->SectorsToWrite * iso::kSectorSize;
    if (out.Position() != want) {
      FResult.Error = texts::kLayoutFailed;
      return false;
    }
    return out.Sync() || WriteFailed();
  }

  const DirectWriteInput& FIn;
  DirectWriteResult FResult;
  std::uint64_t FTotal = 0;
};

}  // namespace

DirectWriteResult WriteImageDirect(const DirectWriteInput& in) { return Writer(in).Run(); }

}  // namespace stream
