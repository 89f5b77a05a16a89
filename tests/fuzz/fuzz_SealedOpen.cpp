// Arbitrary bytes taken as one whole sealed frame by a receiver with a password, opened with a
// fixed key (the key's derivation is not what is fuzzed) against a replay guard at a fixed time.
// Input layout: the frame's bytes; the receiver's clock reads FuzzNow.
#include "crypto/SealedFrame.h"
#include "protocol/MessageJudge.h"
#include "protocol/ReplayGuard.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

constexpr std::int64_t FuzzNow = 1'780'000'000;

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

const SecretBytes &FuzzKey()
{
    static const SecretBytes key(std::string(SealedFrame::KeySize, 'K'));
    return key;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view wire(reinterpret_cast<const char *>(data), size);
    MessageJudge judge("fuzz", false, false);
    ReplayGuard guard(300, 4);
    MessageJudge::Verdict verdict = judge.Feed(wire);
    if (verdict != MessageJudge::Verdict::NeedKey)
        return 0;
    const auto envelope = SealedFrame::Inspect(wire);
    Check(envelope && envelope->version == SealedFrame::Version && judge.SealedSalt() == envelope->salt);

    verdict = judge.OpenSealed(FuzzKey(), guard, FuzzNow);
    const auto opened = SealedFrame::Open(FuzzKey(), wire);
    if (verdict != MessageJudge::Verdict::Deliver) {
        Check(!judge.RefusalReason().empty());
        // Refused as stale or replayed only when it did open.
        const bool late = verdict == MessageJudge::Verdict::RefuseReplay || verdict == MessageJudge::Verdict::RefuseStale;
        Check(late == opened.has_value() && late == judge.ReplySealed());
        return 0;
    }
    // Delivered: it opens, its time lies in the window, and sealing the text again with the
    // same salt, nonce and time gives back exactly the bytes that came.
    Check(opened && judge.Text() == opened->text && judge.ReplySealed());
    Check(opened->time >= FuzzNow - 300 && opened->time <= FuzzNow + 300);
    Check(SealedFrame::Seal(FuzzKey(), envelope->salt, envelope->nonce, opened->time, opened->text) == wire);
    // The same frame again is a replay.
    MessageJudge again("fuzz", false, false);
    Check(again.Feed(wire) == MessageJudge::Verdict::NeedKey);
    Check(again.OpenSealed(FuzzKey(), guard, FuzzNow) == MessageJudge::Verdict::RefuseReplay);
    return 0;
}
