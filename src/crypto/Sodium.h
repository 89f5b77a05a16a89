#pragma once

#include <cstddef>
#include <string>

// The library's one-time start-up and its random bytes, for the crypto code.
namespace Sodium {

// Safe to call from any thread, any number of times; aborts if the library cannot start,
// since nothing secret could be handled safely then.
void Init();

std::string RandomBytes(std::size_t size);

// Called once at start, before any password is read: a core file or a tracer would get the
// password. Never switched back on. False when the system refused either step.
bool DisableCoreDumps();

// Overwrites a secret's bytes in place, in a way the compiler does not leave out.
void WipeMemory(void *data, std::size_t size);
template <typename Bytes>
void Wipe(Bytes &bytes)
{
    if (!bytes.isEmpty())
        WipeMemory(bytes.data(), static_cast<std::size_t>(bytes.size()));
}

} // namespace Sodium
