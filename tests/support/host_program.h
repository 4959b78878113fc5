// Starting a program of the host build as a user starts it: in a sandbox of
// its own, with a command line, the agent's script, a fault plan and a
// transcript; then what it left, read back.
#ifndef TESTS_SUPPORT_HOST_PROGRAM_H
#define TESTS_SUPPORT_HOST_PROGRAM_H

#include <string>
#include <vector>

struct HostCommand {
  std::string program;            // the host executable
  std::vector<std::string> args;  // its arguments after its own name
  // The sandbox, WINHOST_ROOT. The caller's WINHOST_ variables are never
  // passed on. Empty: no host-layer program; the environment as it is.
  std::string root;
  std::string cmdline;  // WINHOST_CMDLINE, when not empty
  std::string script;   // the agent's steps (WINHOST_SCRIPT), when not empty
  std::string faults;   // the fault plan (WINHOST_FAULTS), when not empty
  // Where the script, the transcript and the output are kept, beside the
  // sandbox: files + ".script", ".transcript", ".stdout", ".stderr" (root
  // when empty).
  std::string files;
  bool transcript = true;      // WINHOST_TRANSCRIPT, read back into the run's events
  bool captureStderr = true;   // stderr into its file, read back; else the caller's
  bool captureStdout = false;  // stdout into its file, read back
  bool quiet = false;          // else stdout to /dev/null; else the caller's
};

struct HostRun {
  int status = -1;  // the exit status, 128 + the signal, or -1 when it did not start
  std::vector<std::string> events;  // the transcript, one JSON object a line
  std::string stdoutText, stderrText;

  // The transcript lines of one kind of event.
  std::vector<std::string> Events(const char *kind) const;
  // "caption: text" of every message box, in order.
  std::vector<std::string> Messages() const;
};

// Runs the program to its end; stdin is /dev/null.
HostRun RunHostProgram(const HostCommand &command);

// Copies what the distribution folder holds beside the setup (data1.qv,
// Trust.db, UninstallTNM.exe) from dist into folder (host paths), replacing
// what is there. False when a copy failed.
bool CopyDistribution(const std::string &dist, const std::string &folder);

#endif
