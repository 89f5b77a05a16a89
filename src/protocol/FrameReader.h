#pragma once

#include "protocol/WireFormat.h"

#include <QByteArray>

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

// Reassembles one frame from the data events of one connection. The sockets only feed it;
// every rule about what a complete, oversized or overlong frame is lives here.
// The header may arrive split over any number of events. Payload beyond the declared length
// and payload of an oversized frame are never stored, so memory stays bounded by the limit.
// The payload goes into one buffer, grown in bounded steps as bytes come (never to what a
// header merely declares), and is handed on without a copy.
class FrameReader
{
public:
    enum class Status {
        NeedMore,  // header or payload still incomplete
        Complete,  // exactly the declared payload has arrived (possibly none)
        Oversized, // the header declares more than the limit; decided from the header alone
        Overlong,  // more payload arrived than the header declared
    };

    // maxLength is for plain and legacy frames; a sealed frame may be longer by its overhead.
    explicit FrameReader(std::int32_t maxLength = ZaridoDovo::MaxMessageLength);

    // Takes the bytes of one data event and returns the frame's status after them.
    // Once Oversized or Overlong, the status stays and further bytes are ignored.
    Status Feed(std::string_view data);

    Status State() const { return m_status; }
    bool HeaderComplete() const { return m_header.size() == ZaridoDovo::HeaderSize; }
    // The tag as received (enciphered frames carry it enciphered); empty until the header is complete.
    std::string Tag() const;
    // The whole 8-byte header once complete.
    const std::string &Header() const { return m_header; }
    // The declared payload length; 0 until the header is complete.
    std::int32_t ExpectedLength() const { return m_expectedLength; }
    std::string_view Payload() const { return {m_payload.constData(), static_cast<std::size_t>(m_payload.size())}; }
    // The payload's buffer itself, leaving this reader's empty: nothing is copied.
    QByteArray TakePayload() { return std::exchange(m_payload, QByteArray()); }

    // Forgets the frame, ready for the next connection.
    void Reset();

private:
    Status Judge(std::string_view rest);

    std::int32_t m_maxLength;
    std::string m_header;
    QByteArray m_payload;
    std::int32_t m_expectedLength = 0;
    Status m_status = Status::NeedMore;
};
