#pragma once

#include "crypto/LengthField.h"
#include "crypto/SecretBytes.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The sealed frame, as bytes: the literal tag, the three-byte big-endian payload length, then
//   version (1) | salt (16) | nonce (24) | XChaCha20-Poly1305 of (time, 8 bytes BE | text) with its 16-byte tag.
// The associated data is the 8-byte header and the version, and for a reply also the nonce of
// the request it answers, so a reply cannot be moved to another request.
class SealedFrame
{
public:
    static constexpr std::string_view Tag = "SSEAL";
    static constexpr unsigned char Version = 1;
    static constexpr std::size_t HeaderSize = 8;
    static constexpr std::size_t SaltSize = 16;
    static constexpr std::size_t NonceSize = 24;
    static constexpr std::size_t KeySize = 32;
    static constexpr std::size_t TimeSize = 8;
    static constexpr std::size_t MacSize = 16;
    // What sealing adds to the text's length in the payload.
    static constexpr std::size_t Overhead = 1 + SaltSize + NonceSize + TimeSize + MacSize;
    static constexpr std::size_t MaxLengthField = MaxLengthFieldValue;
    static constexpr std::size_t MaxText = MaxLengthField - Overhead;

    // The parts of a sealed frame that can be read without the key.
    struct Envelope
    {
        unsigned char version;
        std::string_view salt;
        std::string_view nonce;
    };

    struct Opened
    {
        std::int64_t time;
        std::string text;
    };

    // The whole frame. Empty when the text is longer than MaxText, the key, salt or nonce has
    // the wrong size. boundNonce is empty for a message and the request's nonce for a reply.
    static std::string Seal(const SecretBytes &key, std::string_view salt, std::string_view nonce, std::int64_t time,
                            std::string_view text, std::string_view boundNonce = {});

    // A fresh random nonce; never reuse one with the same key.
    static std::string NewNonce();

    // Nothing when the bytes are not one whole sealed frame (tag, length and payload size).
    static std::optional<Envelope> Inspect(std::string_view frame);
    // The same for a frame held as its 8-byte header and its payload.
    static std::optional<Envelope> Inspect(std::string_view header, std::string_view payload);

    // Nothing when the frame is not whole, its version unknown, or it does not open with this
    // key and boundNonce (wrong password, any byte changed, a reply to another request).
    static std::optional<Opened> Open(const SecretBytes &key, std::string_view frame, std::string_view boundNonce = {});
    static std::optional<Opened> Open(const SecretBytes &key, std::string_view header, std::string_view payload,
                                      std::string_view boundNonce);
};
