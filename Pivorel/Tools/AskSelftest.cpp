#include "Pivorel/Tools/AskSelftest.h"

#include <chrono>
#include <cstdio>
#include <iostream>
#include <memory>

#include "BrisendoKit/LanguageModel/Prompts.h"
#include "BrisendoKit/Storage/Credentials.h"
#include "BrisendoKit/Support/BlockingMainQueue.h"
#include "BrisendoKit/Support/Text.h"
#include "BrisendoKit/Support/UserDefaults.h"
#include "Pivorel/Linux/SecretServiceStore.h"

namespace pivorel {

namespace {

std::string seconds(std::chrono::steady_clock::duration d) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.2f", std::chrono::duration<double>(d).count());
    return buffer;
}

}  // namespace

int runAskSelftest(const AskSelftestOptions& options, std::ostream& out) {
    out << "ask-selftest: base=" << options.baseURL << " model=" << options.model
        << " key-in-keychain=" << (options.keyStored ? "true" : "false") << std::endl;

    BlockingMainQueue queue;
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
    const Credentials credentials(std::make_shared<SecretServiceStore>());
    const auto defaults = UserDefaults::standard();
    AskSelftestOptions options;
    options.baseURL =
        defaults->stringValue("llmBaseURL").value_or(std::string(LLMClient::defaultBaseURL));
    options.model =
        defaults->stringValue("llmModel").value_or(std::string(LLMClient::defaultModel));
    options.keyStored = credentials.exists(Credentials::llmAccount);
    options.apiKey = [credentials] { return credentials.get(Credentials::llmAccount); };
    return runAskSelftest(options, std::cout);
}

}  // namespace pivorel
