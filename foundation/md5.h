// MD5 message digest (RFC 1321), computed in a stream so that a text of any
// length fits.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace omb {

using TMD5Digest = std::array<uint8_t, 16>;

class TCrMD5 {
public:
    TCrMD5() { Reset(); }

    void Reset();
    void Update(const void* data, size_t size);
    // Finishes the digest (state words low byte first) and resets.
    TMD5Digest Final();

    static TMD5Digest Digest(const std::string& text);

private:
    void Transform(const uint8_t block[64]);

    uint32_t state_[4];
    uint64_t length_ = 0;  // bytes so far
    uint8_t block_[64];
    size_t used_ = 0;
};

}  // namespace omb
