#include "BrisendoKit/LanguageModel/SSE.h"

#include <nlohmann/json.hpp>

#include "BrisendoKit/Support/BoundedJson.h"
#include "BrisendoKit/Support/Text.h"

namespace pivorel {

namespace {

std::string_view trimSpacesAndTabs(std::string_view s) {
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    const auto last = s.find_last_not_of(" \t");
    return s.substr(first, last - first + 1);
}

}  // namespace

SSEEvent SSE::parse(std::string_view line) {
    constexpr std::string_view prefix = "data:";
    if (!line.starts_with(prefix)) return SSEEvent::ignore();
    const std::string_view payload = trimSpacesAndTabs(line.substr(prefix.size()));
    if (payload == "[DONE]") return SSEEvent::done();
    // Only something that could be a JSON object is worth the parser's time.
    if (payload.empty() || payload.front() != '{') return SSEEvent::ignore();

    // Lines are already cut at the client's limit. The JSON parser refuses ill-formed UTF-8
    // outright; repairing first keeps the piece.
    const auto json = text::isValidUtf8(payload) ? boundedjson::parse(payload)
                                                 : boundedjson::parse(text::repairUtf8(payload));
    if (!json.is_object()) return SSEEvent::ignore();
    const auto choices = json.find("choices");
    if (choices == json.end() || !choices->is_array() || choices->empty()) {
        return SSEEvent::ignore();
    }
    const auto& first = choices->front();
    if (!first.is_object()) return SSEEvent::ignore();
    const auto delta = first.find("delta");
    if (delta == first.end() || !delta->is_object()) return SSEEvent::ignore();
    const auto content = delta->find("content");
    if (content == delta->end() || !content->is_string()) return SSEEvent::ignore();
    auto text = content->get<std::string>();
    if (text.empty()) return SSEEvent::ignore();
    return SSEEvent::delta(std::move(text));
}

}  // namespace pivorel
