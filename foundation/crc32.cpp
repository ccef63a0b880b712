#include "foundation/crc32.h"

#include <array>

namespace omb {

namespace {
constexpr std::array<uint32_t, 256> MakeTable() {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t v = i;
        for (int k = 0; k < 8; ++k) v = (v & 1) ? (v >> 1) ^ 0xEDB88320u : (v >> 1);
        t[i] = v;
    }
    return t;
}
constexpr std::array<uint32_t, 256> kTable = MakeTable();
}  // namespace

uint32_t Crc32(const void* data, size_t size) {
    const unsigned char* p = static_cast<const unsigned char*>(data);
    uint32_t crc = 0;
    for (size_t i = 0; i < size; ++i) crc = (crc >> 8) ^ kTable[(crc ^ p[i]) & 0xFF];
    return crc;
}

}  // namespace omb
