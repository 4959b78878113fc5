// Whole files as bytes or text.
#include "tests/support/bytes.h"

#include <fstream>
#include <iterator>

Bytes ReadBytes(const std::string &path, bool *ok) {
  std::ifstream in(path, std::ios::binary);
  if (ok) *ok = (bool)in;
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string ReadText(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool WriteBytes(const std::string &path, const void *data, size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(static_cast<const char *>(data), (std::streamsize)size);
  out.close();
  return !out.fail();
}
