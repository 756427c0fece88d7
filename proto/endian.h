// Little-endian byte order of the wire: every integer and double of the
// protocol (lengths, counts, values) is stored with its lowest byte first,
// whatever the machine.  The one place that knows it; header only.
#ifndef PROTO_ENDIAN_H
#define PROTO_ENDIAN_H

#include <cstdint>
#include <cstring>

inline void le_put16(char *p, uint16_t v) {
  p[0] = static_cast<char>(v & 0xff);
  p[1] = static_cast<char>(v >> 8);
}

inline void le_put32(char *p, uint32_t v) {
  for (int i = 0; i < 4; i++) p[i] = static_cast<char>((v >> (8 * i)) & 0xff);
}

inline void le_put64(char *p, uint64_t v) {
  for (int i = 0; i < 8; i++) p[i] = static_cast<char>((v >> (8 * i)) & 0xff);
}

inline uint16_t le_get16(const char *p) {
  const unsigned char *u = reinterpret_cast<const unsigned char *>(p);
  return static_cast<uint16_t>(u[0] | (u[1] << 8));
}

inline uint32_t le_get32(const char *p) {
  const unsigned char *u = reinterpret_cast<const unsigned char *>(p);
  return static_cast<uint32_t>(u[0]) | (static_cast<uint32_t>(u[1]) << 8) |
         (static_cast<uint32_t>(u[2]) << 16) | (static_cast<uint32_t>(u[3]) << 24);
}

inline uint64_t le_get64(const char *p) {
  return le_get32(p) | (static_cast<uint64_t>(le_get32(p + 4)) << 32);
}

inline void le_put_double(char *p, double d) {
  uint64_t bits;
  memcpy(&bits, &d, 8);
  le_put64(p, bits);
}

inline double le_get_double(const char *p) {
  uint64_t bits = le_get64(p);
  double d;
  memcpy(&d, &bits, 8);
  return d;
}

#endif
