// The cookie store on any Set-Cookie text: whatever it keeps, the Cookie
// header it builds never holds a byte that could end a header line.
#include "fuzzinput.h"
#include "net/cookiestore.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    const std::string_view url = input.Piece(24);
    const std::string_view name = input.Piece(8);
    const std::string_view host = input.Piece(16);
    const std::string_view path = input.Piece(16);
    const bool secure = input.Flag();
    net::CookieStore store;
    store.SetCookie(url, name, input.Rest());
    store.SetCookie(url, {}, input.Rest());
    const std::string header = store.CookieHeader(host, path, secure);
    Check(header.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos);
    return 0;
}
