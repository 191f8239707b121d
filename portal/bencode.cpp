#include "portal/bencode.h"

namespace portal {

std::string BencodeString(std::string_view bytes) {
    return std::to_string(bytes.size()) + ':' + std::string(bytes);
}

std::string BencodeInteger(std::int64_t value) {
    return 'i' + std::to_string(value) + 'e';
}

std::string BencodeList(const std::vector<std::string>& encodedItems) {
    std::string list = "l";
    for (const std::string& item : encodedItems)
        list += item;
    return list + 'e';
}

std::string BencodeDictionary(const BencodedEntries& entries) {
    std::string dictionary = "d";
    for (const auto& [key, value] : entries)
        dictionary += BencodeString(key) + value;
    return dictionary + 'e';
}

} // namespace portal
