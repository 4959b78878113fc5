// A fresh sandbox folder for one test, under $WINHOST_TEST_TMP (or /tmp).
#ifndef TESTS_SUPPORT_SANDBOX_H
#define TESTS_SUPPORT_SANDBOX_H

#include <stdlib.h>
#include <unistd.h>

#include <string>

inline std::string SandboxDir(const char *name) {
  const char *base = getenv("WINHOST_TEST_TMP");
  std::string dir = std::string(base && *base ? base : "/tmp") + "/sandbox-" + name + "-" +
                    std::to_string(getpid());
  return dir;
}

#endif
