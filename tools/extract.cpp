// extract SOURCEDIR ARCHIVENAME INSTALLDIR: runs the archive extractor on the
// host, without a log, as the setup would, and prints its result. For tests,
// fuzzing and benchmarks; message boxes are answered OK and printed unless
// WINHOST_SCRIPT says otherwise.
#include <stdio.h>
#include <string.h>

#include "archive/extractor.h"
#include "platform/host/internal.h"
#include "platform/host/winhost_test.h"
#include "common/state.h"

int main(int argc, char **argv) {
  if (argc != 4) {
    fprintf(stderr,
            "usage: extract SOURCEDIR ARCHIVENAME INSTALLDIR\n"
            "  Windows paths inside $WINHOST_ROOT, e.g. extract C:\\SETUP data1.qv \"C:\\Program Files\\TNM\"\n");
    return 64;
  }
  wh::Init();
  bool answerOk = !wh::AgentScripted();
  if (answerOk) winhost::SetScript("auto yes\n");
  g_instance = GetModuleHandleA(NULL);
  InitCommonControls();
  int result = ArchiveExtractor(argv[1], argv[2], argv[3], NULL);
  if (answerOk) {
    for (const std::string &line : winhost::TranscriptLines())
      if (line.find("\"event\":\"message\"") != std::string::npos) printf("%s\n", line.c_str());
  }
  printf("result %d\n", result);
  wh::RecordExit(result);
  return result;
}
