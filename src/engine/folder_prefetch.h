#pragma once
// FolderPrefetch: lists the folders a tree walk is about to enter on a few
// workers, so that the walk finds their listings ready. Looking at every
// entry of a cold folder costs disk round trips; one walker pays them one
// after another. The walk itself stays on its thread and in its order: it
// takes each listing when it gets there, and lists a folder itself when no
// worker has.
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/file_find.h"

namespace engine {

// A folder's entries without "." and "..", in the order the file system
// lists them. `folder` ends with a separator.
// With keepLinks, symbolic links are listed as links.
std::vector<platform::FindData> ListFolder(const std::string& folder, bool archiveLookup, bool keepLinks = false);

class FolderPrefetch {
 public:
  // Workers from the machine's cores; at most `maxFolders` listings asked
  // for and not yet taken, so memory stays bounded whatever the tree.
  explicit FolderPrefetch(bool archiveLookup, std::size_t maxFolders = 1024);
  FolderPrefetch(bool archiveLookup, unsigned workers, std::size_t maxFolders);
  ~FolderPrefetch();
  FolderPrefetch(const FolderPrefetch&) = delete;
  FolderPrefetch& operator=(const FolderPrefetch&) = delete;

  bool ArchiveLookup() const { return FArchiveLookup; }
  // Before the first Request: list symbolic links as links.
  void SetKeepLinks(bool on) { FKeepLinks = on; }
  bool KeepLinks() const { return FKeepLinks; }
  // Folders the walk will enter, the first one first; those past the bound
  // are left to the walk. Answers how many were queued.
  std::size_t Request(const std::vector<std::string>& folders);
  // The listing of `folder`: a worker's, or made here.
  std::vector<platform::FindData> Take(const std::string& folder);
  // The walk will not enter `folder` after all.
  void Drop(const std::string& folder);
  // Listings made by the workers so far, for tests.
  std::size_t ListedAhead() const;
  // Waits up to `bound` until ListedAhead reaches `count`; true when it has.
  bool WaitListedAhead(std::size_t count, std::chrono::milliseconds bound);

 private:
  enum class State { Queued, Listing, Done };
  struct Item {
    State Now = State::Queued;
    bool Dropped = false;
    std::vector<platform::FindData> Entries;
  };
  void Work();
  void Unqueue(const std::string& folder);

  const bool FArchiveLookup;
  bool FKeepLinks = false;
  const std::size_t FMaxFolders;
  mutable std::mutex FLock;
  std::condition_variable FQueued;  // work for the workers, or stop
  std::condition_variable FListed;  // a listing is done
  std::unordered_map<std::string, Item> FItems;
  std::vector<std::string> FStack;  // the walk's next folder on top
  std::size_t FListedAhead = 0;
  bool FStop = false;
  std::vector<std::thread> FWorkers;
};

}  // namespace engine
