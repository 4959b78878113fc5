// The fault sweep: one default installation on the host counts its platform
// calls (N); then every call k in 1..N is made to fail, once alone ("*#k")
// and once with every call after it ("*#k+"), each run in a fresh sandbox,
// and the machine each run leaves is checked against the nominal one:
//
//  - every run exits 0, with no sanitizer report and no host diagnostic;
//  - a run that rolls back with a single failure leaves neither deinst.lst
//    nor anything a "File:", "Dire:" or "HK..:" record of the nominal log
//    names, and nothing at all beyond the untouched machine except what the
//    log never records (InstallDir's folders, the uninstaller copies, the
//    key HKEY_CLASSES_ROOT\*\shell);
//  - a run that completes with a single failure is the nominal machine less
//    what the failed call takes away in one piece (one shortcut, the trust
//    database, the uninstall entry, the verb, the submenu), and its log is
//    the nominal log less the records of what is missing;
//  - a run where every call from k on fails cannot remove anything once its
//    removals fail too: it must still end with 0 and leave nothing that the
//    nominal run does not make.
//
// A third set fails call k together with the log stream's first write, its
// first seek or its first read ("*#k,StreamWrite#1" and so on), for every k
// whose single failure rolled back: the records that reached the disk must
// still be enough for a full rollback.
//
// Usage: fault_sweep SETUP EXAMPLE_DIR [WORK_DIR] [--jobs N]
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/bytes.h"
#include "tests/support/host_program.h"
#include "tests/support/transcript.h"

namespace fs = std::filesystem;

namespace {

std::string g_setup, g_dist, g_work;

std::string Lower(std::string s) {
  for (char &c : s) c = (char)tolower((unsigned char)c);
  return s;
}

// What a run left: files with their contents, folders and registry keys with
// their values, every path in lower case relative to the sandbox.
struct Machine {
  std::map<std::string, std::string> files;
  std::set<std::string> dirs;
  std::map<std::string, std::set<std::string>> keys;  // key -> value lines
};

Machine Snapshot(const std::string &root) {
  Machine m;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
       ++it) {
    std::string rel = Lower(fs::relative(it->path(), root).string());
    if (rel == "registry.reg") continue;
    if (it->is_directory()) {
      m.dirs.insert(rel);
      continue;
    }
    std::string data = ReadText(it->path().string());
    // A shell link carries its target's creation and access times (bytes
    // 28 to 51), which differ from run to run.
    if (rel.size() > 4 && rel.compare(rel.size() - 4, 4, ".lnk") == 0 && data.size() >= 52)
      std::fill(data.begin() + 28, data.begin() + 52, '\0');
    m.files[rel] = data;
  }
  std::string key;
  for (const std::string &line : SplitLines(ReadText(root + "/registry.reg"))) {
    if (line.size() > 2 && line[0] == '[' && line.back() == ']') {
      key = Lower(line.substr(1, line.size() - 2));
      m.keys[key];
    } else if (!key.empty() && !line.empty()) {
      m.keys[key].insert(line);
    }
  }
  return m;
}

// A path of the log ("c:\Program Files\x\") as the sandbox holds it.
std::string HostRel(const std::string &winpath) {
  std::string p = Lower(winpath);
  if (!p.empty() && p[0] == '\\') p = "c:" + p;  // the current drive is C:
  if (p.size() < 2 || p[1] != ':') return p;
  std::string out(1, p[0]);
  out += '/';
  for (size_t i = 3; i < p.size(); i++) out += p[i] == '\\' ? '/' : p[i];
  while (!out.empty() && out.back() == '/') out.pop_back();
  return out;
}

const char *const kRootNames[][2] = {
    {"HKCR:", "hkey_classes_root\\"},  {"HKCU:", "hkey_current_user\\"},
    {"HKLM:", "hkey_local_machine\\"}, {"HKUS:", "hkey_users\\"},
    {"HKCC:", "hkey_current_config\\"}, {"HKDD:", "hkey_dyn_data\\"}};

// The item a rollback record names: "f:" file, "d:" folder, "k:" key; "" for
// any other line.
std::string Item(const std::string &record) {
  std::string tag = record.substr(0, 5), rest = record.size() > 5 ? record.substr(5) : "";
  if (tag == "File:") return "f:" + HostRel(rest);
  if (tag == "Dire:") return "d:" + HostRel(rest);
  for (auto &r : kRootNames)
    if (tag == r[0]) return "k:" + Lower(r[1] + rest);
  return "";
}

bool Has(const Machine &m, const std::string &item) {
  std::string what = item.substr(2);
  switch (item[0]) {
    case 'f': return m.files.count(what) != 0;
    case 'd': return m.dirs.count(what) != 0;
    default: return m.keys.count(what) != 0;
  }
}

struct Run {
  int status = -1;
  std::vector<std::string> events;
  std::string err;
  std::string faultApi;  // the first call made to fail, "" when none was
  bool completed = false, rolledBack = false;
  Machine machine;
  std::string log;        // deinst.lst as left, when it is there
  bool logThere = false;
  std::string elsewhere;  // a deinst.lst outside the nominal InstallDir
};

std::string g_installRel;  // InstallDir in the sandbox, from the nominal log

Run Start(const std::string &root, const std::string &script, const std::string &faults) {
  fs::remove_all(root);
  fs::create_directories(root + "/c/SETUP");
  if (!CopyDistribution(g_dist, root + "/c/SETUP")) {
    fprintf(stderr, "fault_sweep: cannot lay the distribution folder in %s\n", root.c_str());
    exit(1);
  }
  HostCommand command;
  command.program = g_setup;
  command.root = root;
  command.cmdline = "C:\\SETUP\\setup.exe";
  command.script = script;
  command.faults = faults;
  command.quiet = true;
  HostRun host = RunHostProgram(command);
  Run run;
  run.status = host.status;
  run.events = host.events;
  run.err = host.stderrText;
  for (const std::string &e : run.events) {
    if (IsEvent(e, "exit")) run.faultApi = JsonField(e, "fault");
    if (IsEvent(e, "message")) {
      std::string caption = JsonField(e, "caption");
      if (caption == "Installation Complete") run.completed = true;
      if (caption == "Installation Error") run.rolledBack = true;
    }
  }
  run.machine = Snapshot(root);
  if (!g_installRel.empty()) {
    auto it = run.machine.files.find(g_installRel + "/deinst.lst");
    run.logThere = it != run.machine.files.end();
    if (run.logThere) run.log = it->second;
    // A rollback whose error box could not be shown, or a log that could not
    // be opened, leaves InstallDir without its log: held to the rollback's
    // promise all the same.
    if (!run.completed && !run.logThere && run.machine.dirs.count(g_installRel))
      run.rolledBack = true;
    for (auto &f : run.machine.files)
      if (f.first != g_installRel + "/deinst.lst" && f.first.size() >= 10 &&
          f.first.compare(f.first.size() - 10, 10, "deinst.lst") == 0)
        run.elsewhere = f.first;
  }
  return run;
}

struct Failure {
  std::string plan, script, what;
};

Machine g_pristine, g_nominal;
std::vector<std::string> g_nominalRecords;  // the nominal log's lines

// What the log never records, and a rollback therefore leaves: InstallDir's
// folders and those of the members, the uninstaller copies, the key
// HKEY_CLASSES_ROOT\*\shell (and its parent) when the verb had to make it.
bool Unlogged(const std::string &item) {
  std::string what = item.substr(2);
  if (item[0] == 'd')
    return g_installRel.compare(0, what.size(), what) == 0 || what == g_installRel + "/docs";
  if (item[0] == 'f')
    return what == "c/windows/uninstalltnm.exe" || what == g_installRel + "/uninstalltnm.exe";
  return what == "hkey_classes_root\\*" || what == "hkey_classes_root\\*\\shell";
}

std::vector<std::string> Items(const Machine &m) {
  std::vector<std::string> out;
  for (auto &f : m.files) out.push_back("f:" + f.first);
  for (auto &d : m.dirs) out.push_back("d:" + d);
  for (auto &k : m.keys) out.push_back("k:" + k.first);
  return out;
}

// The pieces a single failed call may take from a completed installation,
// each as the nominal items it covers (a piece is whole or partly missing).
std::vector<std::vector<std::string>> Pieces() {
  std::string lm = "k:hkey_local_machine\\software\\microsoft\\windows\\currentversion\\uninstall\\tnm verifier";
  std::string verb = "k:hkey_classes_root\\*\\shell\\checksig";
  std::string sub = "c/windows/start menu/programs/tnm verifier";
  return {
      {"f:" + g_installRel + "/trust.db"},
      {"f:c/windows/uninstalltnm.exe", lm, "f:" + sub + "/uninstall.lnk"},
      {lm},
      {verb, verb + "\\command", "k:hkey_classes_root\\*\\shell", "k:hkey_classes_root\\*"},
      {"f:c/windows/desktop/tolvamarked verifier.lnk"},
      {"f:c/windows/start menu/tolvamarked verifier.lnk"},
      {"d:" + sub, "f:" + sub + "/tolvamarked verifier.lnk", "f:" + sub + "/readme.lnk",
       "f:" + sub + "/help.lnk", "f:" + sub + "/uninstall.lnk"},
  };
}

// Differences of a completed run from the nominal machine that no single
// failure explains; "" when there are none.
std::string CheckCompleted(const Run &run) {
  const Machine &m = run.machine;
  std::string log = g_installRel + "/deinst.lst";
  // Nothing beyond the nominal result but the uninstaller's fallback copy.
  for (const std::string &item : Items(m))
    if (!Has(g_nominal, item) && item != "f:" + g_installRel + "/uninstalltnm.exe")
      return "left " + item + ", which the nominal run does not make";
  std::vector<std::string> missing;
  for (const std::string &item : Items(g_nominal))
    if (!Has(m, item)) missing.push_back(item);
  bool fallback = m.files.count(g_installRel + "/uninstalltnm.exe") != 0;
  if (!missing.empty() || fallback) {
    bool fits = false;
    for (auto &piece : Pieces()) {
      bool all = true;
      for (auto &item : missing)
        if (std::find(piece.begin(), piece.end(), item) == piece.end()) all = false;
      if (fallback && piece[0] != "f:c/windows/uninstalltnm.exe") all = false;
      if (all) fits = true;
    }
    if (!fits) {
      std::string list;
      for (auto &item : missing) list += " " + item;
      return "missing more than one failure explains:" + list + (fallback ? " (fallback copy)" : "");
    }
  }
  // Files present are the nominal ones, but for the fallback's links and
  // the log itself.
  for (auto &f : m.files) {
    auto it = g_nominal.files.find(f.first);
    if (it == g_nominal.files.end() || f.first == log) continue;
    if (fallback && f.first.find("uninstall.lnk") != std::string::npos) continue;
    if (it->second != f.second) return "content of " + f.first + " differs from the nominal run";
  }
  for (auto &k : m.keys) {
    auto it = g_nominal.keys.find(k.first);
    if (it == g_nominal.keys.end()) continue;
    for (const std::string &v : k.second)
      if (!it->second.count(v) && !(fallback && v.rfind("\"UninstallString\"", 0) == 0))
        return "value " + v + " of " + k.first + " is not the nominal one";
  }
  // The log: the nominal records, less those of missing things; a record the
  // stream failed to write is simply missing (and what it names stays).
  if (!run.logThere) return run.faultApi == "StreamWrite" ? "" : "deinst.lst is missing";
  std::vector<std::string> lines = SplitLines(run.log);
  size_t j = 0;
  for (const std::string &line : lines) {
    while (j < g_nominalRecords.size() && g_nominalRecords[j] != line) {
      std::string item = Item(g_nominalRecords[j]);
      if (!item.empty() && Has(m, item) && run.faultApi != "StreamWrite")
        return "log lacks the record " + g_nominalRecords[j] + " of what is there";
      j++;
    }
    if (j == g_nominalRecords.size()) return "log has the record " + line + " out of place";
    j++;
  }
  if (j < g_nominalRecords.size() && run.faultApi != "StreamWrite")
    return "log ends early, before " + g_nominalRecords[j];
  return "";
}

// After a rollback with every removal possible: no log, nothing it names,
// nothing beyond the untouched machine but what is never logged.
std::string CheckRolledBack(const Run &run) {
  if (run.logThere) return "deinst.lst is still there";
  for (const std::string &record : g_nominalRecords) {
    std::string item = Item(record);
    if (!item.empty() && Has(run.machine, item)) return "left " + item + " (logged)";
  }
  for (const std::string &item : Items(run.machine))
    if (!Has(g_pristine, item) && !Unlogged(item)) return "left " + item;
  return "";
}

// A run whose wizard lost the default folder (a failed call on the folder
// page leaves the edit box empty, and the agent accepts what it shows) installs
// elsewhere: its own log must then name what it made, and end with the
// completion's records.
std::string CheckOwnLog(const Run &run) {
  std::vector<std::string> lines = SplitLines(run.machine.files.at(run.elsewhere));
  if (lines.size() != g_nominalRecords.size())
    return run.elsewhere + " has " + std::to_string(lines.size()) + " lines, the nominal log " +
           std::to_string(g_nominalRecords.size());
  for (size_t i = 0; i < lines.size(); i++) {
    std::string item = Item(lines[i]);
    if (lines[i].compare(0, 5, g_nominalRecords[i], 0, 5) != 0)
      return run.elsewhere + ": record " + lines[i] + " where the nominal log has " +
             g_nominalRecords[i];
    if (!item.empty() && !Has(run.machine, item)) return run.elsewhere + " names the missing " + item;
  }
  return "";
}

// Every run: no crash, exit 0, no sanitizer or host diagnostic.
std::string CheckCommon(const Run &run) {
  if (run.status != 0) return "exit status " + std::to_string(run.status);
  if (!run.err.empty()) return "stderr: " + run.err.substr(0, 300);
  for (const std::string &e : run.events)
    if (IsEvent(e, "error")) return "host error: " + e;
  return "";
}

// With every call from k on failing: nothing that the nominal run does not
// make, whatever the outcome.
std::string CheckBounded(const Run &run) {
  for (const std::string &item : Items(run.machine))
    if (!Has(g_nominal, item) && !Has(g_pristine, item) && !Unlogged(item))
      return "left " + item + ", which the nominal run does not make";
  return "";
}

struct Tally {
  int runs = 0, completed = 0, rolledBack = 0, stopped = 0;  // single failures
  int onward = 0, onwardCompleted = 0;                         // "*#k+"
  std::map<std::string, int> perApi;  // single failures by the call that failed
  std::map<std::string, int> rollbacksPerApi;
  std::vector<Failure> failures;
  std::vector<unsigned long> rollbackKs;
};

void Sweep(unsigned long from, unsigned long to, unsigned long step, const std::string &root,
           bool withNo, Tally &t, int mode) {
  for (unsigned long k = from; k <= to; k += step) {
    std::vector<std::pair<std::string, std::string>> plans;  // faults, script
    std::string single = "*#" + std::to_string(k);
    if (mode == 0) {
      plans.push_back({single, "auto yes\n"});
      plans.push_back({single + "+", "auto yes\n"});
      if (withNo && k % 7 == 0) plans.push_back({single, "auto no\n"});
    } else {
      plans.push_back({single + ",StreamWrite#1", "auto yes\n"});
      plans.push_back({single + ",StreamSeek#1", "auto yes\n"});
      plans.push_back({single + ",StreamRead#1", "auto yes\n"});
    }
    for (auto &plan : plans) {
      Run run = Start(root, plan.second, plan.first);
      t.runs++;
      bool onward = plan.first.back() == '+';
      if (onward) t.onward++;
      if (onward && run.completed) t.onwardCompleted++;
      if (!onward && run.completed) t.completed++;
      else if (!onward && run.rolledBack) t.rolledBack++;
      else if (!onward) t.stopped++;
      if (!onward && plan.second == "auto yes\n" && mode == 0) {
        t.perApi[run.faultApi.empty() ? "(none)" : run.faultApi]++;
        if (run.rolledBack) {
          t.rollbacksPerApi[run.faultApi]++;
          t.rollbackKs.push_back(k);
        }
      }
      std::string why = CheckCommon(run);
      if (why.empty() && !run.elsewhere.empty()) {
        if (!onward && run.completed) why = CheckOwnLog(run);
      } else if (why.empty() && onward) why = CheckBounded(run);
      else if (why.empty() && run.rolledBack) why = CheckRolledBack(run);
      else if (why.empty() && run.completed && plan.second == "auto yes\n") why = CheckCompleted(run);
      else if (why.empty() && !run.completed) why = CheckBounded(run);
      if (!why.empty()) {
        t.failures.push_back({plan.first, plan.second, why + " [failed call: " + run.faultApi + "]"});
      }
    }
  }
}

}  // namespace

int main(int argc, char **argv) {
  int jobs = 2;
  std::vector<std::string> args;
  for (int i = 1; i < argc; i++) {
    if (!strcmp(argv[i], "--jobs") && i + 1 < argc) jobs = std::max(1, atoi(argv[++i]));
    else args.push_back(argv[i]);
  }
  if (args.size() < 2) {
    fprintf(stderr, "usage: fault_sweep SETUP EXAMPLE_DIR [WORK_DIR] [--jobs N]\n");
    return 2;
  }
  g_setup = fs::absolute(args[0]).string();
  g_dist = fs::absolute(args[1]).string();
  g_work = args.size() > 2 ? args[2]
                           : (fs::is_directory("/dev/shm") ? "/dev/shm" : "/tmp") +
                                 std::string("/fault-sweep-") + std::to_string(getpid());
  fs::create_directories(g_work);

  Run cancel = Start(g_work + "/pristine", "close\n", "");
  g_pristine = cancel.machine;
  Run nominal = Start(g_work + "/nominal", "auto yes\n", "");
  unsigned long n = 0;
  for (const std::string &e : nominal.events)
    if (IsEvent(e, "exit")) n = (unsigned long)JsonNumber(e, "calls");
  if (nominal.status != 0 || !nominal.completed || n == 0) {
    fprintf(stderr, "fault_sweep: the nominal installation did not complete (status %d)\n%s",
            nominal.status, nominal.err.c_str());
    return 1;
  }
  g_nominal = nominal.machine;
  for (auto &f : g_nominal.files) {
    if (f.first.size() > 11 && f.first.compare(f.first.size() - 11, 11, "/deinst.lst") == 0) {
      g_installRel = f.first.substr(0, f.first.size() - 11);
      g_nominalRecords = SplitLines(f.second);
    }
  }
  if (g_installRel.empty()) {
    fprintf(stderr, "fault_sweep: the nominal run left no deinst.lst\n");
    return 1;
  }

  // Workers take every jobs-th k and report through a file each.
  std::vector<Tally> tallies(jobs);
  auto runWorkers = [&](int mode, const std::vector<unsigned long> &ks) {
    std::vector<pid_t> pids;
    for (int w = 0; w < jobs; w++) {
      pid_t pid = fork();
      if (pid == 0) {
        Tally t;
        std::string root = g_work + "/w" + std::to_string(w);
        if (mode == 0) {
          Sweep(1 + w, n, jobs, root, true, t, 0);
        } else {
          for (size_t i = w; i < ks.size(); i += jobs) Sweep(ks[i], ks[i], 1, root, false, t, 1);
        }
        std::ofstream out(g_work + "/w" + std::to_string(w) + ".tally");
        out << t.runs << ' ' << t.completed << ' ' << t.rolledBack << ' ' << t.stopped << ' '
            << t.onward << ' ' << t.onwardCompleted << '\n';
        for (auto &p : t.perApi) out << "A\t" << p.first << '\t' << p.second << '\n';
        for (auto &p : t.rollbacksPerApi) out << "R\t" << p.first << '\t' << p.second << '\n';
        for (auto k : t.rollbackKs) out << "K\t" << k << '\n';
        for (auto &f : t.failures)
          out << "F\t" << f.plan << '\t' << (f.script == "auto no\n" ? "auto no" : "auto yes")
              << '\t' << f.what << '\n';
        out.close();
        _exit(0);
      }
      pids.push_back(pid);
    }
    Tally sum;
    for (int w = 0; w < jobs; w++) {
      int st;
      waitpid(pids[w], &st, 0);
      std::ifstream in(g_work + "/w" + std::to_string(w) + ".tally");
      Tally t;
      in >> t.runs >> t.completed >> t.rolledBack >> t.stopped >> t.onward >> t.onwardCompleted;
      sum.runs += t.runs;
      sum.onward += t.onward;
      sum.onwardCompleted += t.onwardCompleted;
      sum.completed += t.completed;
      sum.rolledBack += t.rolledBack;
      sum.stopped += t.stopped;
      std::string line;
      std::getline(in, line);
      while (std::getline(in, line)) {
        std::vector<std::string> f;
        std::stringstream ss(line);
        for (std::string part; std::getline(ss, part, '\t');) f.push_back(part);
        if (f[0] == "A") sum.perApi[f[1]] += atoi(f[2].c_str());
        if (f[0] == "R") sum.rollbacksPerApi[f[1]] += atoi(f[2].c_str());
        if (f[0] == "K") sum.rollbackKs.push_back(strtoul(f[1].c_str(), nullptr, 10));
        if (f[0] == "F") sum.failures.push_back({f[1], f[2], f[3]});
      }
      if (!WIFEXITED(st) || WEXITSTATUS(st) != 0) sum.failures.push_back({"worker", "", "crashed"});
    }
    return sum;
  };

  Tally main = runWorkers(0, {});
  std::sort(main.rollbackKs.begin(), main.rollbackKs.end());
  Tally pair = runWorkers(1, main.rollbackKs);

  printf("fault sweep: N = %lu platform calls in the nominal installation\n", n);
  printf("%d runs in all (%d with the log's seek, read or write failing too)\n",
         main.runs + pair.runs, pair.runs);
  printf("one call failing (\"*#k\", auto yes and every 7th k auto no): %d runs, %d completed, %d "
         "rolled back, %d ended before installing\n",
         main.runs - main.onward, main.completed, main.rolledBack, main.stopped);
  printf("every call failing from k on (\"*#k+\"): %d runs, %d completed, %d ended otherwise\n",
         main.onward, main.onwardCompleted, main.onward - main.onwardCompleted);
  printf("with the log's first write, seek or read failing too: %d runs, %d completed, %d rolled back\n",
         pair.runs, pair.completed, pair.rolledBack);
  printf("single failures (auto yes) by the call that failed (runs / rolled back):\n");
  for (auto &p : main.perApi)
    printf("  %-28s %5d %5d\n", p.first.c_str(), p.second,
           main.rollbacksPerApi.count(p.first) ? main.rollbacksPerApi[p.first] : 0);
  std::vector<Failure> all = main.failures;
  all.insert(all.end(), pair.failures.begin(), pair.failures.end());
  for (auto &f : all) printf("FAIL WINHOST_FAULTS='%s' (%s): %s\n", f.plan.c_str(), f.script.c_str(), f.what.c_str());
  printf("%zu failures\n", all.size());
  fs::remove_all(g_work);
  return all.empty() ? 0 : 1;
}
