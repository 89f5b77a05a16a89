#pragma once

#include <QByteArray>

#include <optional>

class SecretBytes;

// Seals what passes between the phone's page and the program with the pairing's key:
// XSalsa20-Poly1305, laid out as nonce (24) | MAC (16) | ciphertext, the bytes the page's
// library builds with its secretbox and a nonce of its own in front.
namespace PhoneSeal {

constexpr int KeySize = 32;
constexpr int NonceSize = 24;
constexpr int Overhead = NonceSize + 16;

// nonce: empty for a fresh random one (only tests give their own).
QByteArray Seal(const SecretBytes &key, const QByteArray &plain, const QByteArray &nonce = {});
// Nothing when the key is wrong, the bytes were changed or are too short.
std::optional<QByteArray> Open(const SecretBytes &key, const QByteArray &sealed);

// base64url without padding: how keys and sessions travel in the link.
QByteArray ToLink(const QByteArray &bytes);

} // namespace PhoneSeal
