#include "bencodereader.h"

#include <cctype>

namespace portaltest {

namespace {

class Reader {
  public:
    explicit Reader(std::string_view data) : data_(data) {}

    bool AtEnd() const { return at_ == data_.size(); }

    std::optional<BencodeValue> Value() {
        const std::size_t start = at_;
        std::optional<BencodeValue> value;
        if (Peek() == 'i')
            value = Integer();
        else if (Peek() == 'l')
            value = List();
        else if (Peek() == 'd')
            value = Dictionary();
        else
            value = String();
        if (value)
            value->raw = data_.substr(start, at_ - start);
        return value;
    }

  private:
    char Peek() const { return at_ < data_.size() ? data_[at_] : '\0'; }

    std::optional<std::int64_t> Digits(char end) {
        const bool negative = Peek() == '-';
        if (negative)
            ++at_;
        std::int64_t number = 0;
        const std::size_t first = at_;
        while (std::isdigit(static_cast<unsigned char>(Peek())) && at_ - first < 18)
            number = number * 10 + (data_[at_++] - '0');
        const std::size_t count = at_ - first;
        if (count == 0 || Peek() != end || (count > 1 && data_[first] == '0') ||
            (negative && number == 0) || (end == ':' && negative))
            return std::nullopt;
        ++at_;
        return negative ? -number : number;
    }

    std::optional<BencodeValue> Integer() {
        ++at_;
        std::optional<std::int64_t> number = Digits('e');
        if (!number)
            return std::nullopt;
        BencodeValue value;
        value.integer = *number;
        return value;
    }

    std::optional<BencodeValue> String() {
        std::optional<std::int64_t> length = Digits(':');
        if (!length || std::size_t(*length) > data_.size() - at_)
            return std::nullopt;
        BencodeValue value;
        value.kind = BencodeValue::Kind::String;
        value.string = std::string(data_.substr(at_, std::size_t(*length)));
        at_ += std::size_t(*length);
        return value;
    }

    std::optional<BencodeValue> List() {
        ++at_;
        BencodeValue value;
        value.kind = BencodeValue::Kind::List;
        while (Peek() != 'e') {
            if (AtEnd())
                return std::nullopt;
            std::optional<BencodeValue> item = Value();
            if (!item)
                return std::nullopt;
            value.list.push_back(std::move(*item));
        }
        ++at_;
        return value;
    }

    std::optional<BencodeValue> Dictionary() {
        ++at_;
        BencodeValue value;
        value.kind = BencodeValue::Kind::Dictionary;
        std::optional<std::string> previousKey;
        while (Peek() != 'e') {
            std::optional<BencodeValue> key = String();
            if (!key || (previousKey && key->string <= *previousKey))
                return std::nullopt;
            std::optional<BencodeValue> item = Value();
            if (!item)
                return std::nullopt;
            previousKey = key->string;
            value.dictionary.emplace(key->string, std::move(*item));
        }
        ++at_;
        return value;
    }

    std::string_view data_;
    std::size_t at_ = 0;
};

} // namespace

std::optional<BencodeValue> DecodeBencode(std::string_view data) {
    Reader reader(data);
    std::optional<BencodeValue> value = reader.Value();
    if (!value || !reader.AtEnd())
        return std::nullopt;
    return value;
}

} // namespace portaltest
