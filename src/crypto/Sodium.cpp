#include "crypto/Sodium.h"

#include <sodium.h>
#include <sys/prctl.h>
#include <sys/resource.h>

#include <cstdlib>

namespace Sodium {

void Init()
{
    static const bool started = sodium_init() >= 0;
    if (!started)
        std::abort();
}

std::string RandomBytes(std::size_t size)
{
    Init();
    std::string bytes(size, '\0');
    randombytes_buf(bytes.data(), size);
    return bytes;
}

bool DisableCoreDumps()
{
    const rlimit none{0, 0};
    const bool limited = ::setrlimit(RLIMIT_CORE, &none) == 0;
    return ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) == 0 && limited;
}

void WipeMemory(void *data, std::size_t size)
{
    sodium_memzero(data, size);
}

} // namespace Sodium
