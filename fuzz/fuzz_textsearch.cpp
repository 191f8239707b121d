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

    Check(text::FindText(text, sought, start, flag) ==
          reference::Find(text, sought, start, flag, false));
    Check(text::FindTextReverse(text, sought, start, flag) ==
          reference::Find(text, sought, start, flag, true));
    Check(text::ReplaceSubtext(text, sought, replacement, start, count, flag) ==
          reference::Replace(text, sought, replacement, start, count, flag));

    // The others only have to keep within bounds and their promises.
    Check(text::TextMiddle(text, start.value_or(1), count.value_or(5)).size() <= text.size());
    Check(text::ReplaceRange(text, start.value_or(1), count.value_or(2), replacement).size() <=
          text.size() + replacement.size());
    Check(text::TrimSpaces(text).size() <= text.size());
    Check(text::RemoveSpaces(text).size() <= text.size());
    Check(text::ToUpperCase(text).size() == text.size());
    Check(text::ToLowerCase(text).size() == text.size());
    Check(text::CompareText(text, sought, flag) == -text::CompareText(sought, text, flag));
    Check(text::CompareTextOrdinal(text, sought) == -text::CompareTextOrdinal(sought, text));
    text::ToNumber(text);
    return 0;
}
