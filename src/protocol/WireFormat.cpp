#include "protocol/WireFormat.h"

#include "crypto/Encrypt.h"

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
