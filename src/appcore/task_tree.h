#pragma once
// The task: a named disc root, folders the user made, and the files and
// folders dropped into them with the size each had when it was dropped. The
// tree is saved as a task file (".mvt"): one line, each node written as its
// text, "(", its children, ")#".
//
// Node texts: a folder is its name; a dropped item is its source path, "*"
// and its size text ("#,##": thousands separators, nothing for zero). Texts
// that the plain format cannot carry (a "(" anywhere, a leading ")", a "*" in
// a folder name or a source path, line breaks) are written as ")%" followed
// by the text with those characters as %XX. The plain reader could never get
// past a child beginning with ")" other than ")#", so older files read as they
// always did; only a root named ")%..." would now read differently.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"

namespace engine {
class TKavoBurner;
}

namespace appcore {

inline constexpr const char* kTaskFileExtension = ".mvt";

enum class NodeKind { Folder, Item };

struct TaskNode {
  NodeKind Kind = NodeKind::Folder;
  std::string Name;      // folder name, or the item's source path
  std::string SizeText;  // items only: the size as stored at drop time
  std::vector<std::unique_ptr<TaskNode>> Children;

  bool IsItem() const { return Kind == NodeKind::Item; }
  // The node's text: the name, or for an item path + "*" + size text.
  std::string Text() const;
  TaskNode& AddFolder(std::string name);
  TaskNode& AddItem(std::string sourcePath, std::string sizeText);
  // Removes the first child that is `child`; false when it is not a child.
  bool RemoveChild(const TaskNode* child);
};

struct TaskTree {
  std::unique_ptr<TaskNode> Root;
  bool Empty() const { return Root == nullptr; }
  // True when the root has no children (nothing to burn).
  bool OnlyRoot() const { return Root == nullptr || Root->Children.empty(); }
};

// A new task's root: "My Disc " and the date as m_d_y (no leading zeros,
// two-digit year).
std::string RootText(int year, int month, int day);
TaskTree NewTask(const std::string& rootText);

// "#,##": digits grouped by three with `separator`; nothing for zero.
std::string FormatSize(std::int64_t bytes, const std::string& separator = ",");
// Only the digits count, so sizes saved under any locale read back. An empty
// text is 0 bytes; text without digits, or too many to hold, is 1 byte.
std::int64_t SizeOfText(std::string_view sizeText);
// The 64-bit total of a subtree (folders count 0).
std::int64_t SumNodeSizes(const TaskNode& node);

// The size bar along the main window: its full width stands for 5250 MB.
struct SizeBar {
  std::int64_t TotalMB = 0;
  std::int64_t Width = 0;  // pixels
  std::string Hint;        // "<TotalMB> MB"
};
inline constexpr std::int64_t kSizeBarFullWidth = 969;
inline constexpr std::int64_t kSizeBarFullMB = 5250;
SizeBar ComputeSizeBar(std::int64_t totalBytes);

// The first node in pre-order whose text is `text` and whose depth (root 0)
// is `depth`; nullptr when none.
TaskNode* FindDataNode(TaskNode& root, const std::string& text, int depth);

// The task line without its line end.
std::string BuildTaskText(const TaskNode& node);

// Limits on what a task file may hold; beyond them the file is refused.
inline constexpr std::size_t kMaxTaskFileBytes = 64u << 20;
inline constexpr std::size_t kMaxTaskDepth = 256;
inline constexpr std::size_t kMaxTaskNodes = 1000000;

// Reads one task from the text (trailing line ends and blanks allowed).
// An empty text gives an empty tree; text that does not follow the format
// gives an InvalidData error.
base::Result<TaskTree> ParseTaskText(std::string_view text);

// Whole-file read and write. The file is the task line and CR LF; saving
// replaces the file through a temporary one so a crash keeps the old task.
base::Result<TaskTree> ReadTaskFile(const std::string& path);
base::Result<std::string> ReadTaskFileText(const std::string& path);
base::Status WriteTaskFile(const std::string& path, const TaskNode& root);

// What the transfer could not hand over: sources that no longer exist.
struct TransferReport {
  std::vector<std::string> MissingSources;
  std::vector<std::string> RefusedFolders;  // folders the compilation could not take, with what they held
  // The compilation's reports of what it left out (names too long, names
  // that differ only in case, ...): the first texts and their count.
  std::vector<std::string> RefusedNames;
  std::size_t RefusedCount = 0;
};

// Hands the tree to the burner's compilation, which the caller has reset:
// folders become directories, items become files or, when the source is a
// folder, a directory of the source's name with everything below it.
TransferReport TransferTreeToBurner(const TaskNode& root, engine::TKavoBurner& burner, bool archiveOnly);

// Session import from the selected drive (0: none, -1: the last session),
// then the transfer. Fails with kNothingSelected when the tree holds only its
// root.
base::Result<TransferReport> PrepareCompilation(const TaskTree& tree, engine::TKavoBurner& burner, bool archiveOnly,
                                                std::int8_t sessionToImport);

}  // namespace appcore
