#pragma once
// What the server tests share: the portal's own data and the client's way of
// cutting text out of a page.

#include "portal/catalogue.h"

#include <string>
#include <string_view>

namespace portaltest {

const portal::Catalogue& ShippedCatalogue();
std::string ShippedFile(std::string_view relativePath);

// What the client cuts out of a page: from the first occurrence of front
// (ASCII letters in either case) to the first occurrence of back after it;
// empty when either is missing.
std::string TextBetween(std::string_view page, std::string_view front, std::string_view back);

bool IsUtf8(std::string_view text);

} // namespace portaltest
