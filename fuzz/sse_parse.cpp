// Event-stream lines and bodies as a server might send them: the line reader cuts the
// input at a position the input chooses, and every line goes through the parser.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "BrisendoKit/LanguageModel/SSE.h"
#include "BrisendoKit/LanguageModel/SSELineReader.h"
#include "BrisendoKit/Support/Text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const auto whole = pivorel::SSE::parse(input);
    if (whole.kind == pivorel::SSEEvent::Kind::delta &&
        (whole.text.empty() || !pivorel::text::isValidUtf8(whole.text)))
        __builtin_trap();

    pivorel::SSELineReader reader(256);
    const std::size_t cut = size == 0 ? 0 : data[0] % size;
    auto onLine = [&](std::string_view line) {
        if (line.size() > 256 || line.find_first_of("\r\n") != std::string_view::npos)
            __builtin_trap();
        const auto event = pivorel::SSE::parse(line);
        return event.kind != pivorel::SSEEvent::Kind::done;
    };
    if (reader.feed(input.substr(0, cut), onLine) && reader.feed(input.substr(cut), onLine)) {
        reader.finish(onLine);
    }
    if (reader.buffered() > 256) __builtin_trap();
    return 0;
}
