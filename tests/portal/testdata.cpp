#include "testdata.h"

#include "portal/html.h"
#include "portal/readfile.h"

#include <algorithm>
#include <stdexcept>

namespace portaltest {

namespace {

std::string AsciiLower(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; });
    return lower;
}

std::size_t CountReplacements(std::string_view text) {
    std::size_t count = 0;
    for (std::size_t at = 0; (at = text.find("\xEF\xBF\xBD", at)) != std::string_view::npos;
         at += 3)
        ++count;
    return count;
}

} // namespace

const portal::Catalogue& ShippedCatalogue() {
    static const portal::Catalogue catalogue = [] {
        std::string error;
        std::optional<portal::Catalogue> loaded =
            portal::Catalogue::Load(LODESTONE_PORTAL_DATA, error);
        if (!loaded)
            throw std::runtime_error(error);
        return std::move(*loaded);
    }();
    return catalogue;
}

std::string ShippedFile(std::string_view relativePath) {
    return portal::ReadFile(std::filesystem::path(LODESTONE_PORTAL_DATA) / relativePath)
        .value_or("");
}

std::string TextBetween(std::string_view page, std::string_view front, std::string_view back) {
    const std::string lowerPage = AsciiLower(page);
    const std::size_t start = lowerPage.find(AsciiLower(front));
    if (start == std::string::npos)
        return {};
    const std::size_t from = start + front.size();
    const std::size_t end = lowerPage.find(AsciiLower(back), from);
    return end == std::string::npos ? std::string() : std::string(page.substr(from, end - from));
}

bool IsUtf8(std::string_view text) {
    // Escaping replaces each invalid byte with U+FFFD and keeps the rest.
    return CountReplacements(portal::HtmlEscape(text)) == CountReplacements(text);
}

} // namespace portaltest
