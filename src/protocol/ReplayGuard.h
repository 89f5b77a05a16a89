#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>

// Refuses a sealed message that comes too far from the receiver's clock or again: it keeps
// the nonces of the messages it let through within the window. Memory is bounded: when full,
// the oldest nonce is forgotten and everything sent at or before its time is refused from then
// on, so a forgotten nonce can never be replayed.
class ReplayGuard
{
public:
    // Both clocks may be off by a few minutes; a replay needs the password to fill the memory.
    static constexpr std::int64_t DefaultWindowSeconds = 300;
    static constexpr std::size_t DefaultCapacity = 65536;

    enum class Verdict {
        Fresh,     // let through, and remembered
        OutOfWindow,
        Replayed,
    };

    explicit ReplayGuard(std::int64_t windowSeconds = DefaultWindowSeconds, std::size_t capacity = DefaultCapacity);

    // sentAt and now are Unix seconds.
    Verdict Check(std::string_view nonce, std::int64_t sentAt, std::int64_t now);

    std::size_t Remembered() const { return m_byNonce.size(); }

private:
    void ForgetBefore(std::int64_t time);
    void ForgetOldest();

    std::int64_t m_window;
    std::size_t m_capacity;
    std::map<std::string, std::int64_t, std::less<>> m_byNonce;
    std::set<std::pair<std::int64_t, std::string>> m_byTime;
    // Messages sent at or before this time are refused: a nonce of theirs may have been forgotten.
    std::int64_t m_floor;
};
