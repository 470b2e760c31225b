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

// The lowest nice value, so the highest priority, this process may give a
// thread. On Linux without CAP_SYS_NICE it comes from RLIMIT_NICE, and is 20
// by default: a person's threads can lower their priority but never raise it
// again. Windows lets a process raise its threads within its class: -20.
int ThreadNiceFloor();
// The highest priority this process may give the calling thread within the
// ordinary scheduling class: THREAD_PRIORITY_TIME_CRITICAL on Windows, the
// lowest nice value allowed on Linux. Nothing where none is above normal.
void SetCurrentThreadTimeCritical();

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
