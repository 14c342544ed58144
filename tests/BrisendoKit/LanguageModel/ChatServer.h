#pragma once

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "BrisendoKit/LanguageModel/ChatStreaming.h"
#include "Fakes/ManualMainQueue.h"
#include "LocalHttpServer.h"

namespace pivorel::test {

// A chat-completions endpoint on 127.0.0.1 that answers as real services do: chunked
// transfer, pauses between events, CR LF line ends, a role-only first chunk and "[DONE]". Each
// request takes the next scripted reply; with none left, the last one repeats.
class ChatServer {
  public:
    struct Step {
        int pauseMs = 0;
        std::string bytes;
    };
    struct Reply {
        int status = 200;
        std::string contentType = "text/event-stream";
        std::vector<Step> steps;  // written as chunks (one body when not chunked)
        bool chunked = true;
        bool dropConnection = false;  // close before the chunked body ends
        bool stall = false;           // after the steps, send nothing until the test ends
    };
    struct Received {
        std::string path, authorization, body;
    };

    ChatServer() {
        http_.server.Post(R"(/.*)", [this](const httplib::Request& req, httplib::Response& res) {
            handle(req, res);
        });
        http_.start();
    }
    ~ChatServer() { stopping_ = true; }

    std::string baseURL() const { return http_.url("/v1"); }
    void reply(Reply r) {
        std::lock_guard lock(mutex_);
        replies_.push_back(std::move(r));
    }
    std::vector<Received> requests() const {
        std::lock_guard lock(mutex_);
        return received_;
    }

    // Event-stream pieces.
    static std::string event(const nlohmann::json& delta) {
        const nlohmann::json payload = {{"id", "chatcmpl-1"},
                                        {"object", "chat.completion.chunk"},
                                        {"choices", {{{"index", 0}, {"delta", delta}}}}};
        return "data: " + payload.dump() + "\r\n\r\n";
    }
    static std::string delta(const std::string& text) { return event({{"content", text}}); }
    static std::string role() { return event({{"role", "assistant"}}); }

    // A whole answer as a service streams it, one piece per chunk.
    static Reply answer(const std::vector<std::string>& pieces, int pauseMs = 2) {
        Reply r;
        r.steps.push_back({0, role()});
        for (const auto& piece : pieces) r.steps.push_back({pauseMs, delta(piece)});
        r.steps.push_back({0, "data: [DONE]\r\n\r\n"});
        return r;
    }
    static Reply error(int status, std::string body, std::string contentType = "application/json") {
        Reply r;
        r.status = status;
        r.contentType = std::move(contentType);
        r.chunked = false;
        r.steps.push_back({0, std::move(body)});
        return r;
    }

  private:
    void handle(const httplib::Request& req, httplib::Response& res) {
        Reply r;
        {
            std::lock_guard lock(mutex_);
            received_.push_back({req.path, req.get_header_value("Authorization"), req.body});
            if (!replies_.empty()) {
                last_ = replies_.front();
                replies_.pop_front();
            }
            r = last_;
        }
        res.status = r.status;
        if (!r.chunked) return res.set_content(r.steps.at(0).bytes, r.contentType.c_str());
        res.set_chunked_content_provider(
            r.contentType.c_str(), [this, r](std::size_t, httplib::DataSink& sink) {
                for (const auto& step : r.steps) {
                    if (!pause(step.pauseMs)) return false;
                    if (!sink.write(step.bytes.data(), step.bytes.size())) return false;
                }
                while (r.stall && pause(20)) {
                }
                if (r.stall || r.dropConnection) return false;
                sink.done();
                return true;
            });
    }

    bool pause(int ms) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < until) {
            if (stopping_) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(std::min(ms, 5)));
        }
        return true;
    }

    mutable std::mutex mutex_;
    std::deque<Reply> replies_;
    Reply last_;
    std::vector<Received> received_;
    std::atomic<bool> stopping_{false};
    // Last, so it stops (and its handlers finish) before anything they use goes away.
    LocalHttpServer http_;
};

// What one stream delivered through the main queue.
struct Collected {
    std::vector<std::string> pieces;
    bool finished = false;
    std::optional<StreamError> error;

    ChatStreaming::OnPiece onPiece() {
        return [this](const std::string& piece) { pieces.push_back(piece); };
    }
    ChatStreaming::OnFinish onFinish() {
        return [this](const std::optional<StreamError>& e) {
            EXPECT_FALSE(finished) << "finished twice";
            finished = true;
            error = e;
        };
    }
    std::string text() const {
        std::string all;
        for (const auto& p : pieces) all += p;
        return all;
    }
    // The LLMError it ended with, if any.
    std::optional<LLMError> llmError() const {
        if (error)
            if (const auto* e = std::get_if<LLMError>(&*error)) return *e;
        return std::nullopt;
    }
};

// Runs the main queue until `done` holds or the real-time limit passes.
inline bool pumpUntil(ManualMainQueue& queue, const std::function<bool()>& done,
                      std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        queue.waitForPost(std::chrono::milliseconds(20));
        queue.runReady();
    }
    return true;
}

}  // namespace pivorel::test
