#include "crypto/SecretBytes.h"

#include "crypto/Sodium.h"

#include <sodium.h>

#include <cstring>
#include <new>
#include <utility>

SecretBytes::SecretBytes(std::size_t size)
{
    if (size == 0)
        return;
    Sodium::Init();
    m_data = static_cast<unsigned char *>(sodium_malloc(size));
    if (!m_data)
        throw std::bad_alloc();
    m_size = size;
    sodium_memzero(m_data, size);
}

SecretBytes::SecretBytes(std::string_view bytes)
    : SecretBytes(bytes.size())
{
    if (!bytes.empty())
        std::memcpy(m_data, bytes.data(), bytes.size());
}

SecretBytes::~SecretBytes()
{
    Release();
}

SecretBytes::SecretBytes(SecretBytes &&other) noexcept
    : m_data(std::exchange(other.m_data, nullptr))
    , m_size(std::exchange(other.m_size, 0))
{
}

SecretBytes &SecretBytes::operator=(SecretBytes &&other) noexcept
{
    if (this != &other) {
        Release();
        m_data = std::exchange(other.m_data, nullptr);
        m_size = std::exchange(other.m_size, 0);
    }
    return *this;
}

std::string_view SecretBytes::View() const
{
    return m_data ? std::string_view(reinterpret_cast<const char *>(m_data), m_size) : std::string_view();
}

bool SecretBytes::Equals(std::string_view other) const
{
    if (other.size() != m_size)
        return false;
    return m_size == 0 || sodium_memcmp(m_data, other.data(), m_size) == 0;
}

void SecretBytes::Release()
{
    // sodium_free wipes the bytes before it unlocks and frees them.
    if (m_data)
        sodium_free(m_data);
    m_data = nullptr;
    m_size = 0;
}
