// Starting the built setup in a sandbox of its own and reading back its run.
#include "tests/host/setup_run.h"

#include <gtest/gtest.h>


std::vector<std::string> SetupRun::Events(const char *kind) const {
  std::vector<std::string> out;
  std::string tag = std::string("{\"event\":\"") + kind + "\"";
  for (const std::string &e : events)
    if (e.compare(0, tag.size(), tag) == 0) out.push_back(e);
  return out;
}

std::vector<std::string> SetupRun::Messages() const {
  std::vector<std::string> out;
  for (const std::string &e : Events("message"))
    out.push_back(JsonField(e, "caption") + ": " + JsonField(e, "text"));
  return out;
}

SetupSandbox::SetupSandbox(const char *name, const char *source) : sourceDir(source) {
  root = SandboxDir(name);
  winhost::Reset(root.c_str());  // a seeded machine, registry.reg written
  CreateDirectoryA(sourceDir.c_str(), NULL);
  for (const char *file : {"data1.qv", "Trust.db", "UninstallTNM.exe"}) {
    std::filesystem::copy_file(std::string(EXAMPLE_DIST) + "/" + file,
                               HostPath(sourceDir + "\\" + file),
                               std::filesystem::copy_options::overwrite_existing);
  }
}

// Starts program in the sandbox at root with the agent's script, the faults
// and the command line, as a user starts it; files beside the sandbox, named
// root + suffix + ".script" and so on, hold the script, transcript and stderr.
static SetupRun Spawn(const char *program, const std::string &root, const std::string &suffix,
                      const std::string &script, const std::string &faults, const std::string &cmdline) {
  std::string scriptPath = root + suffix + ".script", transcript = root + suffix + ".transcript",
              errPath = root + suffix + ".stderr";
  std::ofstream(scriptPath) << script;
  std::filesystem::remove(transcript);
  std::map<std::string, std::string> env;
  for (char **e = environ; *e; e++) {
    std::string s = *e;
    size_t eq = s.find('=');
    if (eq != std::string::npos && s.compare(0, 8, "WINHOST_") != 0) env[s.substr(0, eq)] = s.substr(eq + 1);
  }
  env["WINHOST_ROOT"] = root;
  env["WINHOST_SCRIPT"] = scriptPath;
  env["WINHOST_TRANSCRIPT"] = transcript;
  env["WINHOST_CMDLINE"] = cmdline;
  if (!faults.empty()) env["WINHOST_FAULTS"] = faults;
  std::vector<std::string> strings;
  for (auto &kv : env) strings.push_back(kv.first + "=" + kv.second);
  std::vector<char *> envp;
  for (auto &s : strings) envp.push_back(&s[0]);
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  char *argv[] = {const_cast<char *>(program), nullptr};
  pid_t pid;
  SetupRun run;
  if (posix_spawn(&pid, program, &actions, nullptr, argv, envp.data()) == 0) {
    int status = 0;
    waitpid(pid, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  posix_spawn_file_actions_destroy(&actions);
  std::ifstream in(transcript);
  for (std::string line; std::getline(in, line);) run.events.push_back(line);
  std::ifstream err(errPath);
  std::stringstream ss;
  ss << err.rdbuf();
  run.stderrText = ss.str();
  winhost::ReloadRegistry();  // see what the program left in registry.reg
  return run;
}

SetupRun SetupSandbox::Run(const std::string &script, const std::string &faults,
                           const std::string &cmdline) {
  return Spawn(SETUP_EXE, root, "", script, faults, cmdline.empty() ? sourceDir + "\\setup.exe" : cmdline);
}

SetupRun SetupSandbox::RunUninstaller(const std::string &cmdline, const std::string &script,
                                      const std::string &faults) {
  const std::string program = std::string(EXAMPLE_DIST) + "/../bin/UninstallTNM";
  return Spawn(program.c_str(), root, ".u", script, faults, cmdline);
}

bool SetupSandbox::Exists(const std::string &winpath) const {
  return std::filesystem::exists(HostPath(winpath));
}

std::string SetupSandbox::Read(const std::string &winpath) const {
  std::ifstream in(HostPath(winpath), std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::string SetupSandbox::RegValue(HKEY rootKey, const char *path, const char *name, bool *ok) {
  HKEY key;
  if (ok) *ok = false;
  if (RegOpenKeyA(rootKey, path, &key) != ERROR_SUCCESS) return "";
  char data[2048];
  DWORD size = sizeof data, type = 0;
  LONG r = RegQueryValueExA(key, name, NULL, &type, (BYTE *)data, &size);
  RegCloseKey(key);
  if (r != ERROR_SUCCESS || type != REG_SZ) return "";
  if (ok) *ok = true;
  return std::string(data, size && data[size - 1] == 0 ? size - 1 : size);
}

bool SetupSandbox::KeyExists(HKEY rootKey, const char *path) {
  HKEY key;
  if (RegOpenKeyA(rootKey, path, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}
