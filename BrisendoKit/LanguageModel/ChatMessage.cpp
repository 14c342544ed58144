#include "BrisendoKit/LanguageModel/ChatMessage.h"

namespace pivorel {

nlohmann::ordered_json ChatMessage::toJson() const {
    nlohmann::ordered_json object = nlohmann::ordered_json::object();
    object["role"] = role;
    object["content"] = content;
    return object;
}

std::optional<ChatMessage> ChatMessage::fromJson(const nlohmann::json& json) {
    if (!json.is_object()) return std::nullopt;
    const auto role = json.find("role");
    const auto content = json.find("content");
    if (role == json.end() || content == json.end() || !role->is_string() || !content->is_string())
        return std::nullopt;
    return ChatMessage{role->get<std::string>(), content->get<std::string>()};
}

}  // namespace pivorel
