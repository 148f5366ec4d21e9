#include "gpu/HalfFloat.h"

#include <cstring>

namespace {

uint32_t floatBits(float value)
{
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

// Shifts right by shift bits, rounding the dropped bits to nearest, ties to
// an even result.
uint32_t shiftRounded(uint32_t value, unsigned shift)
{
    const uint32_t kept = value >> shift;
    const uint32_t dropped = value & ((1u << shift) - 1u);
    const uint32_t halfway = 1u << (shift - 1);
    if (dropped > halfway || (dropped == halfway && (kept & 1u)))
        return kept + 1u;
    return kept;
}

} // namespace

uint16_t floatToHalf(float value)
{
    const uint32_t bits = floatBits(value);
    const uint32_t sign = (bits >> 16) & 0x8000u;
    const uint32_t magnitude = bits & 0x7fffffffu;

    if (magnitude > 0x7f800000u)  // NaN: keep it a quiet NaN
        return uint16_t(sign | 0x7e00u);
    if (magnitude >= 0x47800000u) // 65536 and beyond, infinity included
        return uint16_t(sign | 0x7c00u);
    if (magnitude >= 0x38800000u) {
        // Normal half. Rebias the exponent (127 -> 15) and round away the
        // 13 extra mantissa bits; a carry out of the mantissa steps the
        // exponent up, which turns 65520 and above into infinity.
        return uint16_t(sign | shiftRounded(magnitude - 0x38000000u, 13));
    }
    if (magnitude < 0x33000000u) // below half of the smallest subnormal
        return uint16_t(sign);
    // Subnormal half: the value in units of 2^-24, rounded.
    const uint32_t exponent = magnitude >> 23;
    const uint32_t mantissa = (magnitude & 0x7fffffu) | 0x800000u;
    return uint16_t(sign | shiftRounded(mantissa, 126u - exponent));
}
