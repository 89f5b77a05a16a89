#include "protocol/FrameReader.h"

#include <algorithm>

namespace {

// The payload's buffer grows by at most this much ahead of the bytes that came: a header
// alone pins nothing, and a large frame still grows in few steps.
constexpr qsizetype GrowthStep = 256 * 1024;

} // namespace

FrameReader::FrameReader(std::int32_t maxLength)
    : m_maxLength(maxLength)
{
}

FrameReader::Status FrameReader::Feed(std::string_view data)
{
    if (m_status == Status::Oversized || m_status == Status::Overlong)
        return m_status;

    if (!HeaderComplete()) {
        const std::size_t wanted = ZaridoDovo::HeaderSize - m_header.size();
        const std::size_t taken = std::min(wanted, data.size());
        m_header.append(data.substr(0, taken));
        data.remove_prefix(taken);
        if (!HeaderComplete())
            return m_status; // still NeedMore
        m_expectedLength = DecodeLength(std::string_view(m_header).substr(ZaridoDovo::TagSize));
        const bool sealed = std::string_view(m_header).substr(0, ZaridoDovo::TagSize) == ZaridoDovo::SealedTag;
        const auto overhead = static_cast<std::int32_t>(SealedFrame::Overhead);
        if (m_expectedLength > (sealed ? m_maxLength + overhead : m_maxLength))
            return m_status = Status::Oversized;
    }
    return m_status = Judge(data);
}

FrameReader::Status FrameReader::Judge(std::string_view rest)
{
    const auto expected = static_cast<std::size_t>(m_expectedLength);
    const auto held = static_cast<std::size_t>(m_payload.size());
    if (rest.size() > expected - held)
        return Status::Overlong;
    const auto needed = static_cast<qsizetype>(held + rest.size());
    if (needed > m_payload.capacity()) {
        // Doubling what came, by a bounded step, never past the declared length.
        const qsizetype step = std::min(std::max(needed, qsizetype(4096)), GrowthStep);
        m_payload.reserve(std::min(static_cast<qsizetype>(expected), needed + step));
    }
    m_payload.append(rest.data(), static_cast<qsizetype>(rest.size()));
    return static_cast<std::size_t>(m_payload.size()) == expected ? Status::Complete : Status::NeedMore;
}

std::string FrameReader::Tag() const
{
    return HeaderComplete() ? m_header.substr(0, ZaridoDovo::TagSize) : std::string();
}

void FrameReader::Reset()
{
    m_header.clear();
    m_payload.clear();
    m_expectedLength = 0;
    m_status = Status::NeedMore;
}
