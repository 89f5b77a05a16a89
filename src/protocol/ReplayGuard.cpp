#include "protocol/ReplayGuard.h"

#include <algorithm>
#include <limits>

namespace {
constexpr std::int64_t Never = std::numeric_limits<std::int64_t>::min();
}

ReplayGuard::ReplayGuard(std::int64_t windowSeconds, std::size_t capacity)
    : m_window(windowSeconds)
    , m_capacity(capacity == 0 ? 1 : capacity)
    , m_floor(Never)
{
}

ReplayGuard::Verdict ReplayGuard::Check(std::string_view sender, std::string_view nonce, std::int64_t sentAt,
                                        std::int64_t now)
{
    // Compared without overflow for any sentAt a peer may write.
    if (sentAt < now - m_window || sentAt > now + m_window)
        return Verdict::OutOfWindow;
    if (const auto known = m_senders.find(sender); known != m_senders.end())
        ForgetBefore(known->second, now - m_window);
    if (Refused(sender, nonce, sentAt))
        return Verdict::Replayed;
    MakeRoom(now);
    // Making room may have raised a floor.
    if (Refused(sender, nonce, sentAt))
        return Verdict::Replayed;
    if (m_recorder && !m_recorder({std::string(sender), std::string(nonce), sentAt}))
        return Verdict::Unrecorded;
    Remember(sender, nonce, sentAt);
    return Verdict::Fresh;
}

void ReplayGuard::Restore(const Entry &entry, std::int64_t now)
{
    if (entry.time < now - m_window)
        return;
    if (!entry.nonce.empty()) {
        if (!Refused(entry.sender, entry.nonce, entry.time)) {
            MakeRoom(now);
            Remember(entry.sender, entry.nonce, entry.time);
        }
        return;
    }
    if (entry.sender.empty()) {
        m_floor = std::max(m_floor, entry.time);
        return;
    }
    auto [it, added] = m_senders.try_emplace(entry.sender, Sender{{}, {}, entry.time});
    it->second.floor = std::max(it->second.floor, entry.time);
}

std::vector<ReplayGuard::Entry> ReplayGuard::Entries() const
{
    std::vector<Entry> entries;
    entries.reserve(m_count + m_senders.size() + 1);
    if (m_floor != Never)
        entries.push_back({{}, {}, m_floor});
    for (const auto &[name, sender] : m_senders) {
        if (sender.floor != Never)
            entries.push_back({name, {}, sender.floor});
        for (const auto &[time, nonce] : sender.byTime)
            entries.push_back({name, nonce, time});
    }
    return entries;
}

void ReplayGuard::Clear()
{
    m_senders.clear();
    m_count = 0;
    m_floor = Never;
}

bool ReplayGuard::Refused(std::string_view sender, std::string_view nonce, std::int64_t sentAt) const
{
    if (sentAt <= m_floor)
        return true;
    const auto known = m_senders.find(sender);
    return known != m_senders.end()
        && (sentAt <= known->second.floor || known->second.byNonce.find(nonce) != known->second.byNonce.end());
}

void ReplayGuard::Remember(std::string_view sender, std::string_view nonce, std::int64_t sentAt)
{
    auto it = m_senders.find(sender);
    if (it == m_senders.end())
        it = m_senders.emplace(std::string(sender), Sender{{}, {}, Never}).first;
    if (it->second.byNonce.emplace(std::string(nonce), sentAt).second) {
        it->second.byTime.emplace(sentAt, std::string(nonce));
        ++m_count;
    }
}

void ReplayGuard::MakeRoom(std::int64_t now)
{
    if (m_count < m_capacity)
        return;
    // Outside the window a message is refused by its time alone; its nonce is no longer needed,
    // nor a sender whose floor lies outside it too.
    for (auto it = m_senders.begin(); it != m_senders.end();) {
        ForgetBefore(it->second, now - m_window);
        const bool idle = it->second.byTime.empty() && it->second.floor < now - m_window;
        it = idle ? m_senders.erase(it) : std::next(it);
    }
    while (m_count >= m_capacity)
        ForgetOneOfLargest();
}

void ReplayGuard::ForgetBefore(Sender &sender, std::int64_t time)
{
    while (!sender.byTime.empty() && sender.byTime.begin()->first < time) {
        sender.byNonce.erase(sender.byTime.begin()->second);
        sender.byTime.erase(sender.byTime.begin());
        --m_count;
    }
}

void ReplayGuard::ForgetOneOfLargest()
{
    const auto largest = std::max_element(m_senders.begin(), m_senders.end(), [](const auto &a, const auto &b) {
        return a.second.byTime.size() < b.second.byTime.size();
    });
    Sender &sender = largest->second;
    const auto oldest = sender.byTime.begin();
    sender.floor = std::max(sender.floor, oldest->first);
    sender.byNonce.erase(oldest->second);
    sender.byTime.erase(oldest);
    --m_count;
    // Only when every sender holds one nonce: the last one's floor then goes to everyone.
    if (sender.byTime.empty()) {
        m_floor = std::max(m_floor, sender.floor);
        m_senders.erase(largest);
    }
}
