#pragma once

#include <string_view>

namespace pivorel {

// The outside services the program talks to by default.
struct Endpoints {
    Endpoints() = delete;

    // Base address of the chat-completions service when "llmBaseURL" is not set; requests
    // go to this followed by "/chat/completions".
    static constexpr std::string_view defaultLLMBaseURL = "https://api.deepseek.com/v1";
    // Model name sent when "llmModel" is not set.
    static constexpr std::string_view defaultLLMModel = "deepseek-chat";
    // Every flomo webhook address begins with this; seeding accepts nothing else.
    static constexpr std::string_view flomoWebhookOrigin = "https://flomoapp.com/iwh/";
};

}  // namespace pivorel
