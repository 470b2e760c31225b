#pragma once
// A scratch folder removed with everything in it when the test ends, and
// small helpers to fill it.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace testsupport {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& Path() const { return FPath; }
  // The path in UTF-8, as the code under test takes paths.
  std::string Str() const;
  // Writes a file (creating parent folders) and returns its full path.
  // Relative paths and results are UTF-8.
  std::string Write(const std::string& relative, const std::string& content);
  std::string WriteBytes(const std::string& relative, const std::vector<std::uint8_t>& content);
  std::string MakeDir(const std::string& relative);

 private:
  std::filesystem::path FPath;
};

std::vector<std::uint8_t> ReadAll(const std::string& path);
// Deterministic pseudo-random content of the given size.
std::string PatternContent(std::size_t size, std::uint32_t seed);

}  // namespace testsupport
