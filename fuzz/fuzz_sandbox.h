// The fuzz targets' sandbox: a fresh host machine on /dev/shm (or
// $FUZZ_TMP), laid anew for every input, and the checks every input ends with.
#ifndef FUZZ_FUZZ_SANDBOX_H
#define FUZZ_FUZZ_SANDBOX_H

#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "archive/inflate.h"
#include "tests/support/inflate_hooks.h"
#include "platform/host/winhost_test.h"
#include "platform/win.h"
#include "tests/support/bytes.h"

inline const std::string &FuzzRoot(const char *name) {
  static std::string root;
  if (root.empty()) {
    const char *base = getenv("FUZZ_TMP");
    if (!base || !*base) base = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
    root = std::string(base) + "/fuzz-" + name + "-" + std::to_string(getpid());
  }
  return root;
}

// A fresh machine: the fixed-code tables go first, as the heap forgets its
// blocks on a reset.
inline void FuzzReset(const char *name) {
  InflateReset();
  winhost::Reset(FuzzRoot(name).c_str());
  winhost::SetScript("auto yes\n");
}

inline void WriteSandboxFile(const char *winpath, const uint8_t *data, size_t size) {
  if (!WriteBytes(winhost::HostPath(winpath), data, size)) abort();
}

// Everything a routine acquired must be released on every path.
inline void ExpectReleased(int files = 0) {
  if (winhost::OpenFileHandles() != files || winhost::OpenKeyHandles() != 0 ||
      winhost::LiveWindows() != 0 || winhost::LiveComObjects() != 0) {
    fprintf(stderr, "fuzz: handles left open (files %d, keys %d, windows %d, COM %d)\n",
            winhost::OpenFileHandles(), winhost::OpenKeyHandles(), winhost::LiveWindows(),
            winhost::LiveComObjects());
    abort();
  }
}

#endif
