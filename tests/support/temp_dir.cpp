#include "support/temp_dir.h"

#include <chrono>
#include <fstream>
#include <random>
#include <stdexcept>

#include "platform/utf8_path.h"

namespace testsupport {

TempDir::TempDir() {
  // A fresh name, made atomically: create_directory fails on one that exists.
  std::random_device device;
  std::mt19937_64 gen((std::uint64_t{device()} << 32) ^
                      static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
  const std::filesystem::path base = std::filesystem::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    const auto candidate = base / ("zantic-test-" + std::to_string(gen() % 1000000000000ull));
    std::error_code ec;
    if (std::filesystem::create_directory(candidate, ec)) {
      FPath = candidate;
      return;
    }
  }
  throw std::runtime_error("cannot make a scratch folder");
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

std::string TempDir::Str() const { return platform::PathUtf8(FPath); }

std::string TempDir::Write(const std::string& relative, const std::string& content) {
  auto p = (FPath / platform::Utf8Path(relative)).make_preferred();
  std::filesystem::create_directories(p.parent_path());
  std::ofstream f(p, std::ios::binary | std::ios::trunc);
  f.write(content.data(), static_cast<std::streamsize>(content.size()));
  if (!f) throw std::runtime_error("cannot write " + platform::PathUtf8(p));
  return platform::PathUtf8(p);
}

std::string TempDir::WriteBytes(const std::string& relative, const std::vector<std::uint8_t>& content) {
  return Write(relative, std::string(content.begin(), content.end()));
}

std::string TempDir::MakeDir(const std::string& relative) {
  auto p = (FPath / platform::Utf8Path(relative)).make_preferred();
  std::filesystem::create_directories(p);
  return platform::PathUtf8(p);
}

std::vector<std::uint8_t> ReadAll(const std::string& path) {
  std::ifstream f(platform::Utf8Path(path), std::ios::binary);
  return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

std::string PatternContent(std::size_t size, std::uint32_t seed) {
  std::mt19937 gen(seed);
  std::string s(size, '\0');
  for (auto& c : s) c = static_cast<char>(gen() & 0xFF);
  return s;
}

}  // namespace testsupport
