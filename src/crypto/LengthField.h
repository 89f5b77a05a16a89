#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The three-byte big-endian length field every frame carries after its tag; the sealed codec
// writes it too, so it lives below both.
inline constexpr std::size_t LengthFieldSize = 3;
inline constexpr std::int32_t MaxLengthFieldValue = 16777215;

// n must lie in 0..16777215.
std::string EncodeLength(std::int32_t n);

// The value of a three-byte length field; 0 for a field of any other size.
std::int32_t DecodeLength(std::string_view field);
