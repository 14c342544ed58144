#pragma once

#include <string>
#include <string_view>

namespace pivorel {

// Why a chat-completions stream failed. Compared by case and payload.
class LLMError {
  public:
    enum class Kind {
        http,         // a status other than 200: code() and message()
        noAPIKey,     // no key stored, or an empty one
        quota,        // the relay reports an exhausted balance
        transport,    // the connection failed: message() is the transport's own text
        timedOut,     // nothing arrived for the whole time-out, or the deadline passed
        invalidURL,   // the base address does not make a usable address: message() is it
        notAnAnswer,  // a 200 reply with neither answer text nor an end marker
    };

    // How much of a message an error keeps, in characters.
    static constexpr std::size_t messageLimit = 160;

    static LLMError http(long long code, std::string message);
    static LLMError noAPIKey() { return LLMError(Kind::noAPIKey, 0, {}); }
    static LLMError quota() { return LLMError(Kind::quota, 0, {}); }
    static LLMError transport(std::string message);
    static LLMError timedOut() { return LLMError(Kind::timedOut, 0, {}); }
    static LLMError invalidURL(std::string address);
    // Keeps the first messageLimit characters of the body.
    static LLMError notAnAnswer(std::string_view body);

    // The error of a response whose status is not 200, from the status and the raw body
    // bytes (which may be cut short: callers read only the first part of a large body).
    static LLMError fromResponse(long long status, std::string_view body);

    Kind kind() const { return kind_; }
    long long code() const { return code_; }
    const std::string& message() const { return message_; }

    // The text shown to the user, in the interface language.
    std::string description() const;

    friend bool operator==(const LLMError&, const LLMError&) = default;

  private:
    LLMError(Kind kind, long long code, std::string message)
        : kind_(kind), code_(code), message_(std::move(message)) {}

    Kind kind_;
    long long code_;
    std::string message_;
};

}  // namespace pivorel
