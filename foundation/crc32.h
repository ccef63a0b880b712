// The system's 32-bit checksum of a string: the reflected table of the
// polynomial 0xEDB88320, start value 0 and no final inversion (so it differs
// from zlib's CRC-32: "abc" gives 0xCA6598D0).
#pragma once

#include <cstdint>
#include <string>

namespace omb {

uint32_t Crc32(const void* data, size_t size);
inline uint32_t Crc32(const std::string& s) { return Crc32(s.data(), s.size()); }

}  // namespace omb
