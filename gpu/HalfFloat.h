#pragma once
// IEEE 754 binary16 ("half") conversion for vertex data stored at half size.
#include <glm/gtc/packing.hpp>

#include <cstdint>

// The half nearest to value (ties to even). Values beyond the half range
// become infinity with their sign; NaN stays NaN; values too small for the
// smallest subnormal become a signed zero.
//
// Not glm::packHalf1x16, which rounds an exact tie away from zero: 1 + 2^-11
// would become 0x3c01 instead of 0x3c00, and 2^-25 the smallest subnormal
// instead of zero (31,744 floats in all; the others agree, NaN payloads
// aside).
uint16_t floatToHalf(float value);

// The exact float of a half; GLM's gives each of the 65,536 bit for bit.
inline float halfToFloat(uint16_t half)
{
    return glm::unpackHalf1x16(half);
}

// Two halves in one 32-bit word, the first in the low 16 bits.
inline uint32_t packHalf2(float first, float second)
{
    return uint32_t(floatToHalf(first)) | (uint32_t(floatToHalf(second)) << 16);
}
