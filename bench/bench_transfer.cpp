// End-to-end transfer over loopback with the real endpoints, against a plain POSIX-socket
// baseline doing the same exchange (connect, send a frame, read the "OK" frame, close).
// The baseline's receiver runs on a thread of its own; Textdrop's endpoints share one event loop.
#include "crypto/Encrypt.h"
#include "protocol/CZaridoDovoClient.h"
#include "protocol/CZaridoDovoServer.h"
#include "protocol/WireFormat.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

bool WriteAll(int fd, const char *data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool ReadAll(int fd, char *data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::recv(fd, data, size, 0);
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// The baseline receiver: one connection at a time, read one frame, decipher when asked, answer OK.
class BaselineServer
{
public:
    explicit BaselineServer(std::string password)
        : m_password(std::move(password))
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
        const int one = 1;
        ::setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_listener, reinterpret_cast<sockaddr *>(&address), sizeof address);
        ::listen(m_listener, 16);
        socklen_t length = sizeof address;
        ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length);
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { Serve(); });
    }

    ~BaselineServer()
    {
        m_stop = true;
        ::shutdown(m_listener, SHUT_RDWR);
        ::close(m_listener);
        m_thread.join();
    }

    int Port() const { return m_port; }

private:
    void Serve()
    {
        while (!m_stop) {
            const int fd = ::accept(m_listener, nullptr, nullptr);
            if (fd < 0)
                return;
            std::string header(ZaridoDovo::HeaderSize, '\0');
            if (ReadAll(fd, header.data(), header.size())) {
                std::string payload(static_cast<std::size_t>(DecodeLength(std::string_view(header).substr(5))), '\0');
                if (ReadAll(fd, payload.data(), payload.size())) {
                    if (!m_password.empty())
                        payload = CryptString(payload, m_password);
                    const std::string reply = WriteFrame("OK", m_password).value();
                    WriteAll(fd, reply.data(), reply.size());
                }
            }
            ::close(fd);
        }
    }

    std::string m_password;
    int m_listener = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

bool BaselineSend(int port, const std::string &text, const std::string &password)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    bool ok = ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    const std::string frame = WriteFrame(text, password).value();
    ok = ok && WriteAll(fd, frame.data(), frame.size());
    std::string reply(ZaridoDovo::HeaderSize + 2, '\0');
    ok = ok && ReadAll(fd, reply.data(), reply.size());
    ::close(fd);
    std::string word = reply.substr(ZaridoDovo::HeaderSize);
    if (!password.empty())
        word = CryptString(word, password);
    return ok && word == "OK";
}

// Sends `count` messages one after another with the real client; returns the seconds taken.
double TextdropSends(CZaridoDovoClient &client, int port, const QByteArray &message, const QByteArray &password,
                     int count)
{
    QEventLoop loop;
    int left = count;
    bool failed = false;
    const auto next = [&] { client.SendMessage(QStringLiteral("127.0.0.1"), port, message, password); };
    auto sent = QObject::connect(&client, &CZaridoDovoClient::MessageSent, &loop, [&](int) {
        if (--left == 0)
            loop.quit();
        else
            next();
    });
    auto error = QObject::connect(&client, &CZaridoDovoClient::MessageError, &loop, [&](const QByteArray &) {
        failed = true;
        loop.quit();
    });
    auto socketError = QObject::connect(&client, &CZaridoDovoClient::Error, &loop, [&](int, const QString &) {
        failed = true;
        loop.quit();
    });
    QElapsedTimer clock;
    clock.start();
    next();
    loop.exec();
    const double seconds = clock.nsecsElapsed() / 1e9;
    QObject::disconnect(sent);
    QObject::disconnect(error);
    QObject::disconnect(socketError);
    return failed ? -1.0 : seconds;
}

// `senders` clients, each with a message of its own, all started at once against one receiver;
// returns how many got "OK" and the seconds until the last one finished.
std::pair<int, double> RacingSends(int senders)
{
    CZaridoDovoServer server;
    server.StartServer(QStringLiteral("127.0.0.1"), 0, 2);
    std::vector<std::unique_ptr<CZaridoDovoClient>> clients;
    QEventLoop loop;
    int answered = 0;
    int finished = 0;
    const auto done = [&](bool ok) {
        answered += ok ? 1 : 0;
        if (++finished == senders)
            loop.quit();
    };
    for (int k = 0; k < senders; ++k) {
        clients.push_back(std::make_unique<CZaridoDovoClient>());
        CZaridoDovoClient *client = clients.back().get();
        QObject::connect(client, &CZaridoDovoClient::MessageSent, &loop, [&](int) { done(true); });
        QObject::connect(client, &CZaridoDovoClient::MessageError, &loop, [&](const QByteArray &) { done(false); });
        QObject::connect(client, &CZaridoDovoClient::Error, &loop, [&](int, const QString &) { done(false); });
    }
    QElapsedTimer clock;
    clock.start();
    for (int k = 0; k < senders; ++k)
        clients[static_cast<std::size_t>(k)]->SendMessage(QStringLiteral("127.0.0.1"), server.LocalPort(),
                                                          "sender " + QByteArray::number(k), {});
    QTimer::singleShot(10000, &loop, &QEventLoop::quit); // a sender that never finishes is a miss
    loop.exec();
    return {answered, clock.nsecsElapsed() / 1e9};
}

double BaselineSends(int port, const std::string &message, const std::string &password, int count)
{
    QElapsedTimer clock;
    clock.start();
    for (int k = 0; k < count; ++k)
        if (!BaselineSend(port, message, password))
            return -1.0;
    return clock.nsecsElapsed() / 1e9;
}

// Best times of the two contenders over interleaved rounds, so that a burst of load on the
// machine hits both alike.
template <typename F, typename G>
std::pair<double, double> BestOfBoth(int rounds, F &&ours, G &&theirs)
{
    std::pair<double, double> best{1e9, 1e9};
    for (int r = 0; r < rounds; ++r) {
        const double a = ours();
        const double b = theirs();
        best.first = a < 0 ? -1.0 : std::min(best.first, a);
        best.second = b < 0 ? -1.0 : std::min(best.second, b);
        if (a < 0 || b < 0)
            break;
    }
    return best;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QByteArray password("correct horse battery staple");
    bool allMet = true;

    const auto compareLarge = [&](const char *label, const QByteArray &key) {
        CZaridoDovoServer server;
        server.StartServer(QStringLiteral("127.0.0.1"), 0, 2, key);
        CZaridoDovoClient client;
        BaselineServer baseline(key.toStdString());
        const QByteArray message(1 << 20, 'm');
        const auto [ours, theirs] = BestOfBoth(
            9, [&] { return TextdropSends(client, server.LocalPort(), message, key, 1); },
            [&] { return BaselineSends(baseline.Port(), message.toStdString(), key.toStdString(), 1); });
        const double ratio = ours / theirs;
        allMet = allMet && ours > 0 && theirs > 0 && ratio <= 2.0;
        std::printf("1 MiB %-10s Textdrop %7.2f ms   baseline %7.2f ms   time ratio %5.2f (aim <= 2)\n", label,
                    ours * 1e3, theirs * 1e3, ratio);
    };
    compareLarge("plain", {});
    compareLarge("enciphered", password);

    {
        constexpr int count = 300;
        CZaridoDovoServer server;
        server.StartServer(QStringLiteral("127.0.0.1"), 0, 2);
        CZaridoDovoClient client;
        BaselineServer baseline({});
        const QByteArray message(100, 's');
        const auto [ours, theirs] = BestOfBoth(
            5, [&] { return TextdropSends(client, server.LocalPort(), message, {}, count); },
            [&] { return BaselineSends(baseline.Port(), message.toStdString(), {}, count); });
        const double ratio = theirs / ours;
        allMet = allMet && ours > 0 && theirs > 0 && ratio >= 0.8;
        std::printf("100 B one after another: Textdrop %7.0f msg/s   baseline %7.0f msg/s   rate ratio %5.2f (aim >= 0.8)\n",
                    count / ours, count / theirs, ratio);
    }

    {
        // The receiver alone: the baseline's blocking sender on a thread of its own.
        constexpr int count = 300;
        CZaridoDovoServer server;
        server.StartServer(QStringLiteral("127.0.0.1"), 0, 2);
        const int port = server.LocalPort();
        QEventLoop loop;
        double seconds = 0;
        std::thread sender([&] {
            seconds = BaselineSends(port, std::string(100, 's'), {}, count);
            QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        });
        loop.exec();
        sender.join();
        std::printf("100 B to the Textdrop receiver from a blocking sender: %7.0f msg/s\n", count / seconds);
    }

    {
        const auto [answered, seconds] = RacingSends(20);
        allMet = allMet && answered == 20;
        std::printf("20 senders at once: %d answered \"OK\" in %.1f ms (aim: all 20)\n", answered, seconds * 1e3);
    }
    std::printf("%s\n", allMet ? "all aims met" : "SOME AIMS MISSED");
    return 0;
}
