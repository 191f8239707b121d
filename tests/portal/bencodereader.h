#pragma once
// A strict bencode reader for the tests, written apart from the portal's
// writer so that the two check each other.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace portaltest {

struct BencodeValue {
    enum class Kind { Integer, String, List, Dictionary } kind = Kind::Integer;
    std::int64_t integer = 0;
    std::string string;
    std::vector<BencodeValue> list;
    std::map<std::string, BencodeValue> dictionary;
    std::string_view raw; // the encoded bytes of this value, inside the decoded data

    const BencodeValue& At(const std::string& key) const { return dictionary.at(key); }
};

// Nothing unless data is exactly one value in canonical form: no leading
// zeros, no "-0", dictionary keys unique and in byte order.
std::optional<BencodeValue> DecodeBencode(std::string_view data);

} // namespace portaltest
