// Little-endian loads: how ZIP records, shell links and the CRC's words
// store their numbers, whatever the processor's own order.
#ifndef COMMON_LE_H
#define COMMON_LE_H

#include <stdint.h>

inline uint16_t ReadLe16(const unsigned char *b) {
  return (uint16_t)(b[0] | (b[1] << 8));
}

inline uint32_t ReadLe32(const unsigned char *b) {
  return (uint32_t)b[0] | ((uint32_t)b[1] << 8) | ((uint32_t)b[2] << 16) | ((uint32_t)b[3] << 24);
}

#endif
