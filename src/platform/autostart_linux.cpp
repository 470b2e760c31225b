#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "platform/autostart.h"
#include "platform/file_stream.h"

namespace platform {

namespace {

namespace fs = std::filesystem;

std::string ConfigHome() {
  // Only an absolute XDG_CONFIG_HOME counts; a relative one is to be ignored.
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && xdg[0] == '/') return xdg;
  if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') return std::string(home) + "/.config";
  return {};
}

// The display name as a file name: letters and digits, the rest as "-".
std::string FileNameFor(const std::string& name) {
  std::string out;
  for (const char c : name) {
    const auto u = static_cast<unsigned char>(c);
    out += std::isalnum(u) != 0 && u < 0x80 ? static_cast<char>(std::tolower(u)) : '-';
  }
  return out + ".desktop";
}

// One argument of an Exec line: quoted, with the characters the desktop
// entry format reserves escaped, then escaped again as a string value.
std::string ExecArgument(const std::string& arg) {
  std::string quoted = "\"";
  for (const char c : arg) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
    quoted += c;
  }
  quoted += '"';
  std::string out;
  for (const char c : quoted) {
    if (c == '\\') out += "\\\\";
    else if (c == '%') out += "%%";
    else out += c;
  }
  return out;
}

bool HasLineBreak(const std::string& s) { return s.find_first_of("\r\n") != std::string::npos; }

}  // namespace

std::string AutostartEntryPath(const std::string& name) {
  const std::string home = ConfigHome();
  if (home.empty()) return {};
  return home + "/autostart/" + FileNameFor(name);
}

bool AutostartEntryExists(const std::string& name) {
  const std::string path = AutostartEntryPath(name);
  std::error_code ec;
  return !path.empty() && fs::exists(path, ec);
}

base::Status WriteAutostartEntry(const std::string& name, const std::string& executable,
                                 const std::vector<std::string>& arguments) {
  const std::string path = AutostartEntryPath(name);
  if (path.empty()) return base::MakeError(base::ErrorKind::System, "no configuration folder (HOME is not set)");
  if (HasLineBreak(name) || HasLineBreak(executable))
    return base::MakeError(base::ErrorKind::InvalidInput, "a line break in an autostart entry");
  std::string exec = ExecArgument(executable);
  for (const auto& a : arguments) {
    if (HasLineBreak(a)) return base::MakeError(base::ErrorKind::InvalidInput, "a line break in an autostart entry");
    exec += ' ' + ExecArgument(a);
  }
  const std::string text = "[Desktop Entry]\nType=Application\nName=" + name + "\nExec=" + exec +
                           "\nTerminal=false\nX-GNOME-Autostart-enabled=true\n";
  std::error_code ec;
  fs::create_directories(fs::path(path).parent_path(), ec);
  if (ec) return base::MakeError(base::ErrorKind::System, "cannot create " + fs::path(path).parent_path().string());
  const std::string temp = path + ".tmp";
  {
    auto opened = FileStream::Open(temp, OpenMode::CreateWrite);
    if (!opened.Ok()) return opened.Err();
    base::Status written = opened.Value().Write(text.data(), text.size());
    if (written.Ok()) written = opened.Value().Sync();
    opened.Value().Close();
    if (!written.Ok()) {
      RemoveFile(temp);
      return written;
    }
  }
  base::Status renamed = RenameFile(temp, path);
  if (!renamed.Ok()) RemoveFile(temp);
  return renamed;
}

base::Status RemoveAutostartEntry(const std::string& name) {
  const std::string path = AutostartEntryPath(name);
  if (path.empty() || RemoveFile(path)) return base::Ok();
  return base::MakeError(base::ErrorKind::System, "cannot remove " + path);
}

std::string ExecutablePath() {
  std::error_code ec;
  const fs::path p = fs::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : p.string();
}

}  // namespace platform
