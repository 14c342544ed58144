#pragma once

#include <string>
#include <string_view>

namespace pivorel {

// What one line of a chat-completions event stream means.
struct SSEEvent {
    enum class Kind { delta, done, ignore };

    Kind kind = Kind::ignore;
    std::string text;  // the answer piece of a delta; never empty there

    static SSEEvent delta(std::string text) { return {Kind::delta, std::move(text)}; }
    static SSEEvent done() { return {Kind::done, {}}; }
    static SSEEvent ignore() { return {Kind::ignore, {}}; }

    friend bool operator==(const SSEEvent&, const SSEEvent&) = default;
};

// The line parser of the event stream. Each line is read on its own: an event spread over
// several "data:" lines is not joined, as no chat-completions service sends one.
struct SSE {
    SSE() = delete;

    // "data: [DONE]" is done; "data: {json}" whose choices[0].delta.content is a non-empty
    // string is a delta with that text (ill-formed UTF-8 repaired); everything else,
    // comments, blank lines and JSON of any other shape included, is ignore. Total.
    static SSEEvent parse(std::string_view line);
};

}  // namespace pivorel
