#pragma once
// Where an image file may be written: checked before the compilation is
// built, so that a wrong output never replaces what is there.
#include <string>
#include <vector>

namespace appcore {

enum class ImageOutputProblem {
  None,
  Folder,        // the output names a folder
  NotRegular,    // it exists and is a device, FIFO or socket
  IsSource,      // it is the same file as one of the sources
};

// `sources` are the files and folders going into the image.
ImageOutputProblem CheckImageOutput(const std::string& output, const std::vector<std::string>& sources);

}  // namespace appcore
