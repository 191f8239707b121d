#include "text/memoryfile.h"

#include <algorithm>

namespace text {
namespace {

bool IsMark(char byte) {
    return byte == '\0' || byte == '\x1A';
}

} // namespace

MemoryFile OpenMemoryFile() {
    MemoryFile file;
    file.open_ = true;
    return file;
}

bool MemoryFile::Write(std::string_view text) {
    text = text.substr(0, text.find('\0'));
    const std::size_t overlap = std::min(text.size(), bytes_.size() - position_);
    bytes_.replace(position_, overlap, text);
    position_ += text.size();
    return true;
}

bool MemoryFile::SeekFileStart() {
    position_ = 0;
    return open_;
}

bool MemoryFile::AtFileEnd(bool stopAtMark) const {
    return !open_ || position_ >= bytes_.size() || (stopAtMark && IsMark(bytes_[position_]));
}

Text MemoryFile::ReadLine() {
    // Reading the file in blocks that never split a character finds the same
    // stop byte as this one walk.
    const std::size_t size = bytes_.size();
    std::size_t end = position_;
    while (end < size && bytes_[end] != '\n' && !IsMark(bytes_[end]))
        end += static_cast<unsigned char>(bytes_[end]) >= 0x80 && end + 1 < size ? 2 : 1;
    Text line = bytes_.substr(position_, end - position_);
    position_ = end < size && bytes_[end] == '\n' ? end + 1 : end;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

void MemoryFile::CloseFile() {
    *this = MemoryFile();
}

} // namespace text
