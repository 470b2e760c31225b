#pragma once
// Thread priorities as the kernel has them, and a process that may not
// raise them: a person's, not root's.
#include <vector>

namespace testsupport {

// The nice value of every thread of this process.
std::vector<int> ThreadNices();
int CurrentThreadNice();
// Sets the calling thread's nice value; the kernel may refuse a raise.
void SetCurrentThreadNice(int nice);
// Leaves this process as a person's: RLIMIT_NICE 0 and, where it runs as
// root, the user nobody without capabilities. For a child process only.
void DropPriorityPrivileges();

}  // namespace testsupport
