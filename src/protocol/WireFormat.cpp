#include "protocol/WireFormat.h"

#include "crypto/Encrypt.h"

#include <cassert>

std::string EncodeLength(std::int32_t n)
{
    assert(n >= 0 && n <= ZaridoDovo::MaxFrameLength);
    const auto value = static_cast<std::uint32_t>(n);
    return {static_cast<char>((value >> 16) & 0xFF), static_cast<char>((value >> 8) & 0xFF),
            static_cast<char>(value & 0xFF)};
}

std::int32_t DecodeLength(std::string_view field)
{
    if (field.size() != ZaridoDovo::LengthFieldSize)
        return 0;
    const auto byte = [&](std::size_t k) { return static_cast<std::int32_t>(static_cast<unsigned char>(field[k])); };
    return (byte(0) << 16) | (byte(1) << 8) | byte(2);
}

EncodedFrame WriteFrame(std::string_view text, std::string_view password)
{
    if (text.size() > static_cast<std::size_t>(ZaridoDovo::MaxFrameLength)) {
        return {{}, "Message too long: " + std::to_string(text.size()) + " bytes (a frame carries at most "
                        + std::to_string(ZaridoDovo::MaxFrameLength) + ")"};
    }
    const bool enciphered = !password.empty();
    EncodedFrame frame;
    frame.bytes.reserve(ZaridoDovo::HeaderSize + text.size());
    frame.bytes += enciphered ? CryptString(ZaridoDovo::SecureTag, password) : std::string(ZaridoDovo::PlainTag);
    frame.bytes += EncodeLength(static_cast<std::int32_t>(text.size()));
    frame.bytes += enciphered ? CryptString(text, password) : std::string(text);
    return frame;
}
