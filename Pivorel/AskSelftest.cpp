#include "AskSelftest.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <iostream>
#include <memory>
#include <mutex>

#include "LanguageModel/Prompts.h"
#include "Linux/SecretServiceStore.h"
#include "Storage/Credentials.h"
#include "Storage/UserDefaults.h"
#include "Support/MainQueue.h"
#include "Support/Text.h"

namespace pivorel {

namespace {

// The self test's main thread: runs posted tasks until told to stop. No timers are needed.
class LoopQueue final : public MainQueue {
  public:
    void post(Task task) override {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
        wake_.notify_one();
    }
    void postAfter(double, Task task) override { post(std::move(task)); }

    template <class Done>
    void runUntil(Done done) {
        while (!done()) {
            Task task;
            {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, [&] { return !tasks_.empty(); });
                task = std::move(tasks_.front());
                tasks_.pop_front();
            }
            task();
        }
    }

  private:
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Task> tasks_;
};

std::string seconds(std::chrono::steady_clock::duration d) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.2f", std::chrono::duration<double>(d).count());
    return buffer;
}

}  // namespace

int runAskSelftest(const AskSelftestOptions& options, std::ostream& out) {
    out << "ask-selftest: base=" << options.baseURL << " model=" << options.model
        << " key-in-keychain=" << (options.keyStored ? "true" : "false") << std::endl;

    LoopQueue queue;
    LLMClient client(options.baseURL, options.model, queue, options.apiKey, options.timeoutSeconds);
    std::string answer;
    std::optional<std::chrono::steady_clock::time_point> firstPiece;
    bool finished = false;
    std::optional<StreamError> failure;
    const auto start = std::chrono::steady_clock::now();
    auto handle = client.stream(
        Prompts::askMessages("serendipity", std::nullopt),
        [&](const std::string& piece) {
            if (!firstPiece) firstPiece = std::chrono::steady_clock::now();
            answer += piece;
        },
        [&](const std::optional<StreamError>& error) {
            finished = true;
            failure = error;
        });
    queue.runUntil([&] { return finished; });
    const auto end = std::chrono::steady_clock::now();

    if (failure) {
        out << "ask-selftest: ERROR " << description(*failure) << std::endl;
        return 1;
    }
    out << "ask-selftest: first-token=" << seconds(firstPiece.value_or(end) - start)
        << "s total=" << seconds(end - start) << "s chars=" << text::graphemeCount(answer)
        << std::endl;
    return 0;
}

int runAskSelftest() {
    Credentials::setStore(std::make_shared<SecretServiceStore>());
    const auto defaults = UserDefaults::standard();
    AskSelftestOptions options;
    options.baseURL =
        defaults->stringValue("llmBaseURL").value_or(std::string(LLMClient::defaultBaseURL));
    options.model =
        defaults->stringValue("llmModel").value_or(std::string(LLMClient::defaultModel));
    options.keyStored = Credentials::exists(Credentials::llmAccount);
    options.apiKey = [] { return Credentials::get(Credentials::llmAccount); };
    return runAskSelftest(options, std::cout);
}

}  // namespace pivorel
