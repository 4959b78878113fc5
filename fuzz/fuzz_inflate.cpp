// The inflater against zlib on arbitrary raw DEFLATE input. Where zlib decodes
// the input to its end without error, ours must return 0 with the very same
// bytes. Where zlib refuses it, ours may accept what it reads otherwise (a
// distance before the member's start reaches into the window, an incomplete
// code is taken as it is); the member's CRC-32 then refuses the member. It
// must never crash, hang or leave a handle or a heap block behind.
#include <zlib.h>

#include <string.h>

#include "archive/output_sink.h"
#include "fuzz/fuzz_sandbox.h"

namespace {

const size_t kOutputLimit = 8u << 20;

// zlib's raw inflate of the whole input into out (kOutputLimit bytes); true
// when it reached the stream's end, with the length in *length.
bool ZlibInflate(const uint8_t *data, size_t size, uint8_t *out, size_t *length) {
  z_stream z = {};
  if (inflateInit2(&z, -15) != Z_OK) abort();
  z.next_in = const_cast<Bytef *>(data);
  z.avail_in = (uInt)size;
  z.next_out = out;
  z.avail_out = (uInt)kOutputLimit;
  int r = inflate(&z, Z_FINISH);
  *length = z.total_out;
  inflateEnd(&z);
  return r == Z_STREAM_END;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size > 65536) return 0;
  // One machine for the whole run: each input overwrites both files.
  static bool laid = false;
  if (!laid) {
    FuzzReset("inflate");
    laid = true;
  }
  WriteSandboxFile("C:\\in.bin", data, size);
  HANDLE in = CreateFileA("C:\\in.bin", GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, NULL);
  HANDLE out = CreateFileA("C:\\out.bin", GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, NULL);
  if (in == INVALID_HANDLE_VALUE || out == INVALID_HANDLE_VALUE) abort();
  BeginOutput(out, 0xFFFFFFFF);
  int r = InflateMember(in);
  CloseHandle(in);
  CloseHandle(out);
  ExpectReleased();
  if (r < 0 || r > FLUSH_WRITE_FAILED) abort();
  InflateReset();
  if (winhost::LiveHeapBlocks() != 0) {
    fprintf(stderr, "fuzz: %d heap blocks left\n", winhost::LiveHeapBlocks());
    abort();
  }

  static Bytes expected(kOutputLimit);
  size_t length = 0;
  if (ZlibInflate(data, size, expected.data(), &length) && length < kOutputLimit) {
    bool read = false;
    Bytes got = ReadBytes(winhost::HostPath("C:\\out.bin"), &read);
    if (!read) abort();
    if (r != 0) {
      fprintf(stderr, "fuzz: zlib decodes %zu bytes, the inflater returns %d\n", length, r);
      abort();
    }
    if (got.size() != length || (length && memcmp(got.data(), expected.data(), length) != 0)) {
      fprintf(stderr, "fuzz: output differs from zlib's (%zu bytes against %zu)\n", got.size(),
              length);
      abort();
    }
    if (g_outputSink.crc != (uint32_t)crc32(0, expected.data(), (uInt)length)) abort();
  }
  return 0;
}
