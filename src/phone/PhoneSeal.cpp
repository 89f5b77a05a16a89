#include "phone/PhoneSeal.h"

#include "crypto/SecretBytes.h"
#include "crypto/Sodium.h"

#include <sodium.h>

namespace PhoneSeal {

static_assert(KeySize == crypto_secretbox_KEYBYTES && NonceSize == crypto_secretbox_NONCEBYTES
              && Overhead == NonceSize + int(crypto_secretbox_MACBYTES));

QByteArray Seal(const SecretBytes &key, const QByteArray &plain, const QByteArray &nonce)
{
    Q_ASSERT(key.Size() == KeySize);
    Sodium::Init();
    const QByteArray front = nonce.isEmpty() ? QByteArray::fromStdString(Sodium::RandomBytes(NonceSize)) : nonce;
    Q_ASSERT(front.size() == NonceSize);
    QByteArray sealed(Overhead + plain.size(), Qt::Uninitialized);
    std::copy(front.cbegin(), front.cend(), sealed.begin());
    auto *box = reinterpret_cast<unsigned char *>(sealed.data()) + NonceSize;
    crypto_secretbox_easy(box, reinterpret_cast<const unsigned char *>(plain.constData()), std::size_t(plain.size()),
                          reinterpret_cast<const unsigned char *>(front.constData()), key.Data());
    return sealed;
}

std::optional<QByteArray> Open(const SecretBytes &key, const QByteArray &sealed)
{
    if (key.Size() != KeySize || sealed.size() < Overhead)
        return std::nullopt;
    Sodium::Init();
    QByteArray plain(sealed.size() - Overhead, Qt::Uninitialized);
    const auto *bytes = reinterpret_cast<const unsigned char *>(sealed.constData());
    if (crypto_secretbox_open_easy(reinterpret_cast<unsigned char *>(plain.data()), bytes + NonceSize,
                                   std::size_t(sealed.size() - NonceSize), bytes, key.Data())
        != 0)
        return std::nullopt;
    return plain;
}

QByteArray ToLink(const QByteArray &bytes)
{
    return bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}

} // namespace PhoneSeal
