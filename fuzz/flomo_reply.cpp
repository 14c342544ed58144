// flomo webhook replies: any bytes give "sent" or a failure whose message is valid UTF-8,
// non-empty and at most 120 characters.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "BrisendoKit/Actions/FlomoClient.h"
#include "BrisendoKit/Support/Text.h"

using namespace pivorel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    const FlomoResult result = FlomoClient::interpretReply(body);
    if (result.kind == FlomoResult::Kind::sent) {
        if (!result.text.empty()) std::abort();
        return 0;
    }
    if (result.kind != FlomoResult::Kind::failed) std::abort();
    if (result.text.empty() || !text::isValidUtf8(result.text)) std::abort();
    if (text::graphemeCount(result.text) > FlomoClient::maxMessageLength) std::abort();
    return 0;
}
