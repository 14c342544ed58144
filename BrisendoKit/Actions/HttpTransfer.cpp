#include "BrisendoKit/Actions/HttpTransfer.h"

#include <curl/curl.h>

#include <cmath>
#include <memory>
#include <mutex>

namespace pivorel {

namespace {

struct Sink {
    std::string body;
    std::size_t limit = 0;
    bool overflowed = false;
};

std::size_t writeBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto* sink = static_cast<Sink*>(user);
    const std::size_t bytes = size * count;
    if (sink->body.size() + bytes > sink->limit) {
        sink->overflowed = true;
        return 0;  // makes curl stop with a write error
    }
    sink->body.append(data, bytes);
    return bytes;
}

struct EasyDeleter {
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
struct ListDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

void initialiseOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

}  // namespace

Result<HttpTransfer::Response, std::string> HttpTransfer::perform(const Request& request) {
    initialiseOnce();
    std::unique_ptr<CURL, EasyDeleter> curl(curl_easy_init());
    if (!curl) return fail(std::string(curl_easy_strerror(CURLE_FAILED_INIT)));
    CURL* h = curl.get();

    std::unique_ptr<curl_slist, ListDeleter> headers;
    for (const std::string& header : request.headers) {
        curl_slist* extended = curl_slist_append(headers.get(), header.c_str());
        if (!extended) return fail(std::string(curl_easy_strerror(CURLE_OUT_OF_MEMORY)));
        static_cast<void>(headers.release());
        headers.reset(extended);
    }

    Sink sink;
    sink.limit = request.maxBodyBytes;
    char error[CURL_ERROR_SIZE] = {};
    const auto timeoutMs =
        static_cast<long>(std::ceil(std::max(0.001, request.timeoutSeconds) * 1000));

    curl_easy_setopt(h, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, timeoutMs);
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, error);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, writeBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &sink);
    curl_easy_setopt(h, CURLOPT_ACCEPT_ENCODING, "");
    if (request.followRedirects) {
        curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(h, CURLOPT_MAXREDIRS, 5L);
    }
    if (headers) curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
    if (request.method == "POST") {
        curl_easy_setopt(h, CURLOPT_POST, 1L);
    } else if (request.method != "GET") {
        curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, request.method.c_str());
    }
    // curl reads the body from `request` during the transfer; it is not copied.
    static constexpr char kEmpty[] = "";
    if (request.body || request.method == "POST") {
        curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE,
                         static_cast<curl_off_t>(request.body ? request.body->size() : 0));
        curl_easy_setopt(h, CURLOPT_POSTFIELDS, request.body ? request.body->c_str() : kEmpty);
    }

    const CURLcode code = curl_easy_perform(h);
    if (sink.overflowed) return fail(std::string("reply larger than the allowed size"));
    if (code != CURLE_OK) {
        return fail(std::string(error[0] != '\0' ? error : curl_easy_strerror(code)));
    }
    Response response;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &response.status);
    response.body = std::move(sink.body);
    return response;
}

}  // namespace pivorel
