#include "crypto/Encrypt.h"

#include <array>
#include <cstdint>
#include <cstring>

namespace {

// One RC4 keystream. Lives for a single CryptString call, so calls never share state.
class KeyStream
{
public:
    explicit KeyStream(std::string_view password) { InitKeyStream(password); }

    // Enciphers n bytes from in to out.
    void Crypt(const unsigned char *in, unsigned char *out, std::size_t n)
    {
        // The indices live in locals: as members they would alias the byte table and be
        // written back to memory on every step.
        std::uint8_t i = 0;
        std::uint8_t j = 0;
        std::size_t p = 0;
        // Eight keystream bytes are gathered into one word and applied with one XOR: the
        // unrolled steps give the processor independent work to overlap with the table walk.
        for (; p + 8 <= n; p += 8) {
            std::uint64_t keys = 0;
#pragma GCC unroll 8
            for (unsigned k = 0; k < 8; ++k)
                keys |= std::uint64_t{CryptByte(i, j)} << (8 * k);
            std::uint64_t block;
            std::memcpy(&block, in + p, sizeof block);
            block ^= keys;
            std::memcpy(out + p, &block, sizeof block);
        }
        for (; p < n; ++p)
            out[p] = static_cast<unsigned char>(in[p] ^ CryptByte(i, j));
    }

private:
    void InitKeyStream(std::string_view password)
    {
        for (unsigned a = 0; a < 256; ++a)
            m_perm[a] = static_cast<std::uint8_t>(a);
        // The key table is the password repeated; a password over 256 bytes is cut there.
        std::uint8_t j = 0;
        for (std::size_t a = 0; a < 256; ++a) {
            j = static_cast<std::uint8_t>(j + m_perm[a] + static_cast<unsigned char>(password[a % password.size()]));
            std::swap(m_perm[a], m_perm[j]);
        }
    }

    // One output step: the next keystream byte. Indices are bytes, so they wrap at 256 by themselves.
    std::uint8_t CryptByte(std::uint8_t &i, std::uint8_t &j)
    {
        ++i;
        const std::uint8_t si = m_perm[i];
        j = static_cast<std::uint8_t>(j + si);
        const std::uint8_t sj = m_perm[j];
        m_perm[i] = sj;
        m_perm[j] = si;
        return m_perm[static_cast<std::uint8_t>(si + sj)];
    }

    std::array<std::uint8_t, 256> m_perm{};
};

} // namespace

std::string CryptString(std::string_view text, std::string_view password)
{
    if (password.empty())
        return {};
    std::string result(text.size(), '\0');
    KeyStream stream(password);
    stream.Crypt(reinterpret_cast<const unsigned char *>(text.data()), reinterpret_cast<unsigned char *>(result.data()),
                 text.size());
    return result;
}

void CryptInPlace(char *bytes, std::size_t size, std::string_view password)
{
    if (password.empty())
        return;
    auto *data = reinterpret_cast<unsigned char *>(bytes);
    KeyStream(password).Crypt(data, data, size);
}
