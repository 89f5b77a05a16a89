#pragma once

#include "crypto/SecretBytes.h"
#include "protocol/FrameReader.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

class ReplayGuard;

// The receiving side's reading and judging of one connection, without sockets: it takes the
// bytes of each data event and says what the server must do next. The server only feeds it
// and acts on the verdict, so every rule about what is delivered, refused or ignored lives here.
class MessageJudge
{
public:
    enum class Verdict {
        Wait,                 // header or payload incomplete
        NoMessage,            // the connection carries no message: end it quietly, no reply
        Deliver,              // Text() is the message; reply "OK"
        RefuseOversized,      // declared length above the limit; reply "MAXSIZE"
        RefuseOverlong,       // more payload than declared; reply "BAD"
        RefuseUndecipherable, // did not open, or not in a cipher accepted here; reply "BAD" in plain mode
        NeedKey,              // a whole sealed frame: open it with the key of SealedSalt() (OpenSealed)
        RefuseReplay,         // a sealed frame seen before; reply "REPLAY", sealed
        RefuseStale,          // a sealed frame sent outside the time window; reply "CLOCK", sealed
        RefuseUnrecorded,     // a fresh sealed frame whose nonce could not be kept; reply "BUSY"
    };

    struct Reason
    {
        std::string_view logged;
        std::string_view told; // to the receiving user, after "Invalid Message Received: "
    };

    MessageJudge() = default;
    MessageJudge(std::string_view password, bool secureOnly, bool acceptLegacy = true);

    // Meant for use between connections. Sealed frames are accepted whenever there is a
    // password; legacy ones only when acceptLegacy.
    void Configure(std::shared_ptr<const SecretBytes> password, bool secureOnly, bool acceptLegacy);

    // The bytes of one data event. Once a connection's message has been delivered or refused,
    // it carries nothing else: later bytes give NoMessage and are not stored.
    Verdict Feed(std::string_view data);

    // What the peer's close means for what has arrived: NoMessage when no whole header came or
    // the message was already delivered; Wait (nothing to do) when a payload was cut short.
    Verdict PeerClosed() const;

    // After NeedKey: the sender's salt, whose key opens the frame.
    std::string SealedSalt() const;
    // After NeedKey: Deliver, RefuseUndecipherable, RefuseReplay, RefuseStale or
    // RefuseUnrecorded. now is Unix seconds.
    Verdict OpenSealed(const SecretBytes &key, ReplayGuard &guard, std::int64_t now);
    // Once a sealed frame opened (delivered, or refused as a replay or stale): its nonce, to
    // which the sealed reply is bound.
    const std::string &RequestNonce() const { return m_requestNonce; }
    bool ReplySealed() const { return !m_requestNonce.empty(); }

    // The delivered text (after deciphering); valid after Deliver.
    std::string_view Text() const;
    // The same bytes as a handle to hand on: the frame's own buffer where it can be, never a copy of it.
    QByteArray Message() const;
    // Whether a reply to this connection goes out enciphered: only the answer to a message
    // that deciphered to the secure tag. Refusals go out plain, except those of a sealed frame
    // that opened (ReplySealed).
    bool ReplyEnciphered() const { return m_replyEnciphered; }
    // Set when a frame with an enciphered tag reached a server that has no password.
    bool NoPasswordNotice() const { return m_noPasswordNotice; }
    // Why a message was refused, as it is logged; empty unless a Refuse verdict was given.
    const std::string &RefusalReason() const { return m_refusalReason; }
    // The same refusal in words for the receiving user.
    const std::string &RefusalExplanation() const { return m_refusalExplanation; }
    // Bytes held for this connection: at most the limit, plus the deciphered copy of a delivered message.
    std::size_t BufferedBytes() const;

    // Forgets the connection.
    void Reset();

private:
    Verdict Decide(FrameReader::Status status);
    Verdict Refuse(Verdict verdict, const Reason &reason);
    Verdict Open();
    bool HasPassword() const { return m_password && !m_password->Empty(); }

    std::shared_ptr<const SecretBytes> m_password;
    bool m_secureOnly = false;
    bool m_acceptLegacy = true;
    std::string m_requestNonce;
    FrameReader m_reader;
    QByteArray m_text; // once delivered: the payload's buffer (deciphered in place) or the opened text
    bool m_delivered = false;
    std::string m_refusalReason;
    std::string m_refusalExplanation;
    bool m_replyEnciphered = false;
    bool m_noPasswordNotice = false;
    bool m_finished = false;
};
