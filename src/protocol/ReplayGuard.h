#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

// Refuses a sealed message that comes too far from the receiver's clock or again: it keeps
// the nonces of the messages it let through within the window, apart for each sender (the
// frame's salt), so that no sender's traffic can make another's refused. Memory is bounded:
// when full, the oldest nonce of the sender holding the most is forgotten, and everything that
// sender sent at or before its time is refused from then on, so a forgotten nonce can never be
// replayed.
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
        Unrecorded, // fresh, but the recorder failed: refused, since a restart would forget it
    };

    // What a restart must not forget: a nonce let through, or (empty nonce) a time at or before
    // which every message of the sender, or of everyone when the sender is empty too, is refused.
    struct Entry
    {
        std::string sender;
        std::string nonce;
        std::int64_t time = 0;
    };
    // Called with each fresh nonce before it is let through; false refuses the message.
    using Recorder = std::function<bool(const Entry &entry)>;

    explicit ReplayGuard(std::int64_t windowSeconds = DefaultWindowSeconds, std::size_t capacity = DefaultCapacity);

    // sentAt and now are Unix seconds.
    Verdict Check(std::string_view sender, std::string_view nonce, std::int64_t sentAt, std::int64_t now);

    void SetRecorder(Recorder recorder) { m_recorder = std::move(recorder); }
    // Takes back an entry that was recorded; one outside the window at `now` is dropped.
    void Restore(const Entry &entry, std::int64_t now);
    // Everything remembered, as entries that Restore takes back.
    std::vector<Entry> Entries() const;
    void Clear();

    std::size_t Remembered() const { return m_count; }
    std::int64_t Window() const { return m_window; }
    std::size_t Capacity() const { return m_capacity; }

private:
    struct Sender
    {
        std::map<std::string, std::int64_t, std::less<>> byNonce;
        std::set<std::pair<std::int64_t, std::string>> byTime;
        // Its messages sent at or before this time are refused: a nonce of theirs may have been forgotten.
        std::int64_t floor;
    };

    bool Refused(std::string_view sender, std::string_view nonce, std::int64_t sentAt) const;
    void Remember(std::string_view sender, std::string_view nonce, std::int64_t sentAt);
    void MakeRoom(std::int64_t now);
    void ForgetBefore(Sender &sender, std::int64_t time);
    void ForgetOneOfLargest();

    std::int64_t m_window;
    std::size_t m_capacity;
    std::map<std::string, Sender, std::less<>> m_senders;
    std::size_t m_count = 0;
    // Everyone's floor: raised only when a whole sender had to be forgotten to make room.
    std::int64_t m_floor;
    Recorder m_recorder;
};
