#pragma once

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace pivorel {

// One message of a chat-completions conversation. Roles used: "system", "user", "assistant".
struct ChatMessage {
    std::string role;
    std::string content;

    // {"role": ..., "content": ...}, in that order.
    nlohmann::ordered_json toJson() const;
    // Needs both members as strings; other members are ignored.
    static std::optional<ChatMessage> fromJson(const nlohmann::json& json);

    friend bool operator==(const ChatMessage&, const ChatMessage&) = default;
};

}  // namespace pivorel
