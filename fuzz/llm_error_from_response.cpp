// Bodies of failed responses: the first two bytes pick the status code.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "BrisendoKit/LanguageModel/LLMError.h"
#include "BrisendoKit/Support/Text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const long long status = data[0] * 4 + data[1] % 4;
    const std::string_view body(reinterpret_cast<const char*>(data + 2), size - 2);
    const auto error = pivorel::LLMError::fromResponse(status, body);
    if (error.kind() == pivorel::LLMError::Kind::http) {
        if (error.code() != status || !pivorel::text::isValidUtf8(error.message()) ||
            pivorel::text::graphemeCount(error.message()) > pivorel::LLMError::messageLimit)
            __builtin_trap();
    } else if (error.kind() != pivorel::LLMError::Kind::quota) {
        __builtin_trap();
    }
    (void)error.description();
    return 0;
}
