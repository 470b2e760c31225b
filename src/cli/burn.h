#pragma once
// zantic-cli burn, burn-iso and erase: writing a compilation or an image to a
// disc, and blanking a rewritable one, with progress on stderr.
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace engine {
class TKavoBurner;
}
namespace appcore {
class Options;
struct BurnJobRequest;
}

namespace cli {

inline constexpr const char* kBurnUsage =
    "usage: zantic-cli burn [options] SOURCE...\n"
    "       zantic-cli burn-iso [options] IMAGE.iso\n"
    "\n"
    "  --device DEV              a `zantic-cli devices` address (1:0:0), a device node,\n"
    "                            or a virtual disc file; default: the first drive that writes\n"
    "  --speed S                 Max, a factor such as 16X or 4X, or KB/s; default Max\n"
    "  --test                    test (dummy) write: nothing is recorded\n"
    "  --finalize                close the disc: no session can be added later\n"
    "  --no-close-track          flush the data but close neither track nor session\n"
    "  --opc                     calibrate the laser power first\n"
    "  --streaming               Blu-ray with spare areas: full speed, no defect management\n"
    "  --no-underrun-protection  record without buffer under-run protection\n"
    "  --verify                  read the written sectors back and compare them\n"
    "  --import-session N        burn: carry over the files of session N (-1: the last)\n"
    "  --checksums               burn: add ~zantic.sha256, the SHA-256 of every file\n"
    "                            (sha256sum -c reads it; zantic-cli check compares it)\n"
    "  -V LABEL                  burn: volume label\n"
    "  --boot IMAGE              burn: make the disc bootable (El Torito)\n"
    "  --no-rock-ridge           burn: no Rock Ridge (whole names, modes, times, links)\n"
    "  --follow-links            burn: record what symbolic links point to, not the links\n"
    "\n"
    "Ctrl-C aborts. Exit codes: 0 done (and verified), 1 failed, 2 bad arguments,\n"
    "3 burnt, but sources named on stderr were left out (burn), 130 interrupted.\n";

inline constexpr const char* kEraseUsage =
    "usage: zantic-cli erase [--device DEV] [--speed S] --quick|--full\n"
    "\n"
    "Blanks a rewritable disc (CD-RW, DVD-RW, DVD+RW, DVD-RAM). A BD-RE is\n"
    "formatted with the default spare areas: --quick reformats, --full certifies\n"
    "every block. A blank the drive has started runs to its end.\n";

// A speed as the user gives it: "Max" or empty (0, the drive's fastest), a
// factor such as "16X" for the medium, or KB/s. False when it is none of them.
bool SpeedOf(const std::string& text, std::uint8_t medium, std::uint16_t& kbps);

struct TBurnSettings {
  std::uint8_t Medium = 0;  // DetectMediaType of the disc, for the summary
  // Asked while the burn runs; true cancels it (for callers that keep the
  // stop signals blocked).
  std::function<bool()> StopRequested;
};

// Runs `request` on the selected, ready drive, with the speed and flags
// already set, through the operation pipeline the windows run: its lines and
// progress on `err`, a summary on `out`. Exit codes as `burn`: 0 only when
// the write ended without error (and the verify found no difference), 3
// when sources were left out, 130 aborted.
int RunOperation(engine::TKavoBurner& burner, const appcore::Options& options, appcore::BurnJobRequest request,
                 const TBurnSettings& settings, std::FILE* out, std::FILE* err);

int RunBurn(engine::TKavoBurner& burner, const std::vector<std::string>& args, bool imageFile, std::FILE* out,
            std::FILE* err);
int RunErase(engine::TKavoBurner& burner, const std::vector<std::string>& args, std::FILE* out, std::FILE* err);

}  // namespace cli
