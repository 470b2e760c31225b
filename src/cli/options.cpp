#include "cli/options.h"

#include <map>

namespace cli {

const char* const kMainUsage =
    "usage: zantic-cli COMMAND [options]\n"
    "\n"
    "commands:\n"
    "  build-iso   build an ISO 9660 image file with a Joliet tree\n"
    "  devices     list the CD/DVD drives\n"
    "  drive-info  what a drive can do and the write speeds it offers\n"
    "  disc-info   what the disc in a drive holds\n"
    "  burn        burn files and folders to a disc\n"
    "  burn-iso    burn an .iso image file to a disc\n"
    "  erase       blank a rewritable disc\n"
    "  vdisc       make, inspect and export the virtual recorder's disc files\n"
    "  task        show a task file (.mvt), build an image of it or burn it\n"
    "  schedule    list, run or watch the scheduled backup tasks\n"
    "  sessions    list the sessions of a disc\n"
    "  ls          list the files of a session\n"
    "  extract     copy files of a session to a folder\n"
    "  read        read a disc into an image, with a map of unreadable sectors\n"
    "  check       read every file of a session and compare its checksums\n"
    "\n"
    "Run 'zantic-cli COMMAND --help' for the options of a command.\n";

const char* const kBuildIsoUsage =
    "usage: zantic-cli build-iso [options] -o OUT.iso SOURCE...\n"
    "\n"
    "A folder becomes a folder of its own name on the disc, with everything in\n"
    "it; a file goes into the root.\n"
    "\n"
    "options:\n"
    "  -o, --output FILE        the image file to write\n"
    "  -V, --volume LABEL       volume identifier\n"
    "      --system ID          system identifier\n"
    "      --volset ID          volume set identifier\n"
    "      --publisher ID       publisher identifier\n"
    "      --preparer ID        data preparer identifier\n"
    "      --application ID     application identifier\n"
    "      --copyright FILE     copyright file identifier\n"
    "      --abstract FILE      abstract file identifier\n"
    "      --biblio FILE        bibliographic file identifier\n"
    "      --no-joliet          write the ISO 9660 tree only\n"
    "      --no-rock-ridge      write no Rock Ridge (whole names, modes, owners,\n"
    "                           times and symbolic links for Linux and macOS)\n"
    "      --follow-links       record the files symbolic links point to, not the links\n"
    "      --boot IMAGE         make the disc bootable (El Torito) with this floppy\n"
    "                           or hard-disk image\n"
    "      --replace            a later source replaces an earlier file of the same name\n"
    "      --cache MB           read-ahead cache in MiB (default 4, at least 2)\n"
    "      --quick              write directly, without the read-ahead cache\n"
    "  -v, --verbose            report how long each step took\n"
    "  -h, --help               show this help\n"
    "\n"
    "exit codes: 0 done; 1 the image could not be written or a file could not be\n"
    "read whole; 2 wrong arguments or sources; 3 written, but sources named on\n"
    "stderr were left out; 130 interrupted.\n";

std::optional<BuildIsoOptions> ParseBuildIso(const std::vector<std::string>& args, std::string& error) {
  BuildIsoOptions o;
  const std::map<std::string, std::string*> valued = {
      {"-o", &o.Output},           {"--output", &o.Output},         {"-V", &o.Volume},
      {"--volume", &o.Volume},     {"--system", &o.System},         {"--volset", &o.VolumeSet},
      {"--publisher", &o.Publisher}, {"--preparer", &o.Preparer},   {"--application", &o.Application},
      {"--copyright", &o.Copyright}, {"--abstract", &o.Abstract},   {"--biblio", &o.Bibliographic},
      {"--boot", &o.BootImage},    {"--cache", &o.CacheMb},
  };
  bool onlySources = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (onlySources || a.empty() || a[0] != '-' || a == "-") {
      o.Sources.push_back(a);
      continue;
    }
    if (a == "--") {
      onlySources = true;
      continue;
    }
    if (a == "-h" || a == "--help") {
      o.Help = true;
      continue;
    }
    if (a == "--no-joliet") {
      o.Joliet = false;
      continue;
    }
    if (a == "--no-rock-ridge") {
      o.RockRidge = false;
      continue;
    }
    if (a == "--follow-links") {
      o.FollowLinks = true;
      continue;
    }
    if (a == "--quick") {
      o.Quick = true;
      continue;
    }
    if (a == "-v" || a == "--verbose") {
      o.Verbose = true;
      continue;
    }
    if (a == "--replace") {
      o.Replace = true;
      continue;
    }
    std::string name = a;
    std::optional<std::string> inlineValue;
    if (const auto eq = a.find('='); a.rfind("--", 0) == 0 && eq != std::string::npos) {
      name = a.substr(0, eq);
      inlineValue = a.substr(eq + 1);
    }
    auto it = valued.find(name);
    if (it == valued.end()) {
      error = "unknown option: " + a;
      return std::nullopt;
    }
    if (inlineValue) {
      *it->second = *inlineValue;
    } else if (i + 1 < args.size()) {
      *it->second = args[++i];
    } else {
      error = "option " + a + " needs a value";
      return std::nullopt;
    }
    if (it->second == &o.BootImage && o.BootImage.empty()) {
      error = "option --boot needs the name of a boot image file";
      return std::nullopt;
    }
  }
  if (o.Help) return o;
  if (!o.CacheMb.empty()) {
    const bool digits = o.CacheMb.size() <= 4 && o.CacheMb.find_first_not_of("0123456789") == std::string::npos;
    if (!digits || std::stoi(o.CacheMb) < 1 || std::stoi(o.CacheMb) > 2047) {
      error = "--cache takes a size in MiB from 1 to 2047";
      return std::nullopt;
    }
  }
  if (o.Output.empty()) {
    error = "no output file given (-o OUT.iso)";
    return std::nullopt;
  }
  if (o.Sources.empty()) {
    error = "no source given: name the files and folders to put into the image";
    return std::nullopt;
  }
  return o;
}

}  // namespace cli
