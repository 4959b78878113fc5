// Bytes, and whole files read and written as bytes or as text (host paths).
#ifndef TESTS_SUPPORT_BYTES_H
#define TESTS_SUPPORT_BYTES_H

#include <stddef.h>

#include <string>
#include <vector>

typedef std::vector<unsigned char> Bytes;

// The file's bytes; empty, with *ok false, when it cannot be read.
Bytes ReadBytes(const std::string &path, bool *ok = nullptr);
// The file's bytes as a string ("" when it cannot be read).
std::string ReadText(const std::string &path);
// Creates or replaces the file with the bytes; false when that failed.
bool WriteBytes(const std::string &path, const void *data, size_t size);
inline bool WriteBytes(const std::string &path, const Bytes &data) {
  return WriteBytes(path, data.data(), data.size());
}

#endif
