#include "BrisendoKit/Support/BoundedJson.h"

namespace pivorel::boundedjson {

bool nestingWithinLimit(std::string_view bytes, int limit) {
    int depth = 0;
    bool inString = false;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (inString) {
            if (c == '\\') {
                ++i;
            } else if (c == '"') {
                inString = false;
            }
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > limit) return false;
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return true;
}

nlohmann::json parse(std::string_view bytes, std::size_t maxBytes) {
    if (bytes.size() > maxBytes || !nestingWithinLimit(bytes)) {
        return nlohmann::json(nlohmann::json::value_t::discarded);
    }
    return nlohmann::json::parse(bytes, nullptr, false);
}

}  // namespace pivorel::boundedjson
