#include <cstddef>
#include <cstdint>
#include <string_view>

#include "BrisendoKit/Support/Text.h"
#include "Pivorel/Linux/DesktopEntry.h"

// Any bytes parse; every value read back is valid UTF-8 and the lookups agree.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using pivorel::DesktopEntry;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const auto entry = DesktopEntry::parse(input);
    const auto plain = entry.value("Name");
    if (plain && !pivorel::text::isValidUtf8(*plain)) __builtin_trap();
    const auto localized = entry.localizedValue("Name", {"zh_CN", "zh"});
    if (localized && !pivorel::text::isValidUtf8(*localized)) __builtin_trap();
    if (plain && !localized) __builtin_trap();
    if (entry.localizedValue("Name", {}) != plain) __builtin_trap();
    // The locale list of any string ends with its language, and never repeats itself.
    const auto locales = DesktopEntry::localeFallbacks(input.substr(0, 64));
    for (std::size_t i = 0; i < locales.size(); ++i) {
        for (std::size_t j = i + 1; j < locales.size(); ++j) {
            if (locales[i] == locales[j]) __builtin_trap();
        }
    }
    return 0;
}
