#include "protocol/MessageJudge.h"

#include "crypto/Encrypt.h"
#include "crypto/SealedFrame.h"
#include "protocol/ReplayGuard.h"

#include <utility>

namespace {

// Each refusal as the log records it, and as the receiving user is told it.
using Reason = MessageJudge::Reason;
const Reason OversizedReason{"Invalid Message Size", "the text is over 1 MiB"};
const Reason OverlongReason{"Invalid Message Received", "more bytes came than the frame declares"};
const Reason WrongPasswordReason{"Invalid Password", "it does not open with the password here: different password?"};
const Reason UnsecuredReason{"Unsecured message refused", "plain text, and only secure connections are accepted"};
const Reason NoPasswordReason{"No password set", "it is enciphered, and no password is set here"};
const Reason LegacyReason{"Legacy frame refused: the sealed cipher is chosen",
                          "it uses the legacy cipher, and the sealed one is chosen here"};
const Reason UnknownVersionReason{"Sealed frame of an unknown version refused",
                                  "it is sealed in a version this copy does not know"};
const Reason ReplayedReason{"Replayed message refused", "the same message was received before (a replay)"};
const Reason StaleReason{"Message sent outside the time window refused",
                         "the sender's clock is more than 5 minutes off"};
const Reason UnrecordedReason{"Message refused: the replay memory could not be written",
                              "the receiver could not record it, so it cannot promise to take it only once"};

} // namespace

MessageJudge::MessageJudge(std::string_view password, bool secureOnly, bool acceptLegacy)
    : m_password(std::make_shared<const SecretBytes>(password))
    , m_secureOnly(secureOnly)
    , m_acceptLegacy(acceptLegacy)
{
}

void MessageJudge::Configure(std::shared_ptr<const SecretBytes> password, bool secureOnly, bool acceptLegacy)
{
    m_password = std::move(password);
    m_secureOnly = secureOnly;
    m_acceptLegacy = acceptLegacy;
}

MessageJudge::Verdict MessageJudge::Feed(std::string_view data)
{
    if (data.empty())
        return Verdict::Wait;
    if (m_finished)
        return Verdict::NoMessage;
    return Decide(m_reader.Feed(data));
}

MessageJudge::Verdict MessageJudge::PeerClosed() const
{
    if (m_finished || !m_reader.HeaderComplete())
        return Verdict::NoMessage;
    return Verdict::Wait;
}

std::string_view MessageJudge::Text() const
{
    return m_delivered ? std::string_view(m_text.constData(), static_cast<std::size_t>(m_text.size())) : std::string_view();
}

QByteArray MessageJudge::Message() const
{
    return m_delivered ? m_text : QByteArray();
}

std::size_t MessageJudge::BufferedBytes() const
{
    return m_reader.Payload().size() + static_cast<std::size_t>(m_text.size());
}

void MessageJudge::Reset()
{
    m_reader.Reset();
    m_text.clear();
    m_delivered = false;
    m_refusalReason.clear();
    m_refusalExplanation.clear();
    m_replyEnciphered = false;
    m_noPasswordNotice = false;
    m_finished = false;
    m_requestNonce.clear();
}

MessageJudge::Verdict MessageJudge::Decide(FrameReader::Status status)
{
    // A header declaring no payload means the peer had nothing to send, whatever follows it.
    if (m_reader.HeaderComplete() && m_reader.ExpectedLength() == 0) {
        m_finished = true;
        return Verdict::NoMessage;
    }
    // Refusals decided before any deciphering go out plain: nothing proves the peer knows the
    // password, and an enciphered reply word would hand anyone who asks a piece of keystream.
    switch (status) {
    case FrameReader::Status::NeedMore:
        return Verdict::Wait;
    case FrameReader::Status::Oversized:
        return Refuse(Verdict::RefuseOversized, OversizedReason);
    case FrameReader::Status::Overlong:
        return Refuse(Verdict::RefuseOverlong, OverlongReason);
    case FrameReader::Status::Complete:
        break;
    }
    return Open();
}

MessageJudge::Verdict MessageJudge::Open()
{
    const std::string tag = m_reader.Tag();
    const bool plainTag = tag == ZaridoDovo::PlainTag;
    if (plainTag && !m_secureOnly) {
        m_text = m_reader.TakePayload();
        m_delivered = true;
        m_finished = true;
        return Verdict::Deliver;
    }
    if (plainTag)
        return Refuse(Verdict::RefuseUndecipherable, UnsecuredReason);
    if (!HasPassword()) {
        m_noPasswordNotice = true;
        return Refuse(Verdict::RefuseUndecipherable, NoPasswordReason);
    }
    if (tag == ZaridoDovo::SealedTag) {
        const auto envelope = SealedFrame::Inspect(m_reader.Header(), m_reader.Payload());
        if (!envelope)
            return Refuse(Verdict::RefuseUndecipherable, WrongPasswordReason);
        if (envelope->version != SealedFrame::Version)
            return Refuse(Verdict::RefuseUndecipherable, UnknownVersionReason);
        return Verdict::NeedKey;
    }
    // Any other tag can only be a legacy one; an old copy's tag is five keystream bytes.
    if (!m_acceptLegacy)
        return Refuse(Verdict::RefuseUndecipherable, LegacyReason);
    const std::string_view password = m_password->View();
    // Deciphering with the wrong password never yields the secure tag: delivering the payload
    // would hand the receiver garbage and tell the sender it worked.
    if (CryptString(tag, password) != ZaridoDovo::SecureTag)
        return Refuse(Verdict::RefuseUndecipherable, WrongPasswordReason);

    m_text = m_reader.TakePayload();
    CryptInPlace(m_text.data(), static_cast<std::size_t>(m_text.size()), password);
    m_delivered = true;
    m_replyEnciphered = true;
    m_finished = true;
    return Verdict::Deliver;
}

std::string MessageJudge::SealedSalt() const
{
    const auto envelope = SealedFrame::Inspect(m_reader.Header(), m_reader.Payload());
    return envelope ? std::string(envelope->salt) : std::string();
}

MessageJudge::Verdict MessageJudge::OpenSealed(const SecretBytes &key, ReplayGuard &guard, std::int64_t now)
{
    if (m_finished || m_reader.State() != FrameReader::Status::Complete)
        return Verdict::NoMessage;
    auto opened = SealedFrame::Open(key, m_reader.Header(), m_reader.Payload(), {});
    if (!opened)
        return Refuse(Verdict::RefuseUndecipherable, WrongPasswordReason);
    const auto envelope = SealedFrame::Inspect(m_reader.Header(), m_reader.Payload());
    // From here on the sender has shown it holds the password: even a refusal goes back sealed.
    m_requestNonce = std::string(envelope->nonce);
    // Only a frame that opened is remembered: a forger cannot fill the guard's memory.
    switch (guard.Check(envelope->salt, envelope->nonce, opened->time, now)) {
    case ReplayGuard::Verdict::OutOfWindow:
        return Refuse(Verdict::RefuseStale, StaleReason);
    case ReplayGuard::Verdict::Replayed:
        return Refuse(Verdict::RefuseReplay, ReplayedReason);
    case ReplayGuard::Verdict::Unrecorded:
        return Refuse(Verdict::RefuseUnrecorded, UnrecordedReason);
    case ReplayGuard::Verdict::Fresh:
        break;
    }
    m_text = QByteArray(opened->text.data(), static_cast<qsizetype>(opened->text.size()));
    m_delivered = true;
    m_finished = true;
    return Verdict::Deliver;
}

MessageJudge::Verdict MessageJudge::Refuse(Verdict verdict, const Reason &reason)
{
    m_refusalReason = reason.logged;
    m_refusalExplanation = reason.told;
    m_finished = true;
    return verdict;
}
