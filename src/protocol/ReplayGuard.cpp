#include "protocol/ReplayGuard.h"

#include <limits>

ReplayGuard::ReplayGuard(std::int64_t windowSeconds, std::size_t capacity)
    : m_window(windowSeconds)
    , m_capacity(capacity == 0 ? 1 : capacity)
    , m_floor(std::numeric_limits<std::int64_t>::min())
{
}

ReplayGuard::Verdict ReplayGuard::Check(std::string_view nonce, std::int64_t sentAt, std::int64_t now)
{
    // Compared without overflow for any sentAt a peer may write.
    if (sentAt < now - m_window || sentAt > now + m_window)
        return Verdict::OutOfWindow;
    ForgetBefore(now - m_window);
    if (m_byNonce.find(nonce) != m_byNonce.end() || sentAt <= m_floor)
        return Verdict::Replayed;
    while (m_byNonce.size() >= m_capacity)
        ForgetOldest();
    if (sentAt <= m_floor)
        return Verdict::Replayed;
    m_byNonce.emplace(std::string(nonce), sentAt);
    m_byTime.emplace(sentAt, std::string(nonce));
    return Verdict::Fresh;
}

void ReplayGuard::ForgetBefore(std::int64_t time)
{
    // Outside the window a message is refused by its time alone; its nonce is no longer needed.
    while (!m_byTime.empty() && m_byTime.begin()->first < time) {
        m_byNonce.erase(m_byTime.begin()->second);
        m_byTime.erase(m_byTime.begin());
    }
}

void ReplayGuard::ForgetOldest()
{
    const auto oldest = m_byTime.begin();
    if (oldest->first > m_floor)
        m_floor = oldest->first;
    m_byNonce.erase(oldest->second);
    m_byTime.erase(oldest);
}
