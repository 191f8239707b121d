#pragma once
// An in-memory file, used to cut a block of text into lines. A file made by
// OpenMemoryFile is open until CloseFile or its end of life; a closed (or
// default-made) file reads as empty and refuses writes.

#include "text/text.h"

#include <concepts>
#include <cstddef>

namespace text {

class MemoryFile final {
  public:
    MemoryFile() = default;

    bool IsOpen() const { return open_; }

    // Writes the text form of each value at the position, which advances; no
    // terminator and no line break. A text ends at its first NUL byte.
    template <typename... Values> bool WriteText(const Values&... values) {
        return open_ && (Write(TextForm(values)) && ...);
    }
    bool SeekFileStart();
    // With `stopAtMark`, a NUL or 0x1A byte next also counts as the end.
    bool AtFileEnd(bool stopAtMark = false) const;
    // The line up to a line feed (consumed) or a NUL or 0x1A byte (left for
    // the next read), without a closing carriage return. The stop bytes are
    // only seen where a character starts: a byte of 0x80 or more takes the
    // byte after it along.
    Text ReadLine();
    void CloseFile();

  private:
    friend MemoryFile OpenMemoryFile();

    static std::string_view TextForm(std::string_view text) { return text; }
    static Text TextForm(std::same_as<bool> auto value) { return ToText(value); }
    template <std::integral Integer>
    requires(!std::same_as<Integer, bool>) static Text TextForm(Integer value) {
        return ToText(static_cast<std::int64_t>(value));
    }
    bool Write(std::string_view text);

    Text bytes_;
    std::size_t position_ = 0;
    bool open_ = false;
};

MemoryFile OpenMemoryFile();

} // namespace text
