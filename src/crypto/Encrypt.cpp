#include "crypto/Encrypt.h"

#include <array>
#include <cstdint>

namespace {

// One RC4 keystream. Lives for a single CryptString call, so calls never share state.
class KeyStream
{
public:
    explicit KeyStream(std::string_view password) { InitKeyStream(password); }

    // Enciphers n bytes from in to out (they may be the same buffer).
    void Crypt(const unsigned char *in, unsigned char *out, std::size_t n)
    {
        // Local copies of the indices let the compiler keep them in registers.
        std::uint32_t i = m_i;
        std::uint32_t j = m_j;
        for (std::size_t p = 0; p < n; ++p)
            out[p] = CryptByte(in[p], i, j);
        m_i = i;
        m_j = j;
    }

private:
    void InitKeyStream(std::string_view password)
    {
        for (std::uint32_t a = 0; a < 256; ++a)
            m_perm[a] = a;
        // The key table is the password repeated; a password over 256 bytes is cut there.
        std::uint32_t j = 0;
        for (std::size_t a = 0; a < 256; ++a) {
            const auto key = static_cast<unsigned char>(password[a % password.size()]);
            j = (j + m_perm[a] + key) & 0xFF;
            std::swap(m_perm[a], m_perm[j]);
        }
    }

    unsigned char CryptByte(unsigned char b, std::uint32_t &i, std::uint32_t &j)
    {
        i = (i + 1) & 0xFF;
        const std::uint32_t si = m_perm[i];
        j = (j + si) & 0xFF;
        const std::uint32_t sj = m_perm[j];
        m_perm[i] = sj;
        m_perm[j] = si;
        return static_cast<unsigned char>(b ^ m_perm[(si + sj) & 0xFF]);
    }

    // 32-bit entries: byte-wide ones cost partial-register stalls on x86.
    std::array<std::uint32_t, 256> m_perm{};
    std::uint32_t m_i = 0;
    std::uint32_t m_j = 0;
};

} // namespace

std::string CryptString(std::string_view text, std::string_view password)
{
    if (password.empty())
        return {};
    std::string result(text.size(), '\0');
    KeyStream stream(password);
    stream.Crypt(reinterpret_cast<const unsigned char *>(text.data()),
                 reinterpret_cast<unsigned char *>(result.data()), text.size());
    return result;
}
