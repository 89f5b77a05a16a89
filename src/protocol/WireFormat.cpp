#include "protocol/WireFormat.h"

#include "crypto/Encrypt.h"

std::optional<std::string> WriteFrame(std::string_view text, std::string_view password)
{
    if (text.size() > static_cast<std::size_t>(ZaridoDovo::MaxFrameLength))
        return std::nullopt;
    const bool enciphered = !password.empty();
    std::string frame;
    frame.reserve(ZaridoDovo::HeaderSize + text.size());
    frame += enciphered ? ZaridoDovo::SecureTag : ZaridoDovo::PlainTag;
    frame += EncodeLength(static_cast<std::int32_t>(text.size()));
    frame += text; // copied once, into the frame
    if (enciphered) {
        // Tag and text each with a keystream of their own; the length field stays in the clear.
        CryptInPlace(frame.data(), ZaridoDovo::TagSize, password);
        CryptInPlace(frame.data() + ZaridoDovo::HeaderSize, text.size(), password);
    }
    return frame;
}
