// Writes seed executables for the icon fuzzer: PE32 and PE32+ with icon
// groups of bitmap and PNG-signed pictures.
#include <fstream>
#include <string>

#include "support/pe_builder.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const std::string folder = argv[1];
  auto write = [&](const std::string& name, const testsupport::PeRecipe& recipe) {
    const auto bytes = testsupport::BuildPe(recipe).Bytes;
    std::ofstream(folder + "/" + name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  };
  testsupport::PeRecipe two;
  two.Icons.push_back({1, 16, 16, 32, testsupport::IconDib(16, 0xFF0000FF)});
  two.Icons.push_back({2, 32, 32, 32, testsupport::IconDib(32, 0xFF00FF00)});
  write("pe32-two-icons.exe", two);
  two.Pe32Plus = true;
  two.MissingIds = {9};
  write("pe32plus-missing.exe", two);
  testsupport::PeRecipe png;
  png.Icons.push_back({3, 0, 0, 32, {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13}});
  write("png-icon.exe", png);
  return 0;
}
