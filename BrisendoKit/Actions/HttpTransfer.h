#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "BrisendoKit/Support/Result.h"

namespace pivorel {

// One blocking HTTP exchange over libcurl, for the short requests of the actions (flomo
// notes, the extension catalog). Run it off the main thread.
struct HttpTransfer {
    struct Request {
        std::string method = "GET";
        std::string url;
        std::vector<std::string> headers;  // "Name: value"
        std::optional<std::string> body;
        double timeoutSeconds = 30;
        bool followRedirects = false;
        // A longer reply is cut off and reported as a failure.
        std::size_t maxBodyBytes = 4u << 20;
    };

    struct Response {
        long status = 0;
        std::string body;
    };

    // The reply whatever its status, or the transport failure's description (no network,
    // time-out, refused connection, TLS, a reply over maxBodyBytes).
    static Result<Response, std::string> perform(const Request& request);
};

}  // namespace pivorel
