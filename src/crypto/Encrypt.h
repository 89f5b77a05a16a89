#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The payload cipher: RC4 as published, keyed with the password's bytes, no keystream
// discarded. Every call starts a fresh keystream, so the same call enciphers and deciphers.
// The result has the text's length; an empty password gives an empty result.
// Holds no state between calls, so it is safe to call from anywhere, any number of times.
std::string CryptString(std::string_view text, std::string_view password);

// The same over a buffer of the caller's, in place; nothing is done with an empty password.
void CryptInPlace(char *bytes, std::size_t size, std::string_view password);
