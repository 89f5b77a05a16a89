#pragma once

#include <string>

// The library's one-time start-up and its random bytes, for the crypto code.
namespace Sodium {

// Safe to call from any thread, any number of times; aborts if the library cannot start,
// since nothing secret could be handled safely then.
void Init();

std::string RandomBytes(std::size_t size);

// While a password is held, the process may not be dumped or traced: a core file would
// carry the password. Restored when no password is held any more.
void SetDumpable(bool dumpable);

} // namespace Sodium
