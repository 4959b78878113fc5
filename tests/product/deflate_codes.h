// The DEFLATE constants of RFC 1951 and its canonical codes, written out
// again for the tests, apart from the decoder's own copies, so that the tests
// check the decoder against the RFC rather than against itself.
#ifndef TESTS_PRODUCT_DEFLATE_CODES_H
#define TESTS_PRODUCT_DEFLATE_CODES_H

#include <stdint.h>

#include <utility>
#include <vector>

inline const uint16_t kLengthBase[31] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27, 31,
                                         35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258, 0,  0};
inline const uint16_t kLengthExtra[31] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2,
                                          3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0, 99, 99};
inline const uint16_t kDistanceBase[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                           33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                           1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
inline const uint16_t kDistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                            6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
// The order in which a dynamic block sends its code-length code lengths.
inline const unsigned kOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

// The canonical codes of RFC 1951 for the given lengths, as (code, length).
inline std::vector<std::pair<unsigned, unsigned>> CanonicalCodes(const std::vector<unsigned> &lengths) {
  unsigned count[17] = {0}, next[17] = {0}, code = 0;
  for (unsigned l : lengths) count[l]++;
  count[0] = 0;
  for (int bits = 1; bits <= 16; bits++) next[bits] = code = (code + count[bits - 1]) << 1;
  std::vector<std::pair<unsigned, unsigned>> codes(lengths.size());
  for (size_t i = 0; i < lengths.size(); i++)
    if (lengths[i]) codes[i] = {next[lengths[i]]++, lengths[i]};
  return codes;
}

#endif
