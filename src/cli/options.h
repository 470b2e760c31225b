#pragma once
// Command-line parsing for zantic-cli.
#include <optional>
#include <string>
#include <vector>

namespace cli {

struct BuildIsoOptions {
  std::string Output;
  std::vector<std::string> Sources;
  std::string Volume;
  std::string System;
  std::string VolumeSet;
  std::string Publisher;
  std::string Preparer;
  std::string Application;
  std::string Copyright;
  std::string Abstract;
  std::string Bibliographic;
  bool Joliet = true;
  bool RockRidge = true;
  bool FollowLinks = false;
  bool Replace = false;
  bool Help = false;
  bool Verbose = false;  // phase timings on stderr
  bool Quick = false;    // the direct writer instead of the read-ahead cache and writer thread
  std::string CacheMb;   // read-ahead cache in MiB; empty keeps the default
  std::string BootImage;  // El Torito boot image; empty: not bootable
};

// Parses the arguments after "build-iso"; on a mistake returns nullopt and
// puts a message for the user into `error`.
std::optional<BuildIsoOptions> ParseBuildIso(const std::vector<std::string>& args, std::string& error);

extern const char* const kBuildIsoUsage;
extern const char* const kMainUsage;

}  // namespace cli
