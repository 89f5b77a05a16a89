#pragma once

#include "crypto/Cipher.h"
#include "crypto/LengthField.h"
#include "crypto/SealedFrame.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The wire format shared by both endpoints: a 5-byte tag, a 3-byte big-endian payload
// length, then the payload. Enciphered frames put the tag and the payload (not the length)
// through CryptString, each from the start of the keystream.
namespace ZaridoDovo {

inline constexpr std::string_view PlainTag = "STALK";
inline constexpr std::string_view SecureTag = "CTALK";
// A literal, so a receiver knows a sealed frame before it has any key.
inline constexpr std::string_view SealedTag = SealedFrame::Tag;
inline constexpr std::size_t TagSize = 5;
inline constexpr std::size_t LengthFieldSize = ::LengthFieldSize;
inline constexpr std::size_t HeaderSize = TagSize + LengthFieldSize;

// The largest payload a receiver accepts, and the largest the length field can express.
inline constexpr std::int32_t MaxMessageLength = 1048576;
// How often a receiver looks for silent connections; its time-out setting counts these ticks.
inline constexpr int IdleTickMilliseconds = 10000;
inline constexpr std::int32_t MaxFrameLength = MaxLengthFieldValue;
// A sealed frame carries the same text limit plus what sealing adds.
inline constexpr std::int32_t MaxSealedLength = MaxMessageLength + static_cast<std::int32_t>(SealedFrame::Overhead);

inline constexpr std::string_view ReplyOk = "OK";
inline constexpr std::string_view ReplyBad = "BAD";
inline constexpr std::string_view ReplyMaxSize = "MAXSIZE";
// Sealed answers to a frame that opened with the password but is refused all the same: its
// sender's clock is too far off, or it was received before.
inline constexpr std::string_view ReplyClock = "CLOCK";
inline constexpr std::string_view ReplyReplay = "REPLAY";
// Plain: the receiver cannot derive a new sender's key now; the same frame may pass later.
inline constexpr std::string_view ReplyBusy = "BUSY";
// A listener that saves messages answers this when the text did not reach the disk.
inline constexpr std::string_view ReplyNotSaved = "NOTSAVED";
// What the sender reports in place of a reply it could not read.
inline constexpr std::string_view InvalidReply = "Invalid Message Received";

} // namespace ZaridoDovo

// Frames text in enciphered mode when password is not empty, in plain mode otherwise.
// Nothing for a text longer than the length field can express (senders refuse it before).
std::optional<std::string> WriteFrame(std::string_view text, std::string_view password);
