#pragma once

#include <cstddef>
#include <string_view>

// Bytes that must not leak: a password or a derived key. They live in memory that libsodium
// guards and locks against swapping, and are wiped when the holder goes. Move-only.
class SecretBytes
{
public:
    SecretBytes() = default;
    explicit SecretBytes(std::size_t size);
    explicit SecretBytes(std::string_view bytes);
    ~SecretBytes();

    SecretBytes(SecretBytes &&other) noexcept;
    SecretBytes &operator=(SecretBytes &&other) noexcept;
    SecretBytes(const SecretBytes &) = delete;
    SecretBytes &operator=(const SecretBytes &) = delete;

    unsigned char *Data() { return m_data; }
    const unsigned char *Data() const { return m_data; }
    std::size_t Size() const { return m_size; }
    bool Empty() const { return m_size == 0; }
    std::string_view View() const;
    // Compares in time independent of where the bytes differ.
    bool Equals(std::string_view other) const;

private:
    void Release();

    unsigned char *m_data = nullptr;
    std::size_t m_size = 0;
};
