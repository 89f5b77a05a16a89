#include "crypto/SealedFrame.h"

#include "crypto/Sodium.h"

#include <sodium.h>

static_assert(SealedFrame::NonceSize == crypto_aead_xchacha20poly1305_ietf_NPUBBYTES);
static_assert(SealedFrame::MacSize == crypto_aead_xchacha20poly1305_ietf_ABYTES);

namespace {

const auto *Bytes(std::string_view view)
{
    return reinterpret_cast<const unsigned char *>(view.data());
}

// Header, version and, for a reply, the request's nonce.
std::string AssociatedData(std::string_view headerAndVersion, std::string_view boundNonce)
{
    std::string data(headerAndVersion);
    data += boundNonce;
    return data;
}

constexpr std::size_t EnvelopeSize = 1 + SealedFrame::SaltSize + SealedFrame::NonceSize;

} // namespace

std::string SealedFrame::Seal(const SecretBytes &key, std::string_view salt, std::string_view nonce, std::int64_t time,
                              std::string_view text, std::string_view boundNonce)
{
    if (text.size() > MaxText || key.Size() != KeySize || salt.size() != SaltSize || nonce.size() != NonceSize)
        return {};
    Sodium::Init();
    const std::size_t payloadSize = Overhead + text.size();
    std::string frame;
    frame.resize(HeaderSize + payloadSize);
    frame.replace(0, Tag.size(), Tag);
    frame.replace(Tag.size(), LengthFieldSize, EncodeLength(static_cast<std::int32_t>(payloadSize)));
    frame[8] = static_cast<char>(Version);
    frame.replace(9, SaltSize, salt);
    frame.replace(9 + SaltSize, NonceSize, nonce);

    // The plaintext is written in place where its ciphertext goes; libsodium seals in place.
    const std::size_t sealedAt = HeaderSize + EnvelopeSize;
    auto *plain = reinterpret_cast<unsigned char *>(frame.data() + sealedAt);
    const auto t = static_cast<std::uint64_t>(time);
    for (std::size_t k = 0; k < TimeSize; ++k)
        plain[k] = static_cast<unsigned char>(t >> (8 * (TimeSize - 1 - k)));
    if (!text.empty())
        std::copy(text.begin(), text.end(), frame.begin() + static_cast<std::ptrdiff_t>(sealedAt + TimeSize));

    const std::string ad = AssociatedData(std::string_view(frame).substr(0, HeaderSize + 1), boundNonce);
    unsigned long long sealedSize = 0;
    crypto_aead_xchacha20poly1305_ietf_encrypt(plain, &sealedSize, plain, TimeSize + text.size(), Bytes(ad), ad.size(),
                                               nullptr, Bytes(nonce), key.Data());
    return frame;
}

std::string SealedFrame::NewNonce()
{
    return Sodium::RandomBytes(NonceSize);
}

std::optional<SealedFrame::Envelope> SealedFrame::Inspect(std::string_view frame)
{
    if (frame.size() < HeaderSize)
        return std::nullopt;
    return Inspect(frame.substr(0, HeaderSize), frame.substr(HeaderSize));
}

std::optional<SealedFrame::Envelope> SealedFrame::Inspect(std::string_view header, std::string_view payload)
{
    if (header.size() != HeaderSize || header.substr(0, Tag.size()) != Tag || payload.size() < Overhead)
        return std::nullopt;
    if (static_cast<std::size_t>(DecodeLength(header.substr(Tag.size()))) != payload.size())
        return std::nullopt;
    return Envelope{static_cast<unsigned char>(payload[0]), payload.substr(1, SaltSize), payload.substr(1 + SaltSize, NonceSize)};
}

std::optional<SealedFrame::Opened> SealedFrame::Open(const SecretBytes &key, std::string_view frame,
                                                     std::string_view boundNonce)
{
    if (frame.size() < HeaderSize)
        return std::nullopt;
    return Open(key, frame.substr(0, HeaderSize), frame.substr(HeaderSize), boundNonce);
}

std::optional<SealedFrame::Opened> SealedFrame::Open(const SecretBytes &key, std::string_view header,
                                                     std::string_view payload, std::string_view boundNonce)
{
    const std::optional<Envelope> envelope = Inspect(header, payload);
    if (!envelope || envelope->version != Version || key.Size() != KeySize)
        return std::nullopt;
    Sodium::Init();
    const std::string_view sealed = payload.substr(EnvelopeSize);
    std::string ad(header);
    ad += payload.substr(0, 1);
    ad += boundNonce;
    std::string plain(sealed.size() - MacSize, '\0');
    unsigned long long plainSize = 0;
    if (crypto_aead_xchacha20poly1305_ietf_decrypt(reinterpret_cast<unsigned char *>(plain.data()), &plainSize, nullptr,
                                                   Bytes(sealed), sealed.size(), Bytes(ad), ad.size(),
                                                   Bytes(envelope->nonce), key.Data())
        != 0)
        return std::nullopt;
    std::uint64_t t = 0;
    for (std::size_t k = 0; k < TimeSize; ++k)
        t = (t << 8) | static_cast<unsigned char>(plain[k]);
    plain.erase(0, TimeSize);
    return Opened{static_cast<std::int64_t>(t), std::move(plain)};
}
