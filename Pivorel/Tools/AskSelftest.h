#pragma once

#include <iosfwd>
#include <string>

#include "BrisendoKit/LanguageModel/LLMClient.h"

namespace pivorel {

struct AskSelftestOptions {
    std::string baseURL;
    std::string model;
    LLMClient::KeyProvider apiKey;
    bool keyStored = false;  // only reported
    double timeoutSeconds = LLMClient::defaultTimeout;
};

// Streams one answer about "serendipity" and prints the findings: the endpoint line, then
// the time to the first piece, the total time and the characters received, or the error.
// Returns the exit status: 0 when an answer came, 1 otherwise.
int runAskSelftest(const AskSelftestOptions& options, std::ostream& out);

// pivorel --ask-selftest: the endpoint and model from the user defaults, the key from the
// secret store.
int runAskSelftest();

}  // namespace pivorel
