#include "clipboard/textoffer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace clipboard {
namespace {

constexpr TargetAtoms Atoms{1, 2, 3, 4, 5, 6, 7, 8};
constexpr xcb_atom_t Unknown = 99;

std::vector<std::uint32_t> Items32(const Reply& reply) {
    std::vector<std::uint32_t> items(reply.bytes.size() / 4);
    std::memcpy(items.data(), reply.bytes.data(), reply.bytes.size());
    return items;
}

TEST(Latin1FromUtf8, ConvertsOnlyWhatLatin1Holds) {
    const struct {
        const char* utf8;
        std::optional<std::string> latin1;
    } cases[] = {
        {"", ""},
        {"magnet:?xt\r\n", "magnet:?xt\r\n"},
        {"caf\xC3\xA9", "caf\xE9"},
        {"\xC2\x80\xC3\xBF", "\x80\xFF"},
        {"\xC4\x80", std::nullopt},         // U+0100, first beyond Latin-1
        {"\xE7\xA3\x81", std::nullopt},     // a Chinese character
        {"\xC1\x81", std::nullopt},         // over-long 'A'
        {"ab\xC3", std::nullopt},           // cut short
        {"\xC3(", std::nullopt},            // no trail byte
        {"\x80", std::nullopt},             // trail byte alone
        {"\xF0\x9F\x98\x80", std::nullopt}, // beyond the BMP
    };
    for (const auto& c : cases)
        EXPECT_EQ(Latin1FromUtf8(c.utf8), c.latin1) << c.utf8;
}

TEST(OfferText, OffersUtf8AsItIs) {
    const std::string text = "\xE7\xA3\x81\xE5\x8A\x9B\r\nmagnet:?xt=urn:btih:ABC";
    for (xcb_atom_t target : {Atoms.utf8String, Atoms.textPlainUtf8}) {
        const std::optional<Reply> reply = OfferText(Atoms, target, text, 1);
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->type, target);
        EXPECT_EQ(reply->format, 8);
        EXPECT_EQ(reply->bytes, text);
    }
}

TEST(OfferText, LegacyTargetsGetLatin1OrSayTheyCarryUtf8) {
    for (xcb_atom_t target : {Atoms.string, Atoms.text}) {
        const std::optional<Reply> latin = OfferText(Atoms, target, "caf\xC3\xA9\r\n", 1);
        ASSERT_TRUE(latin);
        EXPECT_EQ(latin->type, Atoms.string);
        EXPECT_EQ(latin->bytes, "caf\xE9\r\n");

        const std::optional<Reply> chinese = OfferText(Atoms, target, "\xE7\xA3\x81", 1);
        ASSERT_TRUE(chinese);
        EXPECT_EQ(chinese->type, Atoms.utf8String);
        EXPECT_EQ(chinese->bytes, "\xE7\xA3\x81");
    }
}

TEST(OfferText, ListsTargetsAndTellsTheTimeTaken) {
    const std::optional<Reply> targets = OfferText(Atoms, Atoms.targets, "x", 1);
    ASSERT_TRUE(targets);
    EXPECT_EQ(targets->type, Atoms.atom);
    EXPECT_EQ(targets->format, 32);
    EXPECT_EQ(Items32(*targets), (std::vector<std::uint32_t>{1, 2, 3, 4, 5, 6}));
    // Every target listed is one that is answered.
    for (std::uint32_t target : Items32(*targets))
        EXPECT_TRUE(OfferText(Atoms, target, "x", 1)) << target;

    const std::optional<Reply> time = OfferText(Atoms, Atoms.timestamp, "x", 0xDEADBEEF);
    ASSERT_TRUE(time);
    EXPECT_EQ(time->type, Atoms.integer);
    EXPECT_EQ(Items32(*time), std::vector<std::uint32_t>{0xDEADBEEF});
}

TEST(OfferText, RefusesOtherTargets) {
    for (xcb_atom_t target : {Unknown, Atoms.atom, Atoms.integer, xcb_atom_t{0}})
        EXPECT_FALSE(OfferText(Atoms, target, "x", 1)) << target;
}

} // namespace
} // namespace clipboard
