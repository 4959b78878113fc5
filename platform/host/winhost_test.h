// The host layer's own controls for tests in the same process: lay the
// sandbox anew, plan faults, script the agent, and look at what is open.
#ifndef PLATFORM_HOST_WINHOST_TEST_H
#define PLATFORM_HOST_WINHOST_TEST_H

#include <stdio.h>

#include <string>
#include <vector>

namespace winhost {

// Empties the sandbox folder root (created when missing), drops every open
// handle, window, key and COM object, the fault plan, the agent script and the
// counters, and starts again as a fresh process would: the registry file is
// read or the machine seeded, the current directory is C:\ and the command
// line C:\SETUP\setup.exe. The environment is not read.
void Reset(const char *root);

// Fault plan in the WINHOST_FAULTS syntax ("CopyFileA#2,RegCreateKeyA#*,*#57+").
void SetFaults(const char *plan);
// Agent script in the WINHOST_SCRIPT syntax, as text; empty means interactive.
void SetScript(const char *text);
void SetCommandLine(const char *cmdline);
// Transcript file to append to (empty: none). The in-memory copy is kept anyway.
void SetTranscript(const char *path);
const std::vector<std::string> &TranscriptLines();

unsigned long TotalCalls();
unsigned long CallCount(const char *api);
// Every API name counted so far with its count, sorted by name.
std::vector<std::pair<std::string, unsigned long> > CallCounts();

int OpenFileHandles();   // file handles not yet closed
int OpenFindHandles();   // FindFirstFileA searches not yet closed
int OpenKeyHandles();    // registry handles not yet closed (roots excluded)
// Drops the registry in memory and every key handle, then reads registry.reg
// again (or seeds the machine when it is gone), as a new process would.
void ReloadRegistry();
int LiveWindows();       // windows not yet destroyed
int LiveComObjects();    // COM objects not yet released
int LiveHeapBlocks();    // HeapAlloc blocks not yet freed
int ComInitDepth();      // CoInitialize calls not yet matched by CoUninitialize

// The interactive agent's terminal (default stdin and stdout; Reset restores
// them). Colours are used only when out is a terminal.
void SetTerminal(FILE *in, FILE *out);

// The sandbox path that a Windows path maps to ("" when it cannot be mapped).
std::string HostPath(const char *winpath);

}  // namespace winhost

#endif
