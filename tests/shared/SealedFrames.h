#pragma once

#include "crypto/PasswordKdf.h"
#include "crypto/SealedFrame.h"

#include <QByteArray>
#include <QDateTime>

#include <string>

// Sealed frames made with cheap keys, as a sender would make them.
inline SecretBytes CheapKey(std::string_view password, std::string_view salt)
{
    return PasswordKdf(PasswordKdf::Minimal()).Derive(SecretBytes(password), salt);
}

inline std::int64_t Now()
{
    return QDateTime::currentSecsSinceEpoch();
}

inline QByteArray Sealed(std::string_view password, std::string_view text, std::int64_t time = Now(),
                         const std::string &salt = std::string(16, 's'))
{
    return QByteArray::fromStdString(SealedFrame::Seal(CheapKey(password, salt), salt, SealedFrame::NewNonce(), time, text));
}

// The word of a sealed reply to `request` (sealed with "pw" and bound to its nonce); empty when it does not open.
inline QByteArray SealedWord(const QByteArray &reply, const QByteArray &request)
{
    const std::string wire = request.toStdString();
    const auto envelope = SealedFrame::Inspect(wire);
    const auto opened = SealedFrame::Open(CheapKey("pw", envelope->salt), reply.toStdString(), envelope->nonce);
    return opened ? QByteArray::fromStdString(opened->text) : QByteArray();
}
