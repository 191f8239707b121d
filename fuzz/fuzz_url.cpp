// The URL splits on any bytes: they end, and the path is "/" or a tail of
// the URL that begins with "/".
#include "fuzzinput.h"
#include "net/url.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view url(reinterpret_cast<const char*>(data), size);
    (void)net::UrlHost(url);
    (void)net::UrlPort(url);
    const text::Text path = net::UrlPath(url);
    Check(path.starts_with('/') && (path == "/" || url.ends_with(path)));
    return 0;
}
