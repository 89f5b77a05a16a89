#include "protocol/MessageJudge.h"

#include "crypto/Encrypt.h"

#include <utility>

namespace {

const std::string OversizedReason = "Invalid Message Size";
const std::string OverlongReason = "Invalid Message Received";
const std::string WrongPasswordReason = "Invalid Password";
const std::string UnsecuredReason = "Unsecured message refused";
const std::string NoPasswordReason = "No password set";

} // namespace

MessageJudge::MessageJudge(std::string_view password, bool secureOnly)
    : m_password(password)
    , m_secureOnly(secureOnly)
{
}

void MessageJudge::Configure(std::string_view password, bool secureOnly)
{
    m_password = password;
    m_secureOnly = secureOnly;
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

const std::string &MessageJudge::Text() const
{
    return m_usesDeciphered ? m_deciphered : m_reader.Payload();
}

std::size_t MessageJudge::BufferedBytes() const
{
    return m_reader.Payload().size() + m_deciphered.size();
}

void MessageJudge::Reset()
{
    m_reader.Reset();
    m_deciphered.clear();
    m_usesDeciphered = false;
    m_refusalReason.clear();
    m_replyEnciphered = false;
    m_noPasswordNotice = false;
    m_finished = false;
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
        m_finished = true;
        return Verdict::Deliver;
    }
    if (m_password.empty()) {
        if (plainTag)
            return Refuse(Verdict::RefuseUndecipherable, UnsecuredReason);
        m_noPasswordNotice = true;
        return Refuse(Verdict::RefuseUndecipherable, NoPasswordReason);
    }
    // Deciphering with the wrong password, or a plain message, never yields the secure tag:
    // delivering the payload would hand the receiver garbage and tell the sender it worked.
    if (CryptString(tag, m_password) != ZaridoDovo::SecureTag)
        return Refuse(Verdict::RefuseUndecipherable, plainTag ? UnsecuredReason : WrongPasswordReason);

    m_deciphered = CryptString(m_reader.Payload(), m_password);
    m_usesDeciphered = true;
    m_replyEnciphered = true;
    m_finished = true;
    return Verdict::Deliver;
}

MessageJudge::Verdict MessageJudge::Refuse(Verdict verdict, std::string reason)
{
    m_refusalReason = std::move(reason);
    m_finished = true;
    return verdict;
}
