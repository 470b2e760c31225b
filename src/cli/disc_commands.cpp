#include "cli/disc_commands.h"

#include <algorithm>
#include <filesystem>
#include <limits>
#include <memory>
#include <optional>

#include "cli/build_iso.h"
#include "cli/health_common.h"
#include "appcore/drive_select.h"
#include "engine/iso/date_time.h"
#include "engine/kavo_burner.h"
#include "engine/session_list.h"
#include "engine/texts.h"
#include "platform/utf8_path.h"

namespace cli {

const char* const kDiscCommandsUsage =
    "usage: zantic-cli sessions (--image FILE | --device DEV)\n"
    "       zantic-cli ls (--image FILE | --device DEV) [--session N] [--modes] [PATH]\n"
    "       zantic-cli extract (--image FILE | --device DEV) [--session N] [--overwrite] PATH DEST\n"
    "\n"
    "sessions   the tracks of the disc with their start and size, and the free space\n"
    "ls         the files of a session below PATH (default the root), with sizes,\n"
    "           dates and start sectors\n"
    "extract    copies the file or folder PATH of a session into the folder DEST\n"
    "\n"
    "options:\n"
    "      --image FILE     read the disc from an image file\n"
    "      --device DEV     read the disc in a drive (as for burn: an address, a\n"
    "                       device node or a virtual disc file)\n"
    "      --session N      the session to read; -1 (the default) or a number above\n"
    "                       the last is the last session\n"
    "      --modes          ls: permissions as the disc records them (Rock Ridge)\n"
    "      --overwrite      extract: replace files that exist in DEST (without it\n"
    "                       they are left as they are and named)\n"
    "  -h, --help           show this help\n"
    "\n"
    "Paths on the disc take \"/\" or \"\\\". exit codes: 0 done; 1 the disc could not be\n"
    "read, or a file or folder was left out or not written; 2 wrong arguments;\n"
    "130 interrupted.\n";

namespace {

struct DiscOptions {
  std::string Image;
  std::string Device;
  int Session = -1;
  std::vector<std::string> Positional;
  bool Help = false;
  bool Overwrite = false;
  bool Modes = false;
};

std::optional<DiscOptions> Parse(const std::vector<std::string>& args, std::string& error) {
  DiscOptions o;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "-h" || a == "--help") {
      o.Help = true;
    } else if (a == "--overwrite") {
      o.Overwrite = true;
    } else if (a == "--modes") {
      o.Modes = true;
    } else if (a == "--image" || a == "--device" || a == "--session") {
      if (i + 1 >= args.size()) {
        error = a + " needs a value";
        return std::nullopt;
      }
      const std::string& v = args[++i];
      if (a == "--image" || a == "--device") {
        (a == "--image" ? o.Image : o.Device) = v;
        continue;
      }
      char* end = nullptr;
      const long n = std::strtol(v.c_str(), &end, 10);
      if (v.empty() || *end != '\0' || n < -1 || n > 127) {
        error = "--session takes -1 or a session number from 1 to 127: " + v;
        return std::nullopt;
      }
      o.Session = static_cast<int>(n);
    } else if (a.size() > 1 && a[0] == '-') {
      error = "unknown option: " + a;
      return std::nullopt;
    } else {
      o.Positional.push_back(a);
    }
  }
  if (!o.Help && o.Image.empty() == o.Device.empty()) {
    error = "name the disc with --image FILE or --device DEV";
    return std::nullopt;
  }
  return o;
}

// Compilation paths use "\"; the command line takes either separator.
std::string DiscPath(std::string p) {
  std::replace(p.begin(), p.end(), '/', '\\');
  while (p.size() > 1 && p.back() == '\\') p.pop_back();
  if (p.empty() || p.front() != '\\') p.insert(0, "\\");
  return p;
}

// A disc path as listed: "/"-separated from the root.
std::string Shown(const std::string& path) {
  std::string p = DiscPath(path);
  std::replace(p.begin(), p.end(), '\\', '/');
  return p;
}

std::string DateText(iso::TDateTime value) {
  const auto t = iso::DecodeDateTime(value);
  if (!t) return "unknown date       ";
  char s[32];
  std::snprintf(s, sizeof s, "%04d-%02d-%02d %02d:%02d:%02d", t->Year, t->Month, t->Day, t->Hour, t->Minute,
                t->Second);
  return s;
}

// A file's name as extracted: without the dot the add rule gives names
// that have no extension.
std::string LocalName(const iso::TFEntry& e) {
  std::string n = e.LongName;
  if (!e.IsDirectory() && n.size() > 1 && n.back() == '.') n.pop_back();
  return n;
}

// Sectors are 32-bit unsigned on the disc; the entry keeps them signed.
unsigned StartSector(const iso::TFEntry& e) { return static_cast<std::uint32_t>(e.Extent); }

// Permissions as ls shows them, where the disc records them (Rock Ridge).
std::string ModeText(const iso::TFEntry& e) {
  if (e.Mode == 0 && !e.IsSymlink()) return {};
  const std::uint32_t m = e.IsSymlink() ? 0777 : e.Mode;
  std::string t = "rwxrwxrwx";
  for (int i = 0; i < 9; ++i)
    if ((m & (0400u >> i)) == 0) t[static_cast<std::size_t>(i)] = '-';
  if ((m & 04000) != 0) t[2] = (m & 0100) != 0 ? 's' : 'S';
  if ((m & 02000) != 0) t[5] = (m & 0010) != 0 ? 's' : 'S';
  return t + "  ";
}

void PrintFile(const iso::TFEntry& e, const std::string& shown, bool modes, std::FILE* out) {
  const std::string link = e.IsSymlink() ? " -> " + e.Extra->SymlinkTarget : std::string();
  std::fprintf(out, "%c %12lld  %s  %10u  %s%s%s\n", e.IsSymlink() ? 'l' : '-', static_cast<long long>(e.RecordedSize),
               DateText(e.DateTime).c_str(), StartSector(e), modes ? ModeText(e).c_str() : "", Printable(shown).c_str(),
               Printable(link).c_str());
}

void List(const iso::TDEntry& dir, const std::string& path, bool modes, std::FILE* out) {
  for (const iso::TFEntry* e = dir.FirstChild; e != nullptr; e = e->Next) {
    const std::string p = path + "/" + LocalName(*e);
    if (e->IsDirectory()) {
      std::fprintf(out, "d %12s  %s  %10s  %s%s/\n", "", DateText(e->DateTime).c_str(), "",
                   modes ? ModeText(*e).c_str() : "", Printable(p).c_str());
      List(*e->DirEntry, p, modes, out);
    } else {
      PrintFile(*e, p, modes, out);
    }
  }
}

struct Found {
  const iso::TDEntry* Dir = nullptr;   // PATH names a folder (the root included)
  const iso::TFEntry* File = nullptr;  // PATH names a file
};

Found Resolve(engine::TKavoBurner& burner, const std::string& path) {
  const std::string p = DiscPath(path);
  if (const iso::TDEntry* d = burner.FindCompilationDir(p)) return {d, nullptr};
  const auto cut = p.rfind('\\');
  const iso::TDEntry* parent = burner.FindCompilationDir(cut == 0 ? "\\" : p.substr(0, cut));
  if (parent == nullptr) return {};
  const std::string name = p.substr(cut + 1);
  const iso::TFEntry* e = burner.Tables().FindEntry(*parent, name);
  if (e == nullptr) e = burner.Tables().FindEntry(*parent, name + ".");
  return {nullptr, e};
}

int Extract(engine::TKavoBurner& burner, const Found& what, const std::string& discPath, const std::string& dest,
            std::FILE* err) {
  std::error_code ec;
  const std::filesystem::path folder = std::filesystem::absolute(platform::Utf8Path(dest), ec);
  // Extracting writes into a folder the user names, never a drive's root.
  if (ec || folder == folder.root_path()) {
    std::fprintf(err, "zantic-cli: choose a folder to extract into, not the root: %s\n", dest.c_str());
    return kExitBadInput;
  }
  std::filesystem::create_directories(folder, ec);
  if (!std::filesystem::is_directory(folder, ec)) {
    std::fprintf(err, "zantic-cli: cannot create the folder %s\n", dest.c_str());
    return kExitFailed;
  }
  int ok = 0;
  if (what.File != nullptr) {
    ok = burner.ExtractDiscFile(*what.File, platform::PathUtf8(folder / platform::Utf8Path(LocalName(*what.File))));
  } else {
    const bool root = what.Dir == burner.Tables().Root();
    const std::filesystem::path into = root ? folder : folder / platform::Utf8Path(what.Dir->LongName);
    if (!root && std::filesystem::is_symlink(std::filesystem::symlink_status(into, ec))) {
      std::fprintf(err, "zantic-cli: %s is a link; extraction does not follow links in the destination\n",
                   platform::PathUtf8(into).c_str());
      return kExitFailed;
    }
    ok = burner.ExtractDiscFolder(*what.Dir, platform::PathUtf8(into));
  }
  if (burner.CancelRequested()) return kExitAborted;
  if (burner.ImportLeftOutBelow(DiscPath(discPath))) {
    std::fprintf(err, "zantic-cli: entries of the disc that could not be read were left out (see above)\n");
    return kExitFailed;
  }
  return ok == 1 ? kExitOk : kExitFailed;
}

}  // namespace

bool IsDiscCommand(const std::string& command) {
  return command == "sessions" || command == "ls" || command == "extract";
}

int RunDiscCommand(engine::TKavoBurner& burner, const std::string& command, const std::vector<std::string>& args,
                   std::FILE* out, std::FILE* err) {
  std::string error;
  const auto o = Parse(args, error);
  if (!o) {
    std::fprintf(err, "zantic-cli: %s\n\n%s", error.c_str(), kDiscCommandsUsage);
    return kExitBadInput;
  }
  if (o->Help) {
    std::fputs(kDiscCommandsUsage, out);
    return kExitOk;
  }
  const std::size_t wanted = command == "sessions" ? 0 : command == "ls" ? 1 : 2;
  if (o->Positional.size() > wanted || (command == "extract" && o->Positional.size() != 2)) {
    std::fprintf(err, "zantic-cli: %s takes %s\n\n%s", command.c_str(),
                 command == "sessions" ? "no path" : command == "ls" ? "at most one path" : "PATH and DEST",
                 kDiscCommandsUsage);
    return kExitBadInput;
  }
  std::unique_ptr<iso::ImageSource> image;
  if (!o->Image.empty()) {
    auto opened = iso::ImageSource::OpenFile(o->Image);
    if (!opened) {
      std::fprintf(err, "zantic-cli: cannot open %s: %s\n", o->Image.c_str(), opened.Err().Message.c_str());
      return kExitBadInput;
    }
    image = std::move(opened.Value());
  } else if (const auto drive = appcore::SelectDrive(burner, o->Device); !drive.Selected()) {
    std::fprintf(err, "zantic-cli: %s\n", drive.Text.c_str());
    return kExitFailed;
  }
  // Without an image the selected drive is read.
  burner.SetDiscSource(image.get());
  burner.OnDebugMessage = [err](device::TSCSIDevice&, const std::string& text, std::uint8_t) {
    // The engine's lines quote names from the disc; its own line breaks stay.
    std::string shown;
    for (std::size_t from = 0; from <= text.size();) {
      const std::size_t to = std::min(text.find('\n', from), text.size());
      std::string_view line(text.data() + from, to - from);
      while (!line.empty() && line.front() == '\r') line.remove_prefix(1);
      if (from != 0) shown += '\n';
      shown += Printable(line);
      from = to + 1;
    }
    std::fprintf(err, "%s\n", shown.c_str());
  };
  struct Detach {
    engine::TKavoBurner& B;
    ~Detach() {
      B.SetDiscSource(nullptr);
      B.OnOverwriteFile = nullptr;
    }
  } detach{burner};
  const std::string disc = image ? o->Image : o->Device;

  if (command == "sessions") {
    std::fprintf(out, "%s\n", engine::kSessionListHeader);
    const auto lines = engine::SessionListLines(burner.DiscSource());
    for (const auto& line : lines) std::fprintf(out, "%s\n", line.c_str());
    // The list then holds only the error line: nothing was read.
    const bool failed = lines.size() == 1 && lines[0] == engine::texts::kSessionInfoError;
    return failed ? kExitFailed : kExitOk;
  }
  // Reading a disc has its own bounds; the compilation's entry limit is for burning.
  burner.ResetCompilation(std::numeric_limits<std::uint32_t>::max(), std::numeric_limits<std::uint32_t>::max());
  // Whole Rock Ridge names are read, not only those Joliet could hold.
  burner.SetRockRidge(true);
  // Nobody is asked here: --overwrite is the answer.
  engine::NonInteractiveAnswers answers;
  answers.Overwrite = o->Overwrite;
  engine::NonInteractive ask(answers);
  burner.OnOverwriteFile = [&ask](engine::TKavoBurner&, const std::string& path) { return ask.OverwriteFile(path); };
  if (!burner.ImportDiscSession(static_cast<std::int8_t>(o->Session), nullptr)) {
    std::fprintf(err, "zantic-cli: no session could be read from %s\n", disc.c_str());
    return kExitFailed;
  }
  const Found found = Resolve(burner, o->Positional.empty() ? "\\" : o->Positional[0]);
  if (found.Dir == nullptr && found.File == nullptr) {
    std::fprintf(err, "zantic-cli: not on the disc: %s\n", o->Positional[0].c_str());
    return kExitBadInput;
  }
  if (command == "extract") return Extract(burner, found, o->Positional[0], o->Positional[1], err);
  if (found.File != nullptr) {
    PrintFile(*found.File, Shown(o->Positional[0]), o->Modes, out);
    return kExitOk;
  }
  List(*found.Dir, found.Dir == burner.Tables().Root() ? "" : Shown(o->Positional[0]), o->Modes, out);
  // A listing that misses entries is not the whole folder.
  if (burner.ImportLeftOutBelow(DiscPath(o->Positional.empty() ? "/" : o->Positional[0]))) {
    std::fprintf(err, "zantic-cli: entries of the disc that could not be read were left out (see above)\n");
    return kExitFailed;
  }
  return kExitOk;
}

}  // namespace cli
