#include "protocol/WireFormat.h"

#include "crypto/Encrypt.h"

std::optional<std::string> WriteFrame(std::string_view text, std::string_view password)
{
    if (text.size() > static_cast<std::size_t>(ZaridoDovo::MaxFrameLength))
        return std::nullopt;
    const bool enciphered = !password.empty();
    std::string frame;
    frame.reserve(ZaridoDovo::HeaderSize + text.size());
    frame += enciphered ? CryptString(ZaridoDovo::SecureTag, password) : std::string(ZaridoDovo::PlainTag);
    frame += EncodeLength(static_cast<std::int32_t>(text.size()));
    // The text is copied once, into the frame, and enciphered there.
    const std::size_t start = frame.size();
    frame += text;
    if (enciphered)
        CryptInPlace(frame.data() + start, text.size(), password);
    return frame;
}
