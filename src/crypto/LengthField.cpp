#include "crypto/LengthField.h"

#include <cassert>

std::string EncodeLength(std::int32_t n)
{
    assert(n >= 0 && n <= MaxLengthFieldValue);
    const auto value = static_cast<std::uint32_t>(n);
    return {static_cast<char>((value >> 16) & 0xFF), static_cast<char>((value >> 8) & 0xFF),
            static_cast<char>(value & 0xFF)};
}

std::int32_t DecodeLength(std::string_view field)
{
    if (field.size() != LengthFieldSize)
        return 0;
    const auto byte = [&](std::size_t k) { return static_cast<std::int32_t>(static_cast<unsigned char>(field[k])); };
    return (byte(0) << 16) | (byte(1) << 8) | byte(2);
}
