#pragma once

namespace ZaridoDovo {

// Which cipher a password is used with: sealed, or the legacy one older copies speak.
enum class Cipher { Sealed, Legacy };

} // namespace ZaridoDovo
