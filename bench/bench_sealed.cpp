// Sealing and opening 1 MiB against libsodium's own AEAD call, the key derivation's time and
// memory, and a 1 MiB message end to end sealed against plain (keys already derived).
#include "crypto/PasswordKdf.h"
#include "crypto/SealedFrame.h"
#include "protocol/CZaridoDovoClient.h"
#include "protocol/CZaridoDovoServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <sodium.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr std::size_t MiB = 1 << 20;

template <typename F>
double BestSeconds(int rounds, F &&run)
{
    double best = 1e9;
    for (int r = 0; r < rounds; ++r) {
        const auto start = std::chrono::steady_clock::now();
        run();
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

void CodecAgainstLibrary()
{
    const std::string salt = PasswordKdf::NewSalt();
    const SecretBytes key = PasswordKdf(PasswordKdf::Minimal()).Derive(SecretBytes(std::string_view("pw")), salt);
    const std::string nonce = SealedFrame::NewNonce();
    const std::string text(MiB, 'x');
    std::vector<unsigned char> out(MiB + 64), back(MiB + 64);
    unsigned long long n = 0;
    const unsigned char ad[9] = {};
    constexpr int Rounds = 40;

    const double library = BestSeconds(Rounds, [&] {
        crypto_aead_xchacha20poly1305_ietf_encrypt(out.data(), &n, reinterpret_cast<const unsigned char *>(text.data()),
                                                   text.size(), ad, sizeof ad, nullptr,
                                                   reinterpret_cast<const unsigned char *>(nonce.data()), key.Data());
    });
    std::string frame;
    const double seal = BestSeconds(Rounds, [&] { frame = SealedFrame::Seal(key, salt, nonce, 0, text); });
    bool libraryOpened = true;
    const double libraryOpen = BestSeconds(Rounds, [&] {
        libraryOpened = libraryOpened && 0 == crypto_aead_xchacha20poly1305_ietf_decrypt(back.data(), &n, nullptr, out.data(), MiB + 16, ad, sizeof ad,
                                                   reinterpret_cast<const unsigned char *>(nonce.data()), key.Data());
    });
    bool opened = true;
    const double open = BestSeconds(Rounds, [&] { opened = opened && SealedFrame::Open(key, frame).has_value(); });
    const auto rate = [](double s) { return 1.0 / s; }; // MiB/s
    std::printf("seal 1 MiB:  %7.0f MiB/s   library encrypt %7.0f MiB/s   ratio %.2f (aim >= 0.9)\n", rate(seal),
                rate(library), library / seal);
    std::printf("open 1 MiB:  %7.0f MiB/s   library decrypt %7.0f MiB/s   ratio %.2f (aim >= 0.9)%s\n", rate(open),
                rate(libraryOpen), libraryOpen / open, opened && libraryOpened ? "" : "  FAILED TO OPEN");
}

long MaxResidentKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

void Derivation()
{
    const PasswordKdf kdf(PasswordKdf::Interactive());
    const SecretBytes password(std::string_view("correct horse battery staple"));
    const long before = MaxResidentKiB();
    const double seconds = BestSeconds(3, [&] { (void)kdf.Derive(password, PasswordKdf::NewSalt()); });
    std::printf("derivation (Argon2id, ops %llu, mem %zu MiB): %.0f ms, peak resident set grew by %ld MiB\n",
                kdf.Parameters().operations, kdf.Parameters().memoryBytes / MiB, seconds * 1000,
                (MaxResidentKiB() - before) / 1024);
}

// Milliseconds of one send of `text` from SendMessage to "OK", best of `rounds` after a warm-up.
double SendMilliseconds(CZaridoDovoClient &client, int port, const QByteArray &text, const QByteArray &password, int rounds)
{
    double best = 1e9;
    for (int r = 0; r <= rounds; ++r) {
        QEventLoop loop;
        QElapsedTimer timer;
        bool ok = false;
        auto sent = QObject::connect(&client, &CZaridoDovoClient::MessageSent, &loop, [&] { ok = true; loop.quit(); });
        auto failed = QObject::connect(&client, &CZaridoDovoClient::MessageError, &loop, [&] { loop.quit(); });
        auto error = QObject::connect(&client, &CZaridoDovoClient::Error, &loop, [&] { loop.quit(); });
        QTimer::singleShot(30000, &loop, &QEventLoop::quit);
        timer.start();
        client.SendMessage(QStringLiteral("127.0.0.1"), port, text, password);
        loop.exec();
        QObject::disconnect(sent);
        QObject::disconnect(failed);
        QObject::disconnect(error);
        if (!ok)
            return -1;
        if (r > 0) // the first send derives the keys
            best = std::min(best, double(timer.nsecsElapsed()) / 1e6);
    }
    return best;
}

void EndToEnd()
{
    const QByteArray text(int(MiB), 'x');
    CZaridoDovoServer plainServer, sealedServer;
    plainServer.StartServer(QStringLiteral("127.0.0.1"), 0, 2);
    sealedServer.StartServer(QStringLiteral("127.0.0.1"), 0, 2, "pw");
    CZaridoDovoClient client;
    const double plain = SendMilliseconds(client, plainServer.LocalPort(), text, {}, 10);
    const double sealed = SendMilliseconds(client, sealedServer.LocalPort(), text, "pw", 10);
    std::printf("1 MiB end to end: plain %.1f ms, sealed %.1f ms, ratio %.2f (aim <= 2)\n", plain, sealed, sealed / plain);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (sodium_init() < 0)
        return 1;
    CodecAgainstLibrary();
    Derivation();
    EndToEnd();
    return 0;
}
