// The line reader on any bytes against its literal form, which reads the
// file in 512-byte blocks and never splits a character between two of them.
#include "fuzzinput.h"
#include "text/memoryfile.h"

namespace {

bool IsStop(char byte) {
    return byte == '\n' || byte == '\0' || byte == '\x1A';
}

std::string ReadLineInBlocks(std::string_view file, std::size_t& position) {
    std::string line;
    for (;;) {
        const std::string_view block = file.substr(position, 512);
        if (block.empty())
            break;
        std::size_t at = 0;
        std::size_t taken = block.size();
        while (at < block.size() && !IsStop(block[at])) {
            const bool lead = static_cast<unsigned char>(block[at]) >= 0x80;
            if (lead && at + 1 == block.size() && position + block.size() < file.size()) {
                taken = at;
                break;
            }
            at += lead ? 2 : 1;
        }
        if (at < block.size() && IsStop(block[at])) {
            line.append(block.substr(0, at));
            position += at + (block[at] == '\n');
            break;
        }
        line.append(block.substr(0, taken));
        position += taken;
    }
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::string_view text = bytes.substr(0, bytes.find('\0'));
    text::MemoryFile file = text::OpenMemoryFile();
    file.WriteText(text);
    file.SeekFileStart();
    std::size_t position = 0;
    for (bool atEnd = false; !atEnd;) {
        Check(file.ReadLine() == ReadLineInBlocks(text, position));
        const bool pastEnd = position >= text.size();
        atEnd = pastEnd || text[position] == '\x1A';
        Check(file.AtFileEnd() == pastEnd);
        Check(file.AtFileEnd(true) == atEnd);
    }
    return 0;
}
