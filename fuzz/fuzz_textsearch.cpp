// The fast searches, replacement and other text operations against literal
// forms, on any bytes.
#include "fuzzinput.h"
#include "text/text.h"
#include "textreference.h"

namespace {} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    const bool flag = input.Flag();
    const auto start = input.Optional();
    const auto count = input.Optional();
    const std::string_view sought = input.Piece(12);
    const std::string_view replacement = input.Piece(4);
    const std::string_view text = input.Rest();

    Check(host::FindText(text, sought, start, flag) ==
          reference::Find(text, sought, start, flag, false));
    Check(host::FindTextReverse(text, sought, start, flag) ==
          reference::Find(text, sought, start, flag, true));
    Check(host::ReplaceSubtext(text, sought, replacement, start, count, flag) ==
          reference::Replace(text, sought, replacement, start, count, flag));

    // The others only have to keep within bounds and their promises.
    Check(host::TextMiddle(text, start.value_or(1), count.value_or(5)).size() <= text.size());
    Check(host::ReplaceRange(text, start.value_or(1), count.value_or(2), replacement).size() <=
          text.size() + replacement.size());
    Check(host::TrimSpaces(text).size() <= text.size());
    Check(host::RemoveSpaces(text).size() <= text.size());
    Check(host::ToUpperCase(text).size() == text.size());
    Check(host::ToLowerCase(text).size() == text.size());
    Check(host::CompareText(text, sought, flag) == -host::CompareText(sought, text, flag));
    Check(host::CompareTextOrdinal(text, sought) == -host::CompareTextOrdinal(sought, text));
    host::ToNumber(text);
    return 0;
}
