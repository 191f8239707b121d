#pragma once
// Writing bencoded values, the encoding of .torrent files. Each function
// returns the encoded form; lists and dictionaries take encoded values.

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace portal {

// Dictionary entries: raw key -> encoded value. std::map orders std::string
// keys as raw bytes, the order the format requires.
using BencodedEntries = std::map<std::string, std::string>;

std::string BencodeString(std::string_view bytes);
std::string BencodeInteger(std::int64_t value);
std::string BencodeList(const std::vector<std::string>& encodedItems);
std::string BencodeDictionary(const BencodedEntries& entries);

} // namespace portal
