// Hostile input refused, end to end. Crafted archives: the setup leaves by its
// rollback, writes nothing outside the install folder and adds no record to
// its log but those of the members before the refused one. Programs named
// explorer.exe, planted where Windows would look for the Explorer that the
// setup starts: none of them is started. Crafted install logs: the
// uninstaller leaves every record that a genuine installation does not write
// alone, keeps the log and names what it left. And the one table of member
// names that both the extractor and the packer (tests/scripts/test_dist.sh)
// are held to.
#include <gtest/gtest.h>
#include <string.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>

#include "archive/extractor.h"
#include "archive/inflate.h"
#include "tests/support/inflate_hooks.h"
#include "archive/member_name.h"
#include "installlog/install_log.h"
#include "tests/product/archive_fixture.h"
#include "tests/product/setup_run.h"
#include "tests/support/zip_builder.h"

namespace {

namespace fs = std::filesystem;

const std::string kDir = "c:\\Program Files\\Kelvorind\\TNM Verifier\\";
const std::string kLog = kDir + "deinst.lst";
const std::string kSubmenu = "C:\\WINDOWS\\Start Menu\\Programs\\TNM Verifier\\";
const std::string kWalk = "page 101\nclick 1\npage 103\nclick 1\npage 104\nclick 1\n";
const std::string kUninstallCaption = "TolvaMarked Verifier - Uninstall";

// ---- The sandbox, seen from the test ----

// Makes the folders of a Windows path, one step at a time.
void MakeFolders(const std::string &winpath) {
  for (size_t p = winpath.find('\\', 3); p != std::string::npos; p = winpath.find('\\', p + 1))
    CreateDirectoryA(winpath.substr(0, p).c_str(), NULL);
}

// Writes a file through the platform, making its folders first.
void PutFile(const std::string &winpath, const std::string &text) {
  MakeFolders(winpath);
  HANDLE h = CreateFileA(winpath.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  ASSERT_NE(INVALID_HANDLE_VALUE, h) << winpath;
  DWORD written = 0;
  WriteFile(h, text.data(), (DWORD)text.size(), &written, NULL);
  CloseHandle(h);
}

void MakeKey(HKEY root, const std::string &path) {
  HKEY key;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(root, path.c_str(), &key)) << path;
  RegCloseKey(key);
}

bool KeyExists(HKEY root, const std::string &path) {
  HKEY key;
  if (RegOpenKeyA(root, path.c_str(), &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

std::string ReadAll(const std::string &hostpath) {
  std::ifstream in(hostpath, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// Every file (with its bytes) and folder below a sandbox, by path relative to
// it, and every registry section with its values.
struct MachineState {
  std::map<std::string, std::string> files;
  std::set<std::string> folders;
  std::map<std::string, std::string> keys;
};

MachineState Snapshot(const std::string &root) {
  MachineState m;
  for (auto &e : fs::recursive_directory_iterator(root)) {
    std::string rel = e.path().string().substr(root.size());
    if (rel == "/registry.reg") continue;
    if (e.is_directory()) m.folders.insert(rel);
    else m.files[rel] = ReadAll(e.path().string());
  }
  std::ifstream reg(root + "/registry.reg");
  std::string line, section;
  while (std::getline(reg, line)) {
    if (!line.empty() && line[0] == '[') m.keys[section = line];
    else if (!section.empty() && !line.empty()) m.keys[section] += line + "\n";
  }
  return m;
}

// The paths whose files differ between two snapshots' files (added, gone or
// changed), for messages that do not print the files' bytes.
std::vector<std::string> Differing(const std::map<std::string, std::string> &a,
                                   const std::map<std::string, std::string> &b) {
  std::vector<std::string> out;
  for (const auto &kv : a)
    if (!b.count(kv.first) || b.at(kv.first) != kv.second) out.push_back(kv.first);
  for (const auto &kv : b)
    if (!a.count(kv.first)) out.push_back(kv.first);
  return out;
}

// The folders of a snapshot that lie outside the install folder.
std::set<std::string> FoldersOutside(const MachineState &m) {
  const std::string inside = "/c/Program Files/Kelvorind/TNM Verifier/";
  std::set<std::string> out;
  for (const std::string &f : m.folders)
    if (f.compare(0, inside.size(), inside) != 0) out.insert(f);
  return out;
}

// A name as a message may show it: control characters as \xHH.
std::string Shown(const std::string &name) {
  std::string out;
  for (unsigned char c : name) {
    char hex[8];
    snprintf(hex, sizeof hex, "\\x%02x", c);
    out += c < 0x20 ? std::string(hex) : std::string(1, (char)c);
  }
  return out;
}

// ---- The shared table of member names ----

struct NameRow {
  std::string verdict, name;
  int line;
};

// tests/data/member_names.txt, its escapes decoded.
std::vector<NameRow> NameTable() {
  std::ifstream in(std::string(SOURCE_DIR) + "/tests/data/member_names.txt");
  std::vector<NameRow> rows;
  int number = 0;
  for (std::string line; std::getline(in, line);) {
    number++;
    if (line.empty() || line[0] == '#') continue;
    size_t blank = line.find(' ');
    size_t start = blank == std::string::npos ? blank : line.find_first_not_of(' ', blank);
    if (start == std::string::npos) {
      ADD_FAILURE() << "member_names.txt line " << number << " holds no name";
      continue;
    }
    NameRow row{line.substr(0, blank), "", number};
    for (size_t i = start; i < line.size(); i++) {
      if (line.compare(i, 2, "\\x") == 0 && i + 3 < line.size()) {
        row.name += (char)std::stoi(line.substr(i + 2, 2), nullptr, 16);
        i += 3;
      } else if (line.compare(i, 2, "\\\\") == 0) {
        row.name += '\\';
        i++;
      } else {
        row.name += line[i];
      }
    }
    rows.push_back(row);
  }
  return rows;
}

// The extractor's rule over the table that the packer's test reads too: a
// name the table calls ok, or one that only the packer refuses, is one the
// extractor unpacks; one that both refuse it never does.
TEST(MemberNames, TheExtractorAgreesWithTheSharedTable) {
  std::map<std::string, int> verdicts;
  for (const NameRow &row : NameTable()) {
    SCOPED_TRACE("member_names.txt line " + std::to_string(row.line) + ": " + Shown(row.name));
    ASSERT_TRUE(row.verdict == "ok" || row.verdict == "refused" || row.verdict == "packer") << row.verdict;
    verdicts[row.verdict]++;
    std::string name = row.name;
    std::replace(name.begin(), name.end(), '/', '\\');  // as the extractor reads a name
    EXPECT_EQ(row.verdict != "refused", IsSafeMemberName(name.c_str()));
  }
  EXPECT_GT(verdicts["ok"], 10);
  EXPECT_GT(verdicts["refused"], 10);
  EXPECT_GT(verdicts["packer"], 0);
}

// ---- Crafted archives ----

ZipMember Text(const std::string &name, unsigned seed = 7) {
  return Member(name, MakeData(kText, 300, seed));
}

uint32_t Le32At(const Bytes &b, size_t at) {
  return (uint32_t)b[at] | (uint32_t)b[at + 1] << 8 | (uint32_t)b[at + 2] << 16 | (uint32_t)b[at + 3] << 24;
}
unsigned Le16At(const Bytes &b, size_t at) { return b[at] | b[at + 1] << 8; }
void Put32(Bytes &b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; i++) b[at + i] = (unsigned char)(v >> (8 * i));
}

size_t EndRecord(const Bytes &zip) {
  for (size_t i = zip.size() - 22;; i--)
    if (Le32At(zip, i) == 0x06054b50) return i;
}

// Where the central directory's entries begin, walked entry by entry.
std::vector<size_t> CentralEntries(const Bytes &zip) {
  size_t end = EndRecord(zip);
  std::vector<size_t> out;
  for (size_t at = Le32At(zip, end + 16); at < end; at += 46 + Le16At(zip, at + 28) + Le16At(zip, at + 30) +
                                                           Le16At(zip, at + 32))
    out.push_back(at);
  return out;
}

// The member's uncompressed size, as both of its headers announce it.
void Announce(Bytes &zip, size_t member, uint32_t size) {
  size_t entry = CentralEntries(zip)[member];
  Put32(zip, entry + 24, size);
  Put32(zip, Le32At(zip, entry + 42) + 22, size);
}

// The second entry of the directory points at the first one's local header.
Bytes SharedLocalHeader() {
  Bytes zip = BuildZip({Text("ReadMe.txt"), Text("qenvo.exe", 8)});
  std::vector<size_t> entries = CentralEntries(zip);
  Put32(zip, entries[1] + 42, 0);
  return zip;
}

// count local headers, each one inside the extra field of the one before, so
// that all their data begin at one deflated stream of size zero bytes; each
// header and its directory entry announce one byte.
Bytes NestedLocalHeaders(int count, size_t size) {
  Bytes zeros(size, 0);
  Bytes packed = Deflate(zeros, 9, Z_DEFAULT_STRATEGY);
  uint32_t crc = ZlibCrc(zeros);
  const unsigned header = 30 + 8;  // the fixed part and an eight-letter name
  Bytes zip, central;
  for (int i = 0; i < count; i++) {
    char name[16];
    snprintf(name, sizeof name, "m%03d.bin", i);
    for (Bytes *b : {&zip, &central}) {
      bool local = b == &zip;
      Le32(*b, local ? 0x04034b50 : 0x02014b50);
      if (!local) Le16(*b, 20);
      Le16(*b, 20);
      Le16(*b, 0);
      Le16(*b, 8);
      Le16(*b, 0x6000);
      Le16(*b, 0x50B1);
      Le32(*b, crc);
      Le32(*b, (uint32_t)packed.size());
      Le32(*b, 1);
      Le16(*b, 8);
      Le16(*b, local ? header * (count - 1 - i) : 0);  // the local extra field: the headers after it
      if (!local) {
        for (int k = 0; k < 3; k++) Le16(*b, 0);  // comment, disk, internal attributes
        Le32(*b, 0);
        Le32(*b, header * i);
      }
      Append(*b, std::string(name));
    }
  }
  Append(zip, packed);
  uint32_t centralOffset = (uint32_t)zip.size();
  Append(zip, central);
  Le32(zip, 0x06054b50);
  Le32(zip, 0);
  Le16(zip, (unsigned)count);
  Le16(zip, (unsigned)count);
  Le32(zip, (uint32_t)central.size());
  Le32(zip, centralOffset);
  Le16(zip, 0);
  return zip;
}

// An archive with a ZIP64 end record and its locator before the end record,
// whose own fields are those of a plain archive.
Bytes WithZip64Records(Bytes zip) {
  size_t end = EndRecord(zip);
  Bytes records;
  Le32(records, 0x06064b50);  // the ZIP64 end record
  Le32(records, 44);
  Le32(records, 0);
  Le16(records, 45);
  Le16(records, 45);
  Le32(records, 0);
  Le32(records, 0);
  for (uint32_t v : {Le16At(zip, end + 10), 0u, Le16At(zip, end + 10), 0u, Le32At(zip, end + 12), 0u,
                     Le32At(zip, end + 16), 0u})
    Le32(records, v);
  Le32(records, 0x07064b50);  // its locator: disk 0, the record's place, one disk
  Le32(records, 0);
  Le32(records, (uint32_t)end);
  Le32(records, 0);
  Le32(records, 1);
  zip.insert(zip.begin() + (long)end, records.begin(), records.end());
  return zip;
}

struct ArchiveCase {
  ArchiveCase(const std::string &what, const Bytes &zip, const std::vector<std::string> &boxes,
              const std::string &shownName, const std::vector<std::string> &logged)
      : what(what), zip(zip), boxes(boxes), shownName(shownName), logged(logged) {}
  std::string what;
  Bytes zip;
  std::vector<std::string> boxes;   // the captions shown before the rollback's box
  std::string shownName;            // the "Invalid File Name!" box's text, when there is one
  std::vector<std::string> logged;  // the members whose "File:" record precedes the refusal
  // A member that must hold no more than cap bytes after the extraction.
  std::string cappedMember;
  size_t cap = 0;
};

std::vector<ArchiveCase> ArchiveCases() {
  std::vector<ArchiveCase> cases;
  // Every name that the shared table says both refuse, between two harmless
  // members; the box shows the name with its control characters as '?'.
  for (const NameRow &row : NameTable()) {
    if (row.verdict != "refused") continue;
    std::string shown = row.name;
    for (char &c : shown) c = c == '/' ? '\\' : (unsigned char)c < 0x20 ? '?' : c;
    cases.push_back({"the name " + Shown(row.name),
                     BuildZip({Text("ReadMe.txt"), Text(row.name, 2), Text("qenvo.exe", 3)}),
                     {"Invalid File Name!"}, shown, {"ReadMe.txt"}});
  }
  // A directory entry that names another member than its local header: the
  // box names what a listing of the archive shows.
  const std::pair<std::string, std::string> mismatches[] = {
      {"trust.DB", "docs/notes.txt"},
      {"docs/other.txt", "docs/notes.txt"},
      {"README.TXT", "ReadMe.txt"},
      {"ab.txt", std::string("ab.txt\0File:D:\\boot.ini", 23)}};
  for (const auto &m : mismatches) {
    ZipMember member = Text(m.first, 4);
    member.centralName = m.second;
    std::string shown = m.second.c_str();  // the box shows the name up to a NUL
    std::replace(shown.begin(), shown.end(), '/', '\\');
    cases.push_back({"a local name " + Shown(m.first) + " behind the directory's " + Shown(m.second),
                     BuildZip({Text("ReadMe.txt"), member, Text("qenvo.exe", 3)}),
                     {"Invalid File Name!"}, shown, {"ReadMe.txt"}});
  }
  cases.push_back({"a NUL inside both names", BuildZip({Text("ReadMe.txt"), Text(std::string("ab.txt\0x", 8), 5)}),
                   {"Invalid File Name!"}, "ab.txt", {"ReadMe.txt"}});
  cases.push_back({"two directory entries sharing one local header", SharedLocalHeader(), {}, "", {"ReadMe.txt"}});
  cases.push_back({"200 local headers nested in each other's extra fields, one 2 MiB stream",
                   NestedLocalHeaders(200, 2u << 20), {"CRC check error!"}, "", {"m000.bin"}});
  std::vector<ZipMember> five;
  for (const char *n : {"a.txt", "b.txt", "c.txt", "d.txt", "e.txt"}) five.push_back(Text(n));
  cases.push_back({"an end record counting 2 of a directory of 5", BuildZip(five, {}, "", 2), {}, "",
                   {"a.txt", "b.txt"}});
  std::vector<ZipMember> many(65537);
  for (size_t i = 0; i < many.size(); i++) {
    char name[32];
    snprintf(name, sizeof name, "f%05u.txt", (unsigned)i);
    many[i].name = name;
    many[i].method = 0;
  }
  cases.push_back({"an end record counting 65,537 entries as 1 (16 bits)", BuildZip(many), {}, "", {"f00000.txt"}});
  cases.push_back({"a ZIP64 end record and its locator", WithZip64Records(BuildZip({Text("ReadMe.txt")})),
                   {"Unsupported Archive!"}, "", {}});
  ZipMember big = Member("big.bin", Bytes(2u << 20, 0));
  Bytes bigZip = BuildZip({Text("ReadMe.txt"), big});
  Announce(bigZip, 1, 1);
  // The member is stopped at its first byte past the announced size; its CRC,
  // of what was decoded, is then checked as after any failed member.
  ArchiveCase more("a member whose data give 2 MiB where its headers announce 1 byte", bigZip,
                   {"CRC check error!"}, "", {"ReadMe.txt", "big.bin"});
  more.cappedMember = "big.bin";
  more.cap = 1;
  cases.push_back(more);
  return cases;
}

// One field of every message box in a transcript.
std::vector<std::string> Boxes(const std::vector<std::string> &events, const char *field = "caption") {
  std::vector<std::string> out;
  for (const std::string &e : events)
    if (e.compare(0, 19, "{\"event\":\"message\",") == 0) out.push_back(JsonField(e, field));
  return out;
}

// The files of a snapshot outside the install folder.
std::map<std::string, std::string> FilesOutside(const MachineState &m) {
  const std::string inside = "/c/Program Files/Kelvorind/TNM Verifier/";
  std::map<std::string, std::string> out;
  for (const auto &kv : m.files)
    if (kv.first.compare(0, inside.size(), inside) != 0) out.insert(kv);
  return out;
}

std::vector<std::string> Lines(const std::string &text) {
  std::vector<std::string> out;
  std::stringstream ss(text);
  for (std::string line; std::getline(ss, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    out.push_back(line);
  }
  return out;
}

// The extractor alone, into a log that holds records already: it fails,
// shows the case's boxes, adds the records of the members before the
// refusal and nothing else, and writes nothing outside the install folder.
void ExpectRefusedByTheExtractor(const ArchiveCase &c) {
  std::string root = FreshExtractorMachine("refusals-extract");
  MakeFolders(kDir);
  PutFile("C:\\SETUP\\data1.qv", std::string(c.zip.begin(), c.zip.end()));
  MachineState before = Snapshot(root);
  FILE *log = CreateInstallLog(kLog.c_str());
  ASSERT_NE(nullptr, log);
  LogProductName(log, "TolvaMarked Verifier");
  LogFile(log, "C:\\WINDOWS\\", "existing.txt");
  int result = ArchiveExtractor("C:\\SETUP", "data1.qv", kDir.c_str(), log);
  fclose(log);

  std::vector<std::string> lines = Lines(ReadAll(winhost::HostPath(kLog.c_str())));
  std::vector<std::string> expected = {"Name:TolvaMarked Verifier", "File:C:\\WINDOWS\\existing.txt"};
  for (const std::string &m : c.logged) expected.push_back("File:" + kDir + m);
  const std::string capped = c.cappedMember.empty() ? "" : winhost::HostPath((kDir + c.cappedMember).c_str());
  EXPECT_NE(0, result);
  EXPECT_EQ(c.boxes, Boxes(winhost::TranscriptLines()));
  if (!c.shownName.empty()) {
    EXPECT_EQ(std::vector<std::string>{c.shownName}, Boxes(winhost::TranscriptLines(), "text"));
  }
  EXPECT_EQ(expected, lines);
  if (!capped.empty() && fs::exists(capped)) {
    EXPECT_LE(fs::file_size(capped), c.cap);
  }
  MachineState after = Snapshot(root);
  EXPECT_EQ(std::vector<std::string>{}, Differing(FilesOutside(before), FilesOutside(after)));
  EXPECT_EQ(FoldersOutside(before), FoldersOutside(after));
  EXPECT_EQ(0, winhost::OpenFileHandles());
  EXPECT_EQ(0, winhost::LiveWindows());
}

// The whole setup on the archive, on a machine that holds what the hostile
// names aim at: a file and an empty folder on drive D:, a key without
// sub-keys, the user's own Trust.db in the install folder. It leaves by its
// rollback, and the machine's files and keys are as before: every record of
// the log, and only those, was replayed.
void ExpectRolledBack(const ArchiveCase &c) {
  SetupSandbox box("refusals-setup");
  std::ofstream(box.HostPath("C:\\SETUP\\data1.qv"), std::ios::binary)
      .write((const char *)c.zip.data(), (std::streamsize)c.zip.size());
  fs::create_directories(box.root + "/d/EMPTY");
  std::ofstream(box.root + "/d/boot.ini") << "[boot loader]\r\n";
  MakeKey(HKEY_CLASSES_ROOT, ".exe");
  PutFile(kDir + "Trust.db", "the user's own trust database");
  MachineState before = Snapshot(box.root);
  // Every box is answered, whichever comes: what the rollback does is seen
  // even when the boxes are not the expected ones.
  HostRun run = box.Run(kWalk + "auto yes\n");
  EXPECT_EQ(0, run.status) << run.stderrText;
  std::vector<std::string> boxes = c.boxes;
  boxes.push_back("Installation Error");
  EXPECT_EQ(boxes, Boxes(run.events));
  MachineState after = Snapshot(box.root);
  EXPECT_EQ(std::vector<std::string>{}, Differing(before.files, after.files));
  EXPECT_EQ(FoldersOutside(before), FoldersOutside(after));
  EXPECT_EQ(before.keys, after.keys);
}

TEST(HostileArchives, RefusedByTheRollbackLeavingTheMachineAsItWas) {
  std::vector<ArchiveCase> cases = ArchiveCases();
  EXPECT_GT(cases.size(), 50u);
  for (const ArchiveCase &c : cases) {
    SCOPED_TRACE(c.what);
    ExpectRefusedByTheExtractor(c);
    ExpectRolledBack(c);
  }
}

// ---- Programs named explorer.exe ----

// Where Windows would look for an Explorer named without its folder: in the
// setup's own folder (the distribution folder) first, then in the current
// folder (which the extractor made the install folder, that others may be
// able to write), and an archive may bring one into the install folder
// itself. The setup names the Windows folder's Explorer by its full path and
// starts it from the Windows folder: none of the planted ones runs.
TEST(PlantedExplorer, NoneIsStarted) {
  struct Case {
    const char *where;
    bool distribution, installFolder, archive;
  } cases[] = {{"the distribution folder", true, false, false},
               {"the install folder", false, true, false},
               {"the archive", false, false, true},
               {"all three", true, true, true}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.where);
    SetupSandbox box("refusals-explorer");
    PutFile("C:\\WINDOWS\\explorer.exe", "the system's Explorer");
    if (c.distribution) PutFile("C:\\SETUP\\explorer.exe", "planted");
    if (c.installFolder) PutFile(kDir + "explorer.exe", "planted");
    if (c.archive) {
      std::vector<ZipMember> members;
      for (const char *f : {"qenvo.exe", "ReadMe.txt", "qenvo.hlp", "docs/Signatures.txt"}) {
        std::string text = ReadAll(std::string(SOURCE_DIR) + "/example/product/" + f);
        members.push_back(Member(f, Bytes(text.begin(), text.end())));
      }
      members.push_back(Member("explorer.exe", MakeData(kBinary, 4000)));
      Bytes zip = BuildZip(members);
      std::ofstream(box.HostPath("C:\\SETUP\\data1.qv"), std::ios::binary)
          .write((const char *)zip.data(), (std::streamsize)zip.size());
    }
    HostRun run = box.Run(kWalk + "message \"Installation Complete\" ok\n");
    ASSERT_EQ(0, run.status) << run.stderrText;
    // The planted programs are there when Explorer is started.
    EXPECT_EQ(c.distribution, box.Exists("C:\\SETUP\\explorer.exe"));
    EXPECT_EQ(c.installFolder || c.archive, box.Exists(kDir + "explorer.exe"));
    std::vector<std::string> process = run.Events("process");
    ASSERT_EQ(1u, process.size());
    EXPECT_EQ("C:\\WINDOWS\\explorer.exe", JsonField(process[0], "program"));
    EXPECT_EQ("C:\\WINDOWS", JsonField(process[0], "starts_in"));
    EXPECT_EQ("explorer \"" + kSubmenu + "\"", JsonField(process[0], "cmdline"));
  }
}

// ---- Crafted install logs ----

typedef std::vector<std::string> Texts;
typedef std::vector<std::pair<HKEY, std::string>> Keys;

// A crafted log, its parts set one by one: LogCase("...").Append({...}).Files({...}).
struct LogCase {
  explicit LogCase(const std::string &what) : what(what) {}
  std::string what;
  Texts lines;                                           // appended to the genuine log
  std::function<std::string(const std::string &)> edit;  // or the log's text changed so
  Texts files;                                           // files that must stay, each holding "victim"
  Texts folders;                                         // empty folders that must stay
  Keys keys;                                             // keys that must stay
  std::function<void(SetupSandbox &)> prepare;           // anything else, laid before the uninstall
  Texts leftAlone;    // every line the box must name as left alone, in order; empty: lines
  Texts genuineKept;  // genuine files that stay: their record was refused

  LogCase &Append(const Texts &v) { return lines = v, *this; }
  LogCase &Edit(const std::function<std::string(const std::string &)> &f) { return edit = f, *this; }
  LogCase &Files(const Texts &v) { return files = v, *this; }
  LogCase &Folders(const Texts &v) { return folders = v, *this; }
  LogCase &VictimKeys(const Keys &v) { return keys = v, *this; }
  LogCase &Prepare(const std::function<void(SetupSandbox &)> &f) { return prepare = f, *this; }
  LogCase &LeftAlone(const Texts &v) { return leftAlone = v, *this; }
  LogCase &GenuineKept(const Texts &v) { return genuineKept = v, *this; }
};

// The genuine files and keys of a default installation.
const std::vector<std::string> kGenuineFiles = {
    kDir + "ReadMe.txt", kDir + "qenvo.exe", kDir + "qenvo.hlp", kDir + "docs\\Signatures.txt", kDir + "Trust.db",
    "C:\\WINDOWS\\Desktop\\TolvaMarked Verifier.lnk", "C:\\WINDOWS\\Start Menu\\TolvaMarked Verifier.lnk",
    kSubmenu + "TolvaMarked Verifier.lnk", kSubmenu + "ReadMe.lnk", kSubmenu + "Help.lnk", kSubmenu + "Uninstall.lnk"};
const std::vector<std::pair<HKEY, std::string>> kGenuineKeys = {
    {HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\TNM Verifier"},
    {HKEY_CLASSES_ROOT, "*\\shell\\checksig"},
    {HKEY_CURRENT_USER, "Software\\Kelvorind\\TNM Verifier"}};

// A line of 2,018 characters: a file record below the install folder whose
// characters from offset 1998 on are a record of their own.
std::string LongLine() {
  std::string line = "File:" + kDir;
  line += std::string(1998 - line.size(), 'x') + "File:C:\\AUTOEXEC.BAT";
  EXPECT_EQ(2018u, line.size());
  EXPECT_EQ(1998u, line.find("File:C:\\AUTOEXEC.BAT"));
  return line;
}

// The lines that the closing box names under "left alone", in order.
std::vector<std::string> NamedAsLeftAlone(const std::string &box) {
  std::vector<std::string> out;
  size_t p = box.find("may have been changed by someone else:\n");
  if (p == std::string::npos) return out;
  std::stringstream ss(box.substr(box.find('\n', p) + 1));
  for (std::string line; std::getline(ss, line) && line.compare(0, 4, "    ") == 0;) out.push_back(line.substr(4));
  return out;
}

std::vector<LogCase> LogCases(int genuineLines) {
  const std::string damaged = "(line " + std::to_string(genuineLines + 1) + ": damaged)";
  const std::string shellFolders = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
  std::string name127 = "Name:Click Yes: your documents stay where they are, nothing of yours is removed, "
                        "only the program itself. Remove it now and keep every file of yours?";
  name127.resize(127, '?');
  std::vector<LogCase> cases;
  cases.push_back(LogCase("files elsewhere on the drive, and links that are not the setup's")
                      .Append({"File:C:\\WINDOWS\\SYSTEM\\victim.dll", "File:C:\\My Documents\\letter.doc",
                               "File:C:\\WINDOWS\\Desktop\\Other.lnk", "File:" + kSubmenu + "Other.lnk"})
                      .Files({"C:\\WINDOWS\\SYSTEM\\victim.dll", "C:\\My Documents\\letter.doc",
                              "C:\\WINDOWS\\Desktop\\Other.lnk", kSubmenu + "Other.lnk"}));
  cases.push_back(LogCase("files on another drive")
                      .Append({"File:D:\\boot.ini", "File:D:\\data\\victim.txt", "UFil:D:\\boot.ini"})
                      .Files({"D:\\boot.ini", "D:\\data\\victim.txt"}));
  cases.push_back(LogCase("relative names, which would be taken against the Windows folder")
                      .Append({"File:victim.ini", "File:SYSTEM\\victim.dll", "File:\\victim.txt",
                               "File:C:victim2.ini", "File:..\\victim.txt"})
                      .Files({"C:\\WINDOWS\\victim.ini", "C:\\WINDOWS\\SYSTEM\\victim.dll", "C:\\victim.txt",
                              "C:\\WINDOWS\\victim2.ini"}));
  cases.push_back(LogCase("device, long and network forms")
                      .Append({"File:\\\\?\\C:\\victim.txt", "File:\\\\.\\C:\\victim.txt",
                               "File:\\\\server\\share\\victim.txt", "File://?/C:/victim.txt"})
                      .Files({"C:\\victim.txt"}));
  cases.push_back(LogCase("empty folders outside, and the install folder itself")
                      .Append({"Dire:C:\\EmptyOutside\\", "UDir:C:\\EmptyOutside2\\", "Dire:D:\\EMPTY\\",
                               "Dire:C:\\WINDOWS\\Start Menu\\Programs\\Other\\", "Dire:" + kDir})
                      .Folders({"C:\\EmptyOutside", "C:\\EmptyOutside2", "D:\\EMPTY",
                                "C:\\WINDOWS\\Start Menu\\Programs\\Other"}));
  cases.push_back(LogCase("keys without sub-keys under every root")
                      .Append({"HKCR:.exe", "HKCU:Software\\Victim", "HKLM:Software\\Victim", "HKUS:.DEFAULT\\Victim",
                               "HKCC:Software\\Victim", "HKDD:Victim", "UKCR:.exe", "UKCU:Software\\Victim",
                               "UKLM:Software\\Victim", "UKUS:.DEFAULT\\Victim", "UKCC:Software\\Victim",
                               "UKDD:Victim"})
                      .VictimKeys({{HKEY_CLASSES_ROOT, ".exe"},
                                   {HKEY_CURRENT_USER, "Software\\Victim"},
                                   {HKEY_LOCAL_MACHINE, "Software\\Victim"},
                                   {HKEY_USERS, ".DEFAULT\\Victim"},
                                   {HKEY_CURRENT_CONFIG, "Software\\Victim"},
                                   {HKEY_DYN_DATA, "Victim"}}));
  cases.push_back(LogCase("UKLM:Software, which Windows 95 would remove with all below it")
                      .Append({"UKLM:Software", "HKLM:SOFTWARE"})
                      .VictimKeys({{HKEY_LOCAL_MACHINE, "Software"}}));
  cases.push_back(LogCase("keys beside the setup's own")
                      .Append({"HKLM:Software\\microsoft\\windows\\CurrentVersion\\Uninstall\\Other",
                               "HKCR:*\\shell", "HKCR:*\\shell\\checksig\\command\\more", "UKCU:Software\\Kelvorind"})
                      .VictimKeys({{HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Other"},
                                   {HKEY_CLASSES_ROOT, "*\\shell"},
                                   {HKEY_CURRENT_USER, "Software\\Kelvorind"}}));
  cases.push_back(LogCase("uninstall-only files and folders, which a genuine log never holds")
                      .Append({"UFil:C:\\WINDOWS\\victim.ini", "UDir:C:\\WINDOWS\\EmptyVictim\\"})
                      .Files({"C:\\WINDOWS\\victim.ini"})
                      .Folders({"C:\\WINDOWS\\EmptyVictim"}));
  cases.push_back(LogCase("a line of 2,018 characters carrying File:C:\\AUTOEXEC.BAT at offset 1998")
                      .Append({LongLine()})
                      .Files({"C:\\AUTOEXEC.BAT"})
                      .LeftAlone({damaged}));
  cases.push_back(LogCase("a line with a NUL")
                      .Append({"File:" + kDir + "mine.txt" + std::string(1, '\0') + " and the rest"})
                      .Files({kDir + "mine.txt"})
                      .LeftAlone({damaged}));
  cases.push_back(LogCase("a link inside the install folder to the Windows folder")
                      .Append({"File:" + kDir + "link\\victim.ini", "File:" + kDir + "link\\SYSTEM\\victim.dll"})
                      .Files({"C:\\WINDOWS\\victim.ini", "C:\\WINDOWS\\SYSTEM\\victim.dll"})
                      .Folders({"C:\\WINDOWS\\EmptyVictim"})
                      .Prepare([](SetupSandbox &box) {
                        fs::create_directory_symlink("../../../WINDOWS", box.HostPath(kDir) + "/link");
                        EXPECT_EQ(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT,
                                  GetFileAttributesA((kDir + "link").c_str()));
                      }));
  cases.push_back(LogCase("a genuine log with a Ctrl-Z after its first line")
                      .Edit([](const std::string &log) {
                        size_t second = log.find('\n') + 1;
                        return log.substr(0, second) + "\x1A" + log.substr(second);
                      })
                      .LeftAlone({"(line 2: damaged)"})
                      .GenuineKept({kDir + "ReadMe.txt"}));
  cases.push_back(LogCase("a Name: line of 127 characters, the rest genuine")
                      .Edit([name127](const std::string &log) { return name127 + log.substr(log.find('\r')); }));
  cases.push_back(LogCase("a Desktop folder moved since the install")
                      .Prepare([shellFolders](SetupSandbox &) {
                        CreateDirectoryA("C:\\WINDOWS\\NewDesktop", NULL);
                        HKEY key;
                        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyA(HKEY_CURRENT_USER, shellFolders.c_str(), &key));
                        const char folder[] = "C:\\WINDOWS\\NewDesktop";
                        RegSetValueExA(key, "Desktop", 0, REG_SZ, (const BYTE *)folder, sizeof folder);
                        RegCloseKey(key);
                      })
                      .LeftAlone({"File:C:\\WINDOWS\\Desktop\\TolvaMarked Verifier.lnk"})
                      .GenuineKept({"C:\\WINDOWS\\Desktop\\TolvaMarked Verifier.lnk"}));
  return cases;
}

// Each crafted log on a machine with a genuine installation: the records the
// setup could not have written are left alone with everything they name, the
// genuine rest is removed, the log stays, and the closing box names the
// first five lines left alone and counts the others.
TEST(CraftedLogs, RefusedRecordsAreLeftAloneAndNamed) {
  const std::string command = "\"C:\\WINDOWS\\UninstallTNM.exe\" " + kLog;
  const std::string question = kUninstallCaption + ": Do you want to remove TolvaMarked Verifier and all of "
                               "its components from this computer?";
  bool manyNamed = false;
  const size_t count = LogCases(19).size();
  for (size_t i = 0; i < count; i++) {
    SetupSandbox box("refusals-log");
    fs::create_directories(box.root + "/d");
    ASSERT_EQ(0, box.Run(kWalk + "message \"Installation Complete\" ok\n").status);
    MakeKey(HKEY_CURRENT_USER, "Software\\Kelvorind\\TNM Verifier\\QENVO\\TNM Verifier");  // the product ran
    const std::string genuine = box.Read(kLog);
    const int genuineLines = (int)std::count(genuine.begin(), genuine.end(), '\n');
    ASSERT_EQ(19, genuineLines);
    const LogCase c = LogCases(genuineLines)[i];
    SCOPED_TRACE(c.what);
    std::string log = c.edit ? c.edit(genuine) : genuine;
    for (const std::string &line : c.lines) log += line + "\r\n";
    std::ofstream(box.HostPath(kLog), std::ios::binary | std::ios::trunc) << log;
    for (const std::string &f : c.files) PutFile(f, "victim");
    for (const std::string &f : c.folders) {
      MakeFolders(f + "\\");
      ASSERT_TRUE(box.Exists(f)) << f;
    }
    for (const auto &k : c.keys) MakeKey(k.first, k.second);
    if (c.prepare) c.prepare(box);

    HostRun run = box.RunUninstaller(command, "message \"" + kUninstallCaption + "\" yes\nmessage \"" +
                                                   kUninstallCaption + "\" ok\n");
    EXPECT_EQ(0, run.status) << run.stderrText;
    std::vector<std::string> messages = run.Messages();
    ASSERT_EQ(2u, messages.size());
    EXPECT_EQ(question, messages[0]);

    for (const std::string &f : c.files) EXPECT_EQ("victim", box.Read(f)) << f;
    for (const std::string &f : c.folders) EXPECT_TRUE(box.Exists(f)) << f;
    for (const auto &k : c.keys) EXPECT_TRUE(KeyExists(k.first, k.second)) << k.second;
    for (const std::string &f : kGenuineFiles) {
      bool kept = std::count(c.genuineKept.begin(), c.genuineKept.end(), f) > 0;
      EXPECT_EQ(kept, box.Exists(f)) << f;
    }
    for (const auto &k : kGenuineKeys) EXPECT_FALSE(KeyExists(k.first, k.second)) << k.second;

    const std::vector<std::string> &refused = c.leftAlone.empty() ? c.lines : c.leftAlone;
    if (refused.empty()) {
      EXPECT_EQ(kUninstallCaption + ": TolvaMarked Verifier has been removed from your computer.", messages[1]);
      EXPECT_FALSE(box.Exists(kLog));
      continue;
    }
    std::vector<std::string> named(refused.begin(), refused.begin() + (long)std::min<size_t>(5, refused.size()));
    if (refused.size() > 5) {
      named.push_back("and " + std::to_string(refused.size() - 5) + " more");
      manyNamed = true;
    }
    EXPECT_EQ(0u, messages[1].find(kUninstallCaption + ": TolvaMarked Verifier could not be removed completely."))
        << messages[1];
    EXPECT_EQ(named, NamedAsLeftAlone(messages[1])) << messages[1];
    const std::string kept = "\n\nThe log has been kept in\n\n" + kLog;
    EXPECT_EQ(messages[1].size() - kept.size(), messages[1].rfind(kept)) << messages[1];
    EXPECT_EQ(log, box.Read(kLog));
  }
  EXPECT_TRUE(manyNamed);  // one case names five lines and counts the rest
}

}  // namespace
