// An inbound link: parsing never crashes, and what it accepts is well-formed text within the
// limits; any bytes sent percent-encoded as the text come back as that text, repaired.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "BrisendoKit/Selection/SelectionURL.h"
#include "BrisendoKit/Support/Text.h"

using namespace pivorel;

namespace {

void check(bool condition) {
    if (!condition) std::abort();
}

bool isTrimmedValue(const std::optional<std::string>& value) {
    return !value || (!value->empty() && text::isValidUtf8(*value) && text::trim(*value) == *value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    const auto parsed = SelectionURL::parse(input);
    if (parsed) {
        const SelectRequest& r = *parsed;
        check(!r.text.empty() && text::isValidUtf8(r.text));
        check(!text::isWhiteSpace([&] {
            std::size_t i = 0;
            return text::decodeNext(r.text, i);
        }()));
        check(text::graphemeCount(r.text) <= SelectionURL::maxTextLength);
        check(isTrimmedValue(r.app) && isTrimmedValue(r.url));
        check(!r.source.empty() && text::isValidUtf8(r.source));
        check(!r.editable);
    } else {
        check(parsed.error().description().find_first_of("\r\n") == std::string::npos);
    }

    // The input as the text of a well-formed link.
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string link = "pivorel://select?src=fuzz&text=";
    for (const char c : input) {
        const auto byte = static_cast<unsigned char>(c);
        link += '%';
        link += digits[byte >> 4];
        link += digits[byte & 0xF];
    }
    const auto sent = SelectionURL::parse(link);
    const std::string expected =
        text::graphemePrefix(text::trim(text::repairUtf8(input)), SelectionURL::maxTextLength);
    check(expected.empty() ? !sent : (sent && sent->text == expected && sent->source == "fuzz"));
    return 0;
}
