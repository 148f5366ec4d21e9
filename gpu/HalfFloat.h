#pragma once
// IEEE 754 binary16 ("half") conversion for vertex data stored at half size.
#include <cstdint>

// The half nearest to value (ties to even). Values beyond the half range
// become infinity with their sign; NaN stays NaN; values too small for the
// smallest subnormal become a signed zero.
uint16_t floatToHalf(float value);

// The exact float of a half.
float halfToFloat(uint16_t half);

// Two halves in one 32-bit word, the first in the low 16 bits.
inline uint32_t packHalf2(float first, float second)
{
    return uint32_t(floatToHalf(first)) | (uint32_t(floatToHalf(second)) << 16);
}
