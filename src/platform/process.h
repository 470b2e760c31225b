#pragma once
// The running process: its arguments, environment, console, thread
// priorities and the stop requests of the terminal.
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// The arguments after the program name, in UTF-8. Windows hands main() the
// arguments in the ANSI code page, so there they come from the wide command
// line instead.
std::vector<std::string> CommandLineArguments(int argc, char** argv);

// Makes the console show UTF-8 output as such (Windows); nothing on Linux.
void PrepareConsole();
bool IsTerminal(std::FILE* stream);

// Environment variables in UTF-8; nullopt when unset.
std::optional<std::string> GetEnvironment(const std::string& name);
void SetEnvironment(const std::string& name, const std::string& value);
void UnsetEnvironment(const std::string& name);
// Between the entries of a path list in the environment: ":" on Linux, ";"
// on Windows, where paths hold ":" themselves.
extern const char kPathListSeparator;

// Scheduling priority of the calling thread as a nice value (0 normal, up
// to 19 lowest); Windows maps ranges of it onto its thread priorities. A
// refused raise leaves the thread lower.
void SetCurrentThreadNice(int nice);

// Stop requests: Ctrl-C and SIGTERM on Linux; Ctrl-C, Ctrl-Break and
// closing the console on Windows. `onStop` runs for each request; it must
// only set an atomic flag (on Linux it runs inside a signal handler).
void CatchStopRequests(void (*onStop)());
// From now on requests are held instead of delivered (on Linux blocked, in
// every thread started later) and read with the two calls below.
void HoldStopRequests();
bool StopRequestPending();
// Waits up to `seconds` for a held request and takes it; true when one came.
bool WaitForStopRequest(int seconds);

}  // namespace platform
