// The shell link object (IShellLinkA and IPersistFile on one object) and the
// writer of its file, a Shell Link in the MS-SHLLINK binary format: the
// header, a LinkInfo that names the target by its local path, the description
// and the arguments as UTF-16 StringData, and the terminal block.
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <new>
#include <string>
#include <vector>

#include "internal.h"

namespace {

// LinkFlags.
const DWORD kHasLinkInfo = 0x02;
const DWORD kHasName = 0x04;
const DWORD kHasArguments = 0x20;
const DWORD kIsUnicode = 0x80;
// LinkInfoFlags: a VolumeID and a LocalBasePath are present.
const DWORD kVolumeIdAndLocalBasePath = 0x01;
const DWORD kDriveFixed = 3;
const HRESULT kMediumFull = (HRESULT)0x80030070u;  // STG_E_MEDIUMFULL
const long long kUnixEpochIn100ns = 116444736000000000LL;  // 1601-01-01 to 1970-01-01

int g_live;              // objects not yet released
unsigned g_generation;   // bumped by a reset: older objects are forgotten

void ForgetObjects() {
  g_live = 0;
  g_generation++;
}
const int g_registered = (wh::OnReset(ForgetObjects), 0);

// What the header says of the target: all zero when it does not exist.
struct TargetInfo {
  DWORD attributes = 0;
  unsigned long long created = 0, accessed = 0, written = 0;
  DWORD size = 0;
};

unsigned long long FileTimeOf(long long sec, long long nsec) {
  long long t = sec * 10000000LL + nsec / 100 + kUnixEpochIn100ns;
  return t < 0 ? 0 : (unsigned long long)t;
}

bool StatTarget(const std::string &winpath, TargetInfo *info) {
  std::string host;
  if (winpath.empty() || wh::MapPath(winpath.c_str(), &host) != 0) return false;
  struct statx sx;
  if (statx(AT_FDCWD, host.c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0) return false;
  bool dir = S_ISDIR(sx.stx_mode);
  info->attributes = dir ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
  if ((sx.stx_mode & 0222) == 0) info->attributes |= FILE_ATTRIBUTE_READONLY;
  // Linux keeps no creation time everywhere: the status-change time stands in.
  const struct statx_timestamp &born = (sx.stx_mask & STATX_BTIME) ? sx.stx_btime : sx.stx_ctime;
  info->created = FileTimeOf(born.tv_sec, born.tv_nsec);
  info->accessed = FileTimeOf(sx.stx_atime.tv_sec, sx.stx_atime.tv_nsec);
  info->written = FileTimeOf(sx.stx_mtime.tv_sec, sx.stx_mtime.tv_nsec);
  info->size = dir ? 0 : (DWORD)sx.stx_size;
  return true;
}

struct Bytes {
  std::vector<unsigned char> v;
  void U16(unsigned x) {
    v.push_back((unsigned char)x);
    v.push_back((unsigned char)(x >> 8));
  }
  void U32(DWORD x) {
    U16(x & 0xFFFF);
    U16(x >> 16);
  }
  void U64(unsigned long long x) {
    U32((DWORD)x);
    U32((DWORD)(x >> 32));
  }
  void Guid(const GUID &g) {
    U32(g.Data1);
    U16(g.Data2);
    U16(g.Data3);
    v.insert(v.end(), g.Data4, g.Data4 + 8);
  }
  void Text(const std::string &s) {  // NUL-terminated, in the ANSI code page
    v.insert(v.end(), s.begin(), s.end());
    v.push_back(0);
  }
  void StringData(const std::string &ansi) {  // count-prefixed UTF-16, no terminator
    std::u16string w = wh::AnsiToWide(ansi.c_str());
    if (w.size() > 0xFFFF) w.resize(0xFFFF);
    U16((unsigned)w.size());
    for (char16_t c : w) U16(c);
  }
};

// The whole file for a link to target with these strings; empty strings are
// left out.
std::vector<unsigned char> LinkFile(const std::string &target, const std::string &args,
                                    const std::string &desc) {
  TargetInfo info;
  StatTarget(target, &info);
  DWORD flags = kIsUnicode;
  if (!target.empty()) flags |= kHasLinkInfo;
  if (!desc.empty()) flags |= kHasName;
  if (!args.empty()) flags |= kHasArguments;

  Bytes b;
  b.U32(0x4C);
  b.Guid(CLSID_ShellLink);
  b.U32(flags);
  b.U32(info.attributes);
  b.U64(info.created);
  b.U64(info.accessed);
  b.U64(info.written);
  b.U32(info.size);
  b.U32(0);              // icon index
  b.U32(SW_SHOWNORMAL);  // show command
  b.U16(0);              // hot key
  b.U16(0);
  b.U32(0);
  b.U32(0);

  if (flags & kHasLinkInfo) {
    const DWORD header = 0x1C, volume = 0x11;
    DWORD base = header + volume;
    DWORD suffix = base + (DWORD)target.size() + 1;
    DWORD total = suffix + 1;
    b.U32(total);
    b.U32(header);
    b.U32(kVolumeIdAndLocalBasePath);
    b.U32(header);  // VolumeID right after this header
    b.U32(base);
    b.U32(0);       // no network location
    b.U32(suffix);
    // VolumeID: a fixed disk, a serial that names the drive letter, no label.
    unsigned char letter = target.size() > 1 && target[1] == ':' ? (unsigned char)target[0] & 0xDF : 'C';
    b.U32(volume);
    b.U32(kDriveFixed);
    b.U32(0x1E5A0000u | letter);
    b.U32(0x10);
    b.v.push_back(0);
    b.Text(target);
    b.Text("");  // CommonPathSuffix
  }
  if (flags & kHasName) b.StringData(desc);
  if (flags & kHasArguments) b.StringData(args);
  b.U32(0);  // TerminalBlock
  return b.v;
}

// Writes the file beside its final place and renames it there, so that a
// failed save never leaves half a link.
HRESULT WriteWhole(const std::string &host, const std::vector<unsigned char> &data) {
  size_t slash = host.rfind('/');
  std::string tmp = host.substr(0, slash + 1) + ".lnk-XXXXXX";
  int fd = mkstemp(&tmp[0]);
  if (fd < 0) return errno == ENOSPC ? kMediumFull : E_ACCESSDENIED;
  fchmod(fd, 0644);
  size_t done = 0;
  int err = 0;
  while (done < data.size()) {
    ssize_t n = write(fd, data.data() + done, data.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      err = errno;
      break;
    }
    done += (size_t)n;
  }
  if (close(fd) != 0 && !err) err = errno;
  if (!err && rename(tmp.c_str(), host.c_str()) != 0) err = errno;
  if (err) {
    unlink(tmp.c_str());
    return err == ENOSPC || err == EDQUOT ? kMediumFull
           : err == EACCES || err == EPERM || err == EISDIR ? E_ACCESSDENIED
                                                            : E_FAIL;
  }
  return S_OK;
}

// Copies text into a caller's buffer of cch characters, cut to fit with its
// terminator.
void CopyOut(const std::string &text, LPSTR out, int cch) {
  if (!out || cch <= 0) return;
  size_t n = text.size() < (size_t)cch - 1 ? text.size() : (size_t)cch - 1;
  memcpy(out, text.data(), n);
  out[n] = 0;
}

class ShellLink : public IShellLinkA, public IPersistFile {
 public:
  ShellLink() : generation_(g_generation) { g_live++; }
  ~ShellLink() override {
    if (generation_ == g_generation) g_live--;
  }

  // The interface asked for, with a reference added; nullptr when the object
  // has none of that kind.
  void *Find(REFIID riid) {
    void *p = nullptr;
    if (riid == IID_IUnknown || riid == IID_IShellLinkA)
      p = static_cast<IShellLinkA *>(this);
    else if (riid == IID_IPersistFile)
      p = static_cast<IPersistFile *>(this);
    if (p) refs_++;
    return p;
  }

  // ---- IUnknown, reached through either interface ----
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (wh::Fail("QueryInterface", ERROR_OUTOFMEMORY)) return E_NOINTERFACE;
    *ppv = Find(riid);
    return *ppv ? S_OK : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override {
    wh::Count("AddRef");
    return ++refs_;
  }
  ULONG STDMETHODCALLTYPE Release() override {
    wh::Count("Release");
    ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

  // ---- IShellLinkA ----
  HRESULT STDMETHODCALLTYPE GetPath(LPSTR pszFile, int cch, void *, DWORD) override {
    if (wh::Fail("IShellLinkA::GetPath", ERROR_OUTOFMEMORY)) return E_FAIL;
    if (!pszFile) return E_INVALIDARG;
    CopyOut(path_, pszFile, cch);
    return path_.empty() ? S_FALSE : S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetDescription(LPSTR pszName, int cch) override {
    if (wh::Fail("IShellLinkA::GetDescription", ERROR_OUTOFMEMORY)) return E_FAIL;
    if (!pszName) return E_INVALIDARG;
    CopyOut(desc_, pszName, cch);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetDescription(LPCSTR pszName) override {
    if (wh::Fail("IShellLinkA::SetDescription", ERROR_OUTOFMEMORY)) return E_FAIL;
    desc_ = pszName ? pszName : "";
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetArguments(LPSTR pszArgs, int cch) override {
    if (wh::Fail("IShellLinkA::GetArguments", ERROR_OUTOFMEMORY)) return E_FAIL;
    if (!pszArgs) return E_INVALIDARG;
    CopyOut(args_, pszArgs, cch);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetArguments(LPCSTR pszArgs) override {
    if (wh::Fail("IShellLinkA::SetArguments", ERROR_OUTOFMEMORY)) return E_FAIL;
    args_ = pszArgs ? pszArgs : "";
    return S_OK;
  }
  // The path is kept in its full form ("." and ".." resolved, the case as
  // given). A target that does not exist is accepted with S_FALSE.
  HRESULT STDMETHODCALLTYPE SetPath(LPCSTR pszFile) override {
    if (wh::Fail("IShellLinkA::SetPath", ERROR_OUTOFMEMORY)) return E_FAIL;
    if (!pszFile) return E_INVALIDARG;
    path_.clear();
    if (!*pszFile) return S_OK;
    if (wh::FullPath(pszFile, &path_) != 0) path_ = pszFile;
    TargetInfo info;
    return StatTarget(path_, &info) ? S_OK : S_FALSE;
  }

  // ---- IPersistFile ----
  HRESULT STDMETHODCALLTYPE Save(LPCOLESTR pszFileName, BOOL fRemember) override {
    if (wh::Fail("IPersistFile::Save", ERROR_DISK_FULL)) return kMediumFull;
    std::u16string wide;
    if (pszFileName) {
      wide = pszFileName;
    } else if (!file_.empty()) {
      wide = file_;
    } else {
      return E_INVALIDARG;
    }
    std::string ansi = wh::WideToAnsi(wide.c_str()), host;
    if (DWORD err = wh::MapPath(ansi.c_str(), &host)) return HRESULT_FROM_WIN32(err);
    struct stat st;
    if (stat(host.c_str(), &st) == 0 && (S_ISDIR(st.st_mode) || (st.st_mode & 0222) == 0))
      return E_ACCESSDENIED;  // a folder, or a read-only file
    HRESULT hr = WriteWhole(host, LinkFile(path_, args_, desc_));
    if (hr == S_OK && pszFileName && fRemember) file_ = wide;
    return hr;
  }

 private:
  ULONG refs_ = 0;
  unsigned generation_;
  std::string path_, args_, desc_;
  std::u16string file_;  // the file last saved with remember
};

}  // namespace

namespace wh {

HRESULT NewShellLink(REFIID riid, void **ppv) {
  ShellLink *link = new (std::nothrow) ShellLink;
  if (!link) return E_OUTOFMEMORY;
  *ppv = link->Find(riid);
  if (*ppv) return S_OK;
  delete link;
  return E_NOINTERFACE;
}

int LiveShellLinks() { return g_live; }

}  // namespace wh
