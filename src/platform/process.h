// Starting the final setup the way the shell's "open" starts a program, and waiting for it.
#pragma once

#include "platform/cstring.h"

// A started process; 0 stands for none.
using ProcessId = int;

// Starts the regular file at path directly, with no arguments, workingFolder as its current
// folder and this process's environment. The owner's execute bit is added when it is missing;
// a file the system cannot execute by itself (a script without a "#!" line) is run by /bin/sh.
// Returns the started process, or 0 when none was started: no such file, not a regular file, a
// working folder that cannot be entered, or an exec that failed.
ProcessId StartProgram(const CString& path, const CString& workingFolder);

// Waits for the process to end in slices of TimingSettings().processWaitSlice, returning as
// soon as it has ended (not at the end of a slice), and then reaps it. There is no overall
// limit. False when the wait itself failed (the process is not a child of this one).
bool WaitForProcessEnd(ProcessId process);
