#include "BrisendoKit/LanguageModel/LLMError.h"

#include <nlohmann/json.hpp>

#include "BrisendoKit/Localization/L.h"
#include "BrisendoKit/Support/BoundedJson.h"
#include "BrisendoKit/Support/Text.h"

namespace pivorel {

LLMError LLMError::http(long long code, std::string message) {
    return LLMError(Kind::http, code, std::move(message));
}

LLMError LLMError::transport(std::string message) {
    return LLMError(Kind::transport, 0, std::move(message));
}

LLMError LLMError::invalidURL(std::string address) {
    return LLMError(Kind::invalidURL, 0, text::repairUtf8(address));
}

LLMError LLMError::notAnAnswer(std::string_view body) {
    return LLMError(Kind::notAnAnswer, 0,
                    text::graphemePrefix(text::repairUtf8(body), messageLimit));
}

LLMError LLMError::fromResponse(long long status, std::string_view body) {
    // Relays in China often answer in GBK or cut a body mid-character; a repaired text
    // still says more than an empty one.
    const std::string text = text::repairUtf8(body);
    if (text.find("insufficient_user_quota") != std::string::npos) return quota();
    std::string message = text;
    const auto json = boundedjson::parse(text);
    if (json.is_object()) {
        const auto error = json.find("error");
        if (error != json.end() && error->is_object()) {
            const auto inner = error->find("message");
            if (inner != error->end() && inner->is_string()) message = inner->get<std::string>();
        }
    }
    return http(status, text::graphemePrefix(message, messageLimit));
}

std::string LLMError::description() const {
    switch (kind_) {
        case Kind::http:
            return L("模型接口返回 %lld：%@", code_, message_);
        case Kind::noAPIKey:
            return L("还没有模型密钥：托盘 → 设置… 里填入 API Key");
        case Kind::quota:
            return L("中转站额度不足，请先充值");
        case Kind::transport:
            return L("网络出错：%@", message_);
        case Kind::timedOut:
            return L("请求超时：模型接口长时间没有回应");
        case Kind::invalidURL:
            return L("模型接口地址无效：%@", message_);
        case Kind::notAnAnswer:
            return L("模型接口的回复里没有回答，请检查接口地址：%@", message_);
    }
    return {};
}

}  // namespace pivorel
