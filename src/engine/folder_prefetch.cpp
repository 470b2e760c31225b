#include "engine/folder_prefetch.h"

#include <algorithm>

namespace engine {

std::vector<platform::FindData> ListFolder(const std::string& folder, bool archiveLookup, bool keepLinks) {
  std::vector<platform::FindData> items;
  platform::FileFinder finder;
  finder.SetArchiveLookup(archiveLookup);
  finder.SetKeepLinks(keepLinks);
  platform::FindData fd;
  for (bool ok = finder.FindFirst(folder + "*.*", platform::kAttrAnyFile, fd); ok; ok = finder.FindNext(fd))
    if (fd.Name != "." && fd.Name != "..") items.push_back(fd);
  return items;
}

namespace {
// Listing waits on the disk more than it computes: a few per core.
unsigned DefaultWalkers() { return std::clamp(2 * std::thread::hardware_concurrency(), 2u, 8u); }
}  // namespace

FolderPrefetch::FolderPrefetch(bool archiveLookup, std::size_t maxFolders)
    : FolderPrefetch(archiveLookup, DefaultWalkers(), maxFolders) {}

FolderPrefetch::FolderPrefetch(bool archiveLookup, unsigned workers, std::size_t maxFolders)
    : FArchiveLookup(archiveLookup), FMaxFolders(maxFolders) {
  FWorkers.reserve(workers);
  for (unsigned i = 0; i < workers; ++i) FWorkers.emplace_back([this] { Work(); });
}

FolderPrefetch::~FolderPrefetch() {
  {
    std::lock_guard lock(FLock);
    FStop = true;
  }
  FQueued.notify_all();
  for (auto& w : FWorkers) w.join();
}

std::size_t FolderPrefetch::Request(const std::vector<std::string>& folders) {
  if (FWorkers.empty()) return 0;
  std::size_t added = 0;
  {
    std::lock_guard lock(FLock);
    const std::size_t room = FMaxFolders > FItems.size() ? FMaxFolders - FItems.size() : 0;
    const std::size_t count = std::min(room, folders.size());
    // Pushed last to first: the walk enters the first one next.
    for (std::size_t i = count; i-- > 0;)
      if (FItems.try_emplace(folders[i]).second) {
        FStack.push_back(folders[i]);
        ++added;
      }
  }
  if (added == 1) FQueued.notify_one();
  else if (added > 1) FQueued.notify_all();
  return added;
}

void FolderPrefetch::Unqueue(const std::string& folder) {
  // The walk takes what it asked for last, near the top.
  const auto at = std::find(FStack.rbegin(), FStack.rend(), folder);
  if (at != FStack.rend()) FStack.erase(std::next(at).base());
}

std::vector<platform::FindData> FolderPrefetch::Take(const std::string& folder) {
  {
    std::unique_lock lock(FLock);
    auto it = FItems.find(folder);
    if (it != FItems.end()) {
      if (it->second.Now == State::Listing) {
        it->second.Dropped = false;  // wanted after all
        FListed.wait(lock, [&] { return it->second.Now == State::Done; });
      }
      if (it->second.Now == State::Done) {
        std::vector<platform::FindData> entries = std::move(it->second.Entries);
        FItems.erase(it);
        return entries;
      }
      // Not started yet: listing it here is as quick as waiting for a worker.
      Unqueue(folder);
      FItems.erase(it);
    }
  }
  return ListFolder(folder, FArchiveLookup, FKeepLinks);
}

void FolderPrefetch::Drop(const std::string& folder) {
  std::lock_guard lock(FLock);
  auto it = FItems.find(folder);
  if (it == FItems.end()) return;
  if (it->second.Now == State::Listing) {
    it->second.Dropped = true;  // the worker forgets it when done
    return;
  }
  if (it->second.Now == State::Queued) Unqueue(folder);
  FItems.erase(it);
}

std::size_t FolderPrefetch::ListedAhead() const {
  std::lock_guard lock(FLock);
  return FListedAhead;
}

bool FolderPrefetch::WaitListedAhead(std::size_t count, std::chrono::milliseconds bound) {
  std::unique_lock lock(FLock);
  return FListed.wait_for(lock, bound, [&] { return FListedAhead >= count; });
}

void FolderPrefetch::Work() {
  std::unique_lock lock(FLock);
  for (;;) {
    FQueued.wait(lock, [this] { return FStop || !FStack.empty(); });
    if (FStop) return;
    const std::string folder = std::move(FStack.back());
    FStack.pop_back();
    FItems[folder].Now = State::Listing;
    lock.unlock();
    std::vector<platform::FindData> entries = ListFolder(folder, FArchiveLookup, FKeepLinks);
    lock.lock();
    auto it = FItems.find(folder);
    if (it->second.Dropped) {
      FItems.erase(it);
      continue;
    }
    it->second.Entries = std::move(entries);
    it->second.Now = State::Done;
    ++FListedAhead;
    FListed.notify_all();
  }
}

}  // namespace engine
