// Arbitrary bytes, cut into arbitrary data events, through the server's reading and judging.
// Input layout: byte 0 picks the server's mode (bit 0: secure only, bit 1: has a password);
// then repeatedly one byte giving the next event's size (0-255) followed by that many bytes.
#include "crypto/Encrypt.h"
#include "protocol/MessageJudge.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const bool secureOnly = data[0] & 1;
    const std::string password = (data[0] & 2) ? "fuzz" : "";
    MessageJudge judge(password, secureOnly);

    std::string_view rest(reinterpret_cast<const char *>(data + 1), size - 1);
    std::string wire; // everything the peer sent so far
    bool ended = false;
    while (!rest.empty() && !ended) {
        const std::size_t eventSize = std::min<std::size_t>(static_cast<unsigned char>(rest[0]), rest.size() - 1);
        const std::string_view event = rest.substr(1, eventSize);
        rest.remove_prefix(1 + eventSize);
        wire.append(event);

        const MessageJudge::Verdict verdict = judge.Feed(event);
        // Memory: the payload held never passes the limit; a delivered message adds its deciphered copy.
        Check(judge.BufferedBytes() <= 2 * static_cast<std::size_t>(ZaridoDovo::MaxMessageLength));

        switch (verdict) {
        case MessageJudge::Verdict::Deliver: {
            // Delivered only when exactly the declared payload has arrived, no more, no less.
            Check(wire.size() >= ZaridoDovo::HeaderSize);
            const auto declared = static_cast<std::size_t>(DecodeLength(std::string_view(wire).substr(5, 3)));
            Check(declared >= 1 && wire.size() == ZaridoDovo::HeaderSize + declared);
            Check(judge.Text().size() == declared);
            const std::string payload = wire.substr(ZaridoDovo::HeaderSize);
            const std::string tag = wire.substr(0, ZaridoDovo::TagSize);
            if (judge.ReplyEnciphered())
                Check(!password.empty() && CryptString(tag, password) == "CTALK"
                      && judge.Text() == CryptString(payload, password));
            else
                Check(tag == "STALK" && !secureOnly && judge.Text() == payload);
            ended = true;
            break;
        }
        case MessageJudge::Verdict::RefuseOversized:
            Check(DecodeLength(std::string_view(wire).substr(5, 3)) > ZaridoDovo::MaxMessageLength);
            ended = true;
            break;
        case MessageJudge::Verdict::RefuseOverlong:
        case MessageJudge::Verdict::RefuseUndecipherable:
            Check(!judge.RefusalReason().empty());
            ended = true;
            break;
        case MessageJudge::Verdict::NoMessage:
            ended = true;
            break;
        case MessageJudge::Verdict::NeedKey:
            // Only a whole sealed frame of the known version, on a receiver with a password.
            Check(!password.empty() && wire.compare(0, 5, "SSEAL") == 0 && judge.SealedSalt().size() == 16);
            Check(wire.size() == ZaridoDovo::HeaderSize
                                     + static_cast<std::size_t>(DecodeLength(std::string_view(wire).substr(5, 3))));
            ended = true;
            break;
        case MessageJudge::Verdict::RefuseReplay:
        case MessageJudge::Verdict::RefuseStale:
        case MessageJudge::Verdict::RefuseUnrecorded:
            Check(false); // decided only when a sealed frame is opened
            break;
        case MessageJudge::Verdict::Wait:
            Check(wire.size() < ZaridoDovo::HeaderSize
                  || wire.size() < ZaridoDovo::HeaderSize
                          + static_cast<std::size_t>(DecodeLength(std::string_view(wire).substr(5, 3))));
            break;
        }
    }
    (void)judge.PeerClosed();
    return 0;
}
