#pragma once
// zantic-cli vdisc: make, inspect, export and rig the disc files of the
// virtual recorder.
#include <cstdio>
#include <string>
#include <vector>

namespace cli {

inline constexpr const char* kVdiscUsage =
    "usage: zantic-cli vdisc create FILE --media MEDIUM [--blocks N] [--spare-areas]\n"
    "       zantic-cli vdisc press FILE --media {cd-rom,dvd-rom,bd-rom} IMAGE.iso\n"
    "       zantic-cli vdisc info FILE\n"
    "       zantic-cli vdisc export FILE OUT.iso [--session N] [--incomplete]\n"
    "       zantic-cli vdisc fault FILE [--busy N] [--not-ready N] [--never-ready]\n"
    "                 [--read-error LBA] [--write-error LBA] [--refuse OPCODE[:always]]\n"
    "                 [--crash-after-sectors K] [--throttle KBPS] [--clear]\n"
    "                 [--unreadable RANGE] [--flaky RANGE[:TRIES]] [--corrupt RANGE]\n"
    "\n"
    "MEDIUM is one of cd-r, cd-rw, dvd-r, dvd-rw, dvd-rw-ro, dvd+r, dvd+r-dl,\n"
    "dvd+rw, dvd-ram, bd-r, bd-r-dl, bd-re, bd-re-dl. --blocks makes a smaller\n"
    "disc (for quick rehearsals); --spare-areas formats a BD-R or BD-RE with\n"
    "the default spare areas for defect management.\n"
    "export writes the sectors from 0 to the end of the session (the last one\n"
    "by default), the form in which other programs read a multisession disc.\n"
    "Only sessions written whole are exported, the last of them by default;\n"
    "--incomplete exports one being burnt or cut short (its files may point\n"
    "past the image's end).\n"
    "fault rigs the recorder that loads FILE: BUSY or NOT READY for the next\n"
    "N commands, never ready, a medium error reading or writing a block, a\n"
    "command (hexadecimal opcode) refused once or always, the process ended\n"
    "after K more written sectors, the buffer drained at KBPS kB/s.\n"
    "Damaged media: RANGE is LBA, LBA+COUNT or FIRST-LAST; unreadable blocks\n"
    "never read, flaky ones fail TRIES reads each (default 3) and then read,\n"
    "corrupt ones read wrong data without an error. Options add up; --clear\n"
    "first removes every fault.\n"
    "The recorder uses the disc files named in ZANTIC_VDISC (\":\" between\n"
    "them), else a disc in the per-user data folder.\n";

int RunVdisc(const std::vector<std::string>& args, std::FILE* out, std::FILE* err);

}  // namespace cli
