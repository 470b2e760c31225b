#include "appcore/image_output.h"

#include <filesystem>

#include "platform/utf8_path.h"

namespace appcore {

ImageOutputProblem CheckImageOutput(const std::string& output, const std::vector<std::string>& sources) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path out = platform::Utf8Path(output);
  const fs::file_status status = fs::status(out, ec);
  if (!fs::exists(status)) return ImageOutputProblem::None;
  if (fs::is_directory(status)) return ImageOutputProblem::Folder;
  if (!fs::is_regular_file(status)) return ImageOutputProblem::NotRegular;
  // The same file under another name, or through a link, counts too.
  for (const auto& source : sources)
    if (fs::equivalent(out, platform::Utf8Path(source), ec)) return ImageOutputProblem::IsSource;
  return ImageOutputProblem::None;
}

}  // namespace appcore
