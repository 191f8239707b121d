#pragma once
// SHA-1 digests for info-hashes. libcrypto's is used: it is well tested and is
// already on every machine that has the HTTP library, which depends on it.

#include <string>
#include <string_view>

namespace portal {

// The 20-byte digest of data.
std::string Sha1(std::string_view data);

// Bytes as upper-case hexadecimal digits, two per byte.
std::string HexUpper(std::string_view bytes);

} // namespace portal
