#pragma once
// Owners of libcurl's handles, each freed by its own function.

#include <curl/curl.h>

#include <memory>

namespace net::curl {

template <auto Free> struct Deleter {
    template <typename T> void operator()(T* handle) const { Free(handle); }
};
using Easy = std::unique_ptr<CURL, Deleter<curl_easy_cleanup>>;
using Multi = std::unique_ptr<CURLM, Deleter<curl_multi_cleanup>>;
using HeaderList = std::unique_ptr<curl_slist, Deleter<curl_slist_free_all>>;
using UrlHandle = std::unique_ptr<CURLU, Deleter<curl_url_cleanup>>;
using Text = std::unique_ptr<char, Deleter<curl_free>>;

} // namespace net::curl
