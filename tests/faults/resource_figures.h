// What a process holds: kernel handles, GDI and USER objects, windows and memory. The leak
// tests take these before and after many rounds of the same work and print both.
#pragma once

#include <windows.h>

#include <string>

namespace faults_testing {

struct ResourceFigures {
    // From GetProcessHandleCount, or, where the system answers 0 (Wine), the number of handle
    // values that can be duplicated out of the process.
    DWORD handles = 0;
    bool handlesProbed = false;
    DWORD gdiObjects = 0;
    DWORD userObjects = 0;
    // Windows of the process, top-level and child: a USER count that every system can give.
    DWORD windows = 0;
    // Committed private memory, summed over the process's address space.
    SIZE_T privateBytes = 0;
    SIZE_T workingSet = 0;

    std::string Describe() const;
};

// The figures of a process (the calling one by default). The handle used to ask is not counted.
// Another process must be open with PROCESS_QUERY_INFORMATION, PROCESS_VM_READ and
// PROCESS_DUP_HANDLE.
ResourceFigures TakeFigures(HANDLE process = GetCurrentProcess());

// Whether this system reports GDI and USER object counts at all: some give 0 whatever the
// process holds. Probed once by creating objects and watching the counts move.
bool GdiCountsMove();
bool UserCountsMove();

// Prints "<what>: start <figures>" style lines for a report, to stdout.
void PrintFigures(const char* what, const char* when, const ResourceFigures& figures);

}  // namespace faults_testing
