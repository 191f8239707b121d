#include "portal/sha1.h"

#include <openssl/evp.h>

#include <stdexcept>

namespace portal {

std::string Sha1(std::string_view data) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (EVP_Digest(data.data(), data.size(), digest, &size, EVP_sha1(), nullptr) != 1)
        throw std::runtime_error("SHA-1 is not available");
    return std::string(reinterpret_cast<const char*>(digest), size);
}

std::string HexUpper(std::string_view bytes) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string hex;
    hex.reserve(bytes.size() * 2);
    for (unsigned char byte : bytes) {
        hex += digits[byte >> 4];
        hex += digits[byte & 0xF];
    }
    return hex;
}

} // namespace portal
