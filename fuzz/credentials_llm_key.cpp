#include <cstddef>
#include <cstdint>
#include <string_view>

#include "BrisendoKit/Storage/Credentials.h"

// Any credentials file gives a non-empty key or nothing, never a crash; a found key is
// exactly the string stored under the provider.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using pivorel::Credentials;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    for (const char* provider : {"deepseek", "", "openai"}) {
        const auto key = Credentials::llmKey(input, provider);
        if (key && key->empty()) __builtin_trap();
        if (key != Credentials::llmKey(input, provider)) __builtin_trap();
    }
    return 0;
}
