// TextBetween and TextAfterLast on any bytes: they end, stay in bounds and
// give pieces of the text (TextAfterLast: its end).
#include "fuzzinput.h"
#include "text/markers.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    const bool flag = input.Flag();
    const std::string_view front = input.Piece(12);
    const std::string_view back = input.Piece(12);
    const std::string_view text = input.Rest();

    const text::Text between = text::TextBetween(text, front, back, flag);
    const text::Text after = text::TextAfterLast(text, front, flag);
    Check(text.find(between) != std::string_view::npos && text.ends_with(after));
    return 0;
}
