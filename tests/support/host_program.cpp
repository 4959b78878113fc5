// Starting a host-build program in its sandbox and reading back its run.
#include "tests/support/host_program.h"

#include <fcntl.h>
#include <spawn.h>
#include <string.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>

#include "tests/support/bytes.h"
#include "tests/support/transcript.h"

extern char **environ;

std::vector<std::string> HostRun::Events(const char *kind) const { return EventsOf(events, kind); }

std::vector<std::string> HostRun::Messages() const { return MessagesOf(events); }

HostRun RunHostProgram(const HostCommand &c) {
  const std::string files = c.files.empty() ? c.root : c.files;
  const std::string scriptPath = files + ".script", transcript = files + ".transcript",
                    outPath = files + ".stdout", errPath = files + ".stderr";
  std::vector<std::string> env;
  for (char **e = environ; *e; e++)
    if (c.root.empty() || strncmp(*e, "WINHOST_", 8) != 0) env.push_back(*e);
  if (!c.root.empty()) {
    env.push_back("WINHOST_ROOT=" + c.root);
    if (!c.cmdline.empty()) env.push_back("WINHOST_CMDLINE=" + c.cmdline);
    if (!c.script.empty()) {
      std::ofstream(scriptPath) << c.script;
      env.push_back("WINHOST_SCRIPT=" + scriptPath);
    }
    if (!c.faults.empty()) env.push_back("WINHOST_FAULTS=" + c.faults);
    if (c.transcript) {
      std::filesystem::remove(transcript);
      env.push_back("WINHOST_TRANSCRIPT=" + transcript);
    }
  }
  std::vector<char *> envp, argv;
  for (std::string &s : env) envp.push_back(&s[0]);
  envp.push_back(nullptr);
  std::vector<std::string> args = c.args;
  argv.push_back(const_cast<char *>(c.program.c_str()));
  for (std::string &a : args) argv.push_back(&a[0]);
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  if (c.captureStdout)
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  else if (c.quiet)
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  if (c.captureStderr)
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  HostRun run;
  pid_t pid;
  if (posix_spawn(&pid, c.program.c_str(), &actions, nullptr, argv.data(), envp.data()) == 0) {
    int status = 0;
    waitpid(pid, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  posix_spawn_file_actions_destroy(&actions);
  if (!c.root.empty() && c.transcript) run.events = SplitLines(ReadText(transcript));
  if (c.captureStdout) run.stdoutText = ReadText(outPath);
  if (c.captureStderr) run.stderrText = ReadText(errPath);
  return run;
}

bool CopyDistribution(const std::string &dist, const std::string &folder) {
  std::error_code ec;
  for (const char *file : {"data1.qv", "Trust.db", "UninstallTNM.exe"}) {
    std::filesystem::copy_file(dist + "/" + file, folder + "/" + file,
                               std::filesystem::copy_options::overwrite_existing, ec);
    if (ec) return false;
  }
  return true;
}
