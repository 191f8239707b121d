#pragma once
// Splitting a fuzz input into the arguments of one call, and the check that
// reports a broken promise as a crash.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string_view>

class FuzzInput final {
  public:
    FuzzInput(const std::uint8_t* data, std::size_t size)
        : rest_(reinterpret_cast<const char*>(data), size) {}

    std::uint8_t Byte() {
        if (rest_.empty())
            return 0;
        const auto byte = static_cast<std::uint8_t>(rest_.front());
        rest_.remove_prefix(1);
        return byte;
    }
    bool Flag() { return Byte() & 1; }
    // Left out, or a small position around the texts' lengths.
    std::optional<std::int64_t> Optional() {
        const std::uint8_t byte = Byte();
        return byte < 32 ? std::nullopt : std::optional<std::int64_t>(int(byte) - 40);
    }
    std::string_view Piece(std::size_t most) {
        const std::string_view piece = rest_.substr(0, Byte() % (most + 1));
        rest_.remove_prefix(piece.size());
        return piece;
    }
    std::string_view Rest() const { return rest_; }

  private:
    std::string_view rest_;
};

inline void Check(bool condition) {
    if (!condition)
        std::abort();
}
