// Throughput of CryptString on 1 MiB against OpenSSL's RC4 on the same data, in one run.
#include "crypto/Encrypt.h"

#include <openssl/rc4.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

template <typename F>
double BestSeconds(int rounds, F &&work)
{
    double best = 1e9;
    for (int r = 0; r < rounds; ++r) {
        const auto start = Clock::now();
        work();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
    }
    return best;
}

} // namespace

int main()
{
    constexpr std::size_t size = 1 << 20;
    constexpr int rounds = 40;
    std::string data(size, '\0');
    std::mt19937 random(42);
    for (auto &c : data)
        c = static_cast<char>(random());
    const std::string password = "correct horse battery staple";

    std::string ours;
    const double oursSeconds = BestSeconds(rounds, [&] { ours = CryptString(data, password); });

    std::vector<unsigned char> theirs(size);
    const double theirSeconds = BestSeconds(rounds, [&] {
        RC4_KEY key;
        RC4_set_key(&key, static_cast<int>(password.size()), reinterpret_cast<const unsigned char *>(password.data()));
        RC4(&key, size, reinterpret_cast<const unsigned char *>(data.data()), theirs.data());
    });

    if (!std::equal(theirs.begin(), theirs.end(), reinterpret_cast<const unsigned char *>(ours.data()))) {
        std::fprintf(stderr, "CryptString and OpenSSL's RC4 disagree\n");
        return 1;
    }
    const double mib = static_cast<double>(size) / (1 << 20);
    std::printf("CryptString  %8.1f MiB/s\n", mib / oursSeconds);
    std::printf("OpenSSL RC4  %8.1f MiB/s\n", mib / theirSeconds);
    std::printf("ratio        %8.2f (CryptString / OpenSSL, best of %d rounds on 1 MiB)\n", theirSeconds / oursSeconds,
                rounds);
    return 0;
}
