#include "crypto/PasswordKdf.h"

#include "crypto/SealedFrame.h"
#include "crypto/Sodium.h"

#include <sodium.h>

static_assert(SealedFrame::SaltSize == crypto_pwhash_SALTBYTES);
static_assert(SealedFrame::KeySize == crypto_aead_xchacha20poly1305_ietf_KEYBYTES);

PasswordKdf::Cost PasswordKdf::Interactive()
{
    return {crypto_pwhash_OPSLIMIT_INTERACTIVE, crypto_pwhash_MEMLIMIT_INTERACTIVE};
}

PasswordKdf::Cost PasswordKdf::Minimal()
{
    return {crypto_pwhash_OPSLIMIT_MIN, crypto_pwhash_MEMLIMIT_MIN};
}

PasswordKdf::PasswordKdf(Cost cost)
    : m_cost(cost)
{
}

std::string PasswordKdf::NewSalt()
{
    return Sodium::RandomBytes(SealedFrame::SaltSize);
}

SecretBytes PasswordKdf::Derive(const SecretBytes &password, std::string_view salt) const
{
    if (salt.size() != SealedFrame::SaltSize)
        return {};
    SecretBytes key(SealedFrame::KeySize);
    const char *passwordBytes = password.Empty() ? "" : reinterpret_cast<const char *>(password.Data());
    if (crypto_pwhash(key.Data(), key.Size(), passwordBytes, password.Size(),
                      reinterpret_cast<const unsigned char *>(salt.data()), m_cost.operations, m_cost.memoryBytes,
                      crypto_pwhash_ALG_ARGON2ID13)
        != 0)
        return {};
    return key;
}
