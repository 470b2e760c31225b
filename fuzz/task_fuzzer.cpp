// libFuzzer target: arbitrary bytes as a task file (.mvt). A tree that reads
// is written back and must read again to the same text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "appcore/task_tree.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto tree = appcore::ParseTaskText(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!tree.Ok() || tree.Value().Empty()) return 0;
  const appcore::TaskNode& root = *tree.Value().Root;
  const std::string text = appcore::BuildTaskText(root);
  const auto again = appcore::ParseTaskText(text);
  if (!again.Ok() || again.Value().Empty() || appcore::BuildTaskText(*again.Value().Root) != text) __builtin_trap();
  appcore::SumNodeSizes(root);
  appcore::ComputeSizeBar(appcore::SumNodeSizes(root));
  return 0;
}
