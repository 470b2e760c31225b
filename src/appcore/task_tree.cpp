#include "appcore/task_tree.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "appcore/texts.h"
#include "engine/kavo_burner.h"
#include "engine/texts.h"
#include "platform/file_find.h"
#include "platform/file_stream.h"

namespace appcore {

namespace {

constexpr std::string_view kEscapedMark = ")%";
constexpr char kHex[] = "0123456789ABCDEF";

bool IsControl(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u < 0x20 || u == 0x7F;
}

bool MustEscape(char c) { return c == '(' || c == ')' || c == '*' || c == '%' || c == '#' || IsControl(c); }

std::string Escape(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (const char c : s) {
    if (MustEscape(c)) {
      const auto u = static_cast<unsigned char>(c);
      out += '%';
      out += kHex[u >> 4];
      out += kHex[u & 0x0F];
    } else {
      out += c;
    }
  }
  return out;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool Unescape(std::string_view s, std::string& out) {
  out.clear();
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '%') {
      out += s[i];
      continue;
    }
    if (i + 2 >= s.size()) return false;
    const int hi = HexValue(s[i + 1]);
    const int lo = HexValue(s[i + 2]);
    if (hi < 0 || lo < 0) return false;
    out += static_cast<char>(hi * 16 + lo);
    i += 2;
  }
  return true;
}

bool HasControl(std::string_view s) { return std::any_of(s.begin(), s.end(), IsControl); }

// Whether the plain format would read the node back as something else.
bool NeedsEscape(const TaskNode& node) {
  const std::string text = node.Text();
  if (!text.empty() && text.front() == ')') return true;
  if (text.find('(') != std::string::npos || HasControl(text)) return true;
  return node.Name.find('*') != std::string::npos;  // a folder turned item, or a path cut short
}

std::string NodeText(const TaskNode& node) {
  if (!NeedsEscape(node)) return node.Text();
  std::string out(kEscapedMark);
  out += Escape(node.Name);
  if (node.IsItem()) out += '*' + Escape(node.SizeText);
  return out;
}

void AppendTaskText(const TaskNode& node, std::string& out) {
  out += NodeText(node);
  out += '(';
  for (const auto& child : node.Children) AppendTaskText(*child, out);
  out += ")#";
}

base::Error Damaged(const char* text) { return base::MakeError(base::ErrorKind::InvalidData, text); }

// Fills a node from its text as written in the file.
bool DecodeNodeText(std::string_view raw, TaskNode& node) {
  const bool escaped = raw.substr(0, kEscapedMark.size()) == kEscapedMark;
  if (escaped) raw.remove_prefix(kEscapedMark.size());
  const std::size_t star = raw.find('*');
  node.Kind = star == std::string_view::npos ? NodeKind::Folder : NodeKind::Item;
  const std::string_view name = raw.substr(0, star);
  const std::string_view size = star == std::string_view::npos ? std::string_view() : raw.substr(star + 1);
  if (!escaped) {
    node.Name = std::string(name);
    node.SizeText = std::string(size);
    return true;
  }
  return Unescape(name, node.Name) && Unescape(size, node.SizeText);
}

// A folder the user made becomes one directory of the disc; a name that
// reads back as another path is refused.
bool IsFolderNameForDisc(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find_first_of("/\\") == std::string::npos;
}

bool IsBlank(char c) { return c == '\r' || c == '\n' || c == ' ' || c == '\t'; }

std::int64_t SaturatingAdd(std::int64_t a, std::int64_t b) {
  if (b > 0 && a > std::numeric_limits<std::int64_t>::max() - b) return std::numeric_limits<std::int64_t>::max();
  return a + b;
}

// Rounds a / b to the nearest integer, halves to the even neighbour (a >= 0, b > 0).
std::int64_t RoundHalfEven(std::int64_t a, std::int64_t b) {
  const std::int64_t q = a / b;
  const std::int64_t r = a % b;
  if (2 * r > b || (2 * r == b && (q % 2) != 0)) return q + 1;
  return q;
}

bool IsPathSeparator(char c) { return c == '\\' || platform::IsPathSeparator(c); }

void TransferChildren(const TaskNode& node, const std::string& dest, engine::TKavoBurner& burner, bool archiveOnly,
                      TransferReport& report) {
  for (const auto& child : node.Children) {
    if (burner.WalkCancelled()) return;
    if (!child->IsItem()) {
      // A refused folder takes its contents with it; the engine said why.
      if (burner.MakeCompilationDir(dest, child->Name) == nullptr) {
        report.RefusedFolders.push_back(child->Name);
        continue;
      }
      TransferChildren(*child, dest + child->Name + "\\", burner, archiveOnly, report);
      continue;
    }
    std::string source = child->Name;
    if (platform::IsDirectory(source)) {
      // Every folder goes in with its contents, and under the archive rule,
      // whether or not its name has a dot.
      while (source.size() > 1 && IsPathSeparator(source.back())) source.pop_back();
      const auto cut = std::find_if(source.rbegin(), source.rend(), IsPathSeparator);
      std::string name(cut.base(), source.end());
      if (name.empty() || name.back() == ':') {
        // A whole drive or the file-system root: its contents go in here.
        burner.AddFolderToCompilation(dest, source, archiveOnly, false, true, platform::kAttrAnyFile, "*.*");
        continue;
      }
      burner.MakeCompilationDir(dest, name);
      burner.AddFolderToCompilation(dest + name, source, archiveOnly, false, true, platform::kAttrAnyFile, "*.*");
      continue;
    }
    if (burner.AddFileToCompilation(dest, source, false) == 255) report.MissingSources.push_back(source);
  }
}

}  // namespace

std::string TaskNode::Text() const { return IsItem() ? Name + "*" + SizeText : Name; }

TaskNode& TaskNode::AddFolder(std::string name) {
  auto node = std::make_unique<TaskNode>();
  node->Name = std::move(name);
  Children.push_back(std::move(node));
  return *Children.back();
}

TaskNode& TaskNode::AddItem(std::string sourcePath, std::string sizeText) {
  auto node = std::make_unique<TaskNode>();
  node->Kind = NodeKind::Item;
  node->Name = std::move(sourcePath);
  node->SizeText = std::move(sizeText);
  Children.push_back(std::move(node));
  return *Children.back();
}

bool TaskNode::RemoveChild(const TaskNode* child) {
  const auto it = std::find_if(Children.begin(), Children.end(), [&](const auto& c) { return c.get() == child; });
  if (it == Children.end()) return false;
  Children.erase(it);
  return true;
}

std::string RootText(int year, int month, int day) {
  const int yy = ((year % 100) + 100) % 100;
  return std::string(texts::kRootPrefix) + std::to_string(month) + "_" + std::to_string(day) + "_" +
         (yy < 10 ? "0" : "") + std::to_string(yy);
}

TaskTree NewTask(const std::string& rootText) {
  TaskTree tree;
  tree.Root = std::make_unique<TaskNode>();
  tree.Root->Name = rootText;
  return tree;
}

std::string FormatSize(std::int64_t bytes, const std::string& separator) {
  if (bytes == 0) return {};
  const bool negative = bytes < 0;
  std::string digits = std::to_string(bytes);
  if (negative) digits.erase(0, 1);
  std::string out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += separator;
    out += digits[i];
  }
  return negative ? "-" + out : out;
}

std::int64_t SizeOfText(std::string_view sizeText) {
  if (sizeText.empty()) return 0;
  std::int64_t value = 0;
  bool anyDigit = false;
  for (const char c : sizeText) {
    if (c < '0' || c > '9') continue;
    anyDigit = true;
    const int digit = c - '0';
    if (value > (std::numeric_limits<std::int64_t>::max() - digit) / 10) return 1;
    value = value * 10 + digit;
  }
  return anyDigit ? value : 1;
}

std::int64_t SumNodeSizes(const TaskNode& node) {
  std::int64_t total = node.IsItem() ? SizeOfText(node.SizeText) : 0;
  for (const auto& child : node.Children) total = SaturatingAdd(total, SumNodeSizes(*child));
  return total;
}

SizeBar ComputeSizeBar(std::int64_t totalBytes) {
  SizeBar bar;
  bar.TotalMB = RoundHalfEven(std::max<std::int64_t>(totalBytes, 0), 1048576);
  bar.Width = RoundHalfEven(bar.TotalMB * kSizeBarFullWidth, kSizeBarFullMB);
  bar.Hint = std::to_string(bar.TotalMB) + " MB";
  return bar;
}

TaskNode* FindDataNode(TaskNode& root, const std::string& text, int depth) {
  std::vector<std::pair<TaskNode*, int>> todo{{&root, 0}};
  while (!todo.empty()) {
    auto [node, level] = todo.back();
    todo.pop_back();
    if (level == depth && node->Text() == text) return node;
    if (level >= depth) continue;  // nothing deeper can match
    for (auto it = node->Children.rbegin(); it != node->Children.rend(); ++it) todo.emplace_back(it->get(), level + 1);
  }
  return nullptr;
}

std::string BuildTaskText(const TaskNode& node) {
  std::string out;
  AppendTaskText(node, out);
  return out;
}

base::Result<TaskTree> ParseTaskText(std::string_view text) {
  TaskTree tree;
  if (text.empty()) return tree;
  std::size_t pos = 0;
  // Reads a node's text up to its "("; the reason when it cannot.
  auto readNode = [&](TaskNode& node) -> const char* {
    const std::size_t open = text.find('(', pos);
    if (open == std::string_view::npos) return texts::kTaskFileUnterminated;
    if (!DecodeNodeText(text.substr(pos, open - pos), node)) return texts::kTaskFileBadEscape;
    pos = open + 1;
    return nullptr;
  };
  tree.Root = std::make_unique<TaskNode>();
  if (const char* problem = readNode(*tree.Root)) return Damaged(problem);
  std::vector<TaskNode*> open{tree.Root.get()};
  std::size_t nodes = 1;
  while (!open.empty()) {
    if (pos >= text.size()) return Damaged(texts::kTaskFileUnterminated);
    const std::string_view rest = text.substr(pos);
    if (rest.substr(0, 2) == ")#") {
      pos += 2;
      open.pop_back();
      continue;
    }
    // A ")" not followed by "#" only starts an escaped text.
    if (rest.front() == ')' && rest.substr(0, kEscapedMark.size()) != kEscapedMark)
      return Damaged(texts::kTaskFileBadEscape);
    if (open.size() >= kMaxTaskDepth) return Damaged(texts::kTaskFileNesting);
    if (++nodes > kMaxTaskNodes) return Damaged(texts::kTaskFileTooManyNodes);
    auto child = std::make_unique<TaskNode>();
    if (const char* problem = readNode(*child)) return Damaged(problem);
    if (!child->IsItem() && !IsFolderNameForDisc(child->Name))
      return base::MakeError(base::ErrorKind::InvalidData, texts::kTaskFileBadFolderName + child->Name);
    open.back()->Children.push_back(std::move(child));
    open.push_back(open.back()->Children.back().get());
  }
  for (; pos < text.size(); ++pos)
    if (!IsBlank(text[pos])) return Damaged(texts::kTaskFileTrailing);
  return tree;
}

base::Result<std::string> ReadTaskFileText(const std::string& path) {
  // Only a regular file: a FIFO of that name would hang the reader.
  auto opened = platform::FileStream::OpenRegular(path);
  if (!opened.Ok()) return base::MakeError(opened.Err().Kind, texts::kTaskFileUnreadable + path);
  platform::FileStream& file = opened.Value();
  const std::int64_t size = file.Size();
  if (size < 0) return base::MakeError(base::ErrorKind::System, texts::kTaskFileUnreadable + path);
  if (static_cast<std::uint64_t>(size) > kMaxTaskFileBytes) return Damaged(texts::kTaskFileTooLarge);
  std::string text(static_cast<std::size_t>(size), '\0');
  const std::int64_t got = text.empty() ? 0 : file.Read(text.data(), text.size());
  if (got < 0) return base::MakeError(base::ErrorKind::System, texts::kTaskFileUnreadable + path);
  text.resize(static_cast<std::size_t>(got));
  return text;
}

base::Result<TaskTree> ReadTaskFile(const std::string& path) {
  auto text = ReadTaskFileText(path);
  if (!text.Ok()) return text.Err();
  return ParseTaskText(text.Value());
}

base::Status WriteTaskFile(const std::string& path, const TaskNode& root) {
  const std::string text = BuildTaskText(root) + "\r\n";
  std::string temp;
  {
    auto opened = platform::FileStream::CreateTempBeside(path, temp);
    if (!opened.Ok()) return opened.Err();
    base::Status written = opened.Value().Write(text.data(), text.size());
    if (written.Ok()) written = opened.Value().Sync();
    opened.Value().Close();
    if (!written.Ok()) {
      platform::RemoveFile(temp);
      return written;
    }
  }
  base::Status renamed = platform::RenameFile(temp, path);
  if (!renamed.Ok()) platform::RemoveFile(temp);
  return renamed;
}

TransferReport TransferTreeToBurner(const TaskNode& root, engine::TKavoBurner& burner, bool archiveOnly) {
  TransferReport report;
  TransferChildren(root, "\\", burner, archiveOnly, report);
  return report;
}

base::Result<TransferReport> PrepareCompilation(const TaskTree& tree, engine::TKavoBurner& burner, bool archiveOnly,
                                                std::int8_t sessionToImport) {
  if (tree.OnlyRoot()) return base::MakeError(base::ErrorKind::InvalidInput, texts::kNothingSelected);
  // The earlier session goes in first so that the new session lists it too;
  // cleared so that the layout does not import it a second time.
  if (sessionToImport != 0) {
    burner.SetSessionToImport(0);
    // A cancelled import would burn a session without the earlier files.
    if (!burner.ImportDiscSession(sessionToImport, nullptr) && burner.CancelRequested())
      return base::MakeError(base::ErrorKind::Cancelled, engine::texts::kOperationAborted);
  }
  TransferReport report = TransferTreeToBurner(*tree.Root, burner, archiveOnly);
  // A walk cut short leaves part of the task: never burnt as if it were all.
  if (burner.WalkCancelled()) return base::MakeError(base::ErrorKind::Cancelled, engine::texts::kOperationAborted);
  report.RefusedNames = burner.RefusedSources();
  report.RefusedCount = burner.RefusedSourceCount();
  return report;
}

}  // namespace appcore
