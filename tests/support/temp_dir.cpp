#include "support/temp_dir.h"

#include <fstream>
#include <random>
#include <stdexcept>

namespace testsupport {

TempDir::TempDir() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "zantic-test-XXXXXX").string();
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  if (mkdtemp(buf.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  FPath = buf.data();
}

TempDir::~TempDir() {
  std::error_code ec;
  // Tests may have made files read-only; give write back so removal works.
  for (auto it = std::filesystem::recursive_directory_iterator(FPath, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
  }
  std::filesystem::remove_all(FPath, ec);
}

std::string TempDir::Write(const std::string& relative, const std::string& content) {
  auto p = FPath / relative;
  std::filesystem::create_directories(p.parent_path());
  std::ofstream f(p, std::ios::binary | std::ios::trunc);
  f.write(content.data(), static_cast<std::streamsize>(content.size()));
  if (!f) throw std::runtime_error("cannot write " + p.string());
  return p.string();
}

std::string TempDir::WriteBytes(const std::string& relative, const std::vector<std::uint8_t>& content) {
  return Write(relative, std::string(content.begin(), content.end()));
}

std::string TempDir::MakeDir(const std::string& relative) {
  auto p = FPath / relative;
  std::filesystem::create_directories(p);
  return p.string();
}

std::vector<std::uint8_t> ReadAll(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

std::string PatternContent(std::size_t size, std::uint32_t seed) {
  std::mt19937 gen(seed);
  std::string s(size, '\0');
  for (auto& c : s) c = static_cast<char>(gen() & 0xFF);
  return s;
}

}  // namespace testsupport
