#include "BrisendoKit/LanguageModel/LLMClient.h"

#include <arpa/inet.h>
#include <curl/curl.h>
#include <netinet/in.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <mutex>

#include <nlohmann/json.hpp>

#include "BrisendoKit/LanguageModel/SSE.h"
#include "BrisendoKit/LanguageModel/SSELineReader.h"
#include "BrisendoKit/LanguageModel/StreamTask.h"
#include "BrisendoKit/Support/MainQueue.h"
#include "BrisendoKit/Support/Text.h"

namespace pivorel {

namespace {

using SteadyClock = std::chrono::steady_clock;

// Enough raw bytes for the first 160 characters of a reply that holds no answer.
constexpr std::size_t bodyStartBytes = 4 * 1024;

void initCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// Whether `url` parses as an http or https URL with a host.
bool isHttpURL(const std::string& url) {
    CURLU* handle = curl_url();
    if (handle == nullptr) return false;
    bool ok = false;
    if (curl_url_set(handle, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK) {
        char* scheme = nullptr;
        char* host = nullptr;
        if (curl_url_get(handle, CURLUPART_SCHEME, &scheme, 0) == CURLUE_OK &&
            curl_url_get(handle, CURLUPART_HOST, &host, 0) == CURLUE_OK) {
            ok = (std::strcmp(scheme, "http") == 0 || std::strcmp(scheme, "https") == 0) &&
                 host[0] != '\0';
        }
        curl_free(scheme);
        curl_free(host);
    }
    curl_url_cleanup(handle);
    return ok;
}

// The host part of `url` as curl parses it (IPv4 shorthand normalised, IPv6 in brackets).
std::optional<std::string> urlHost(const std::string& url) {
    CURLU* handle = curl_url();
    if (handle == nullptr) return std::nullopt;
    std::optional<std::string> result;
    char* host = nullptr;
    if (curl_url_set(handle, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK &&
        curl_url_get(handle, CURLUPART_HOST, &host, 0) == CURLUE_OK) {
        result = host;
    }
    curl_free(host);
    curl_url_cleanup(handle);
    return result;
}

// One HTTP exchange, run on the stream's worker thread from start to end.
class Transfer {
  public:
    explicit Transfer(std::shared_ptr<StreamTask> task)
        : task_(std::move(task)), lines_(LLMClient::maxLineBytes) {}

    void run(const LLMClient::Request& request) {
        CURL* easy = curl_easy_init();
        CURLM* multi = curl_multi_init();
        curl_slist* headers = nullptr;
        for (const auto& [name, value] : request.headers) {
            headers = curl_slist_append(headers, (name + ": " + value).c_str());
        }
        // Bodies over a size make curl wait a second for "100 Continue"; nobody needs it.
        headers = curl_slist_append(headers, "Expect:");
        if (easy == nullptr || multi == nullptr || headers == nullptr) {
            task_->postFinish(LLMError::transport("curl"));
        } else {
            easy_ = easy;
            configure(request, headers);
            curl_multi_add_handle(multi, easy);
            // cancel() wakes the poll, so a cancelled transfer stops at once even when
            // the server sends nothing.
            task_->setWake([multi] { curl_multi_wakeup(multi); });
            const auto outcome = perform(multi, request.timeoutSeconds, request.deadlineSeconds);
            task_->setWake(nullptr);
            curl_multi_remove_handle(multi, easy);
            if (!task_->isCancelled()) task_->postFinish(outcome);
        }
        curl_slist_free_all(headers);
        if (easy != nullptr) curl_easy_cleanup(easy);
        if (multi != nullptr) curl_multi_cleanup(multi);
    }

  private:
    void configure(const LLMClient::Request& request, curl_slist* headers) {
        errorBuffer_[0] = '\0';
        curl_easy_setopt(easy_, CURLOPT_URL, request.url.c_str());
        curl_easy_setopt(easy_, CURLOPT_POST, 1L);
        curl_easy_setopt(easy_, CURLOPT_POSTFIELDS, request.body.data());
        curl_easy_setopt(easy_, CURLOPT_POSTFIELDSIZE_LARGE,
                         static_cast<curl_off_t>(request.body.size()));
        curl_easy_setopt(easy_, CURLOPT_HTTPHEADER, headers);
        curl_easy_setopt(easy_, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(easy_, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(easy_, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(easy_, CURLOPT_MAXREDIRS, 5L);
        curl_easy_setopt(easy_, CURLOPT_NOSIGNAL, 1L);
        // Cancelling during a name lookup must not wait for the resolver thread.
        curl_easy_setopt(easy_, CURLOPT_QUICK_EXIT, 1L);
        curl_easy_setopt(easy_, CURLOPT_CONNECTTIMEOUT_MS,
                         static_cast<long>(std::max(1.0, request.timeoutSeconds * 1000)));
        curl_easy_setopt(easy_, CURLOPT_ERRORBUFFER, errorBuffer_);
        curl_easy_setopt(easy_, CURLOPT_WRITEFUNCTION, &Transfer::onWrite);
        curl_easy_setopt(easy_, CURLOPT_WRITEDATA, this);
        curl_easy_setopt(easy_, CURLOPT_HEADERFUNCTION, &Transfer::onHeader);
        curl_easy_setopt(easy_, CURLOPT_HEADERDATA, this);
        curl_easy_setopt(easy_, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(easy_, CURLOPT_XFERINFOFUNCTION, &Transfer::onProgress);
        curl_easy_setopt(easy_, CURLOPT_XFERINFODATA, this);
    }

    // Drives the transfer until it ends, is cancelled, goes quiet for too long or runs
    // past its deadline.
    std::optional<StreamError> perform(CURLM* multi, double timeoutSeconds,
                                       double deadlineSeconds) {
        const auto seconds = [](double s) {
            return std::chrono::duration_cast<SteadyClock::duration>(
                std::chrono::duration<double>(s));
        };
        const auto timeout = seconds(timeoutSeconds);
        lastActivity_ = SteadyClock::now();
        const auto deadline = lastActivity_ + seconds(deadlineSeconds);
        bool timedOut = false;
        for (;;) {
            int running = 0;
            if (const CURLMcode code = curl_multi_perform(multi, &running); code != CURLM_OK) {
                if (task_->isCancelled()) return std::nullopt;
                return LLMError::transport(curl_multi_strerror(code));
            }
            if (task_->isCancelled() || running == 0) break;
            const auto now = SteadyClock::now();
            const auto until = std::min(lastActivity_ + timeout, deadline);
            if (now >= until) {
                timedOut = true;
                break;
            }
            const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(until - now);
            curl_multi_poll(multi, nullptr, 0,
                            static_cast<int>(std::clamp<long long>(wait.count() + 1, 1, 1000)),
                            nullptr);
        }
        if (task_->isCancelled()) return std::nullopt;

        CURLcode result = CURLE_OK;
        int queued = 0;
        while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
            if (message->msg == CURLMSG_DONE) result = message->data.result;
        }
        long status = 0;
        curl_easy_getinfo(easy_, CURLINFO_RESPONSE_CODE, &status);

        if (done_) return std::nullopt;
        if (status != 0 && status != 200) return LLMError::fromResponse(status, errorBody_);
        if (timedOut) return LLMError::timedOut();
        if (result != CURLE_OK && !stoppedReading_) {
            return LLMError::transport(errorBuffer_[0] != '\0' ? errorBuffer_
                                                               : curl_easy_strerror(result));
        }
        lines_.finish([this](std::string_view line) { return onLine(line); });
        if (done_ || anyDelta_) return std::nullopt;
        // A 200 reply without a single answer piece or end marker is not an answer: most
        // likely a web page from a wrong base address or a captive portal.
        return LLMError::notAnAnswer(text::trim(text::repairUtf8(bodyStart_)));
    }

    bool onLine(std::string_view line) {
        auto event = SSE::parse(line);
        switch (event.kind) {
            case SSEEvent::Kind::delta:
                anyDelta_ = true;
                task_->postPiece(std::move(event.text));
                return true;
            case SSEEvent::Kind::done:
                done_ = true;
                return false;
            case SSEEvent::Kind::ignore:
                return true;
        }
        return true;
    }

    std::size_t consume(const char* data, std::size_t size) {
        lastActivity_ = SteadyClock::now();
        if (task_->isCancelled()) return 0;  // any short count aborts the transfer
        if (status_ < 0) curl_easy_getinfo(easy_, CURLINFO_RESPONSE_CODE, &status_);
        const std::string_view bytes(data, size);
        if (status_ != 200) {
            errorBody_.append(bytes.substr(0, LLMClient::errorBodyLimit - errorBody_.size()));
            if (errorBody_.size() < LLMClient::errorBodyLimit) return size;
            stoppedReading_ = true;
            return 0;
        }
        if (bodyStart_.size() < bodyStartBytes) {
            bodyStart_.append(bytes.substr(0, bodyStartBytes - bodyStart_.size()));
        }
        if (!lines_.feed(bytes, [this](std::string_view line) { return onLine(line); })) {
            stoppedReading_ = true;
            return 0;
        }
        return size;
    }

    static std::size_t onWrite(char* data, std::size_t size, std::size_t count, void* self) {
        return static_cast<Transfer*>(self)->consume(data, size * count);
    }

    static std::size_t onHeader(char*, std::size_t size, std::size_t count, void* self) {
        static_cast<Transfer*>(self)->lastActivity_ = SteadyClock::now();
        return size * count;
    }

    static int onProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
        return static_cast<Transfer*>(self)->task_->isCancelled() ? 1 : 0;
    }

    std::shared_ptr<StreamTask> task_;
    CURL* easy_ = nullptr;
    char errorBuffer_[CURL_ERROR_SIZE];
    SteadyClock::time_point lastActivity_;
    long status_ = -1;
    std::string errorBody_;
    std::string bodyStart_;
    SSELineReader lines_;
    bool done_ = false;
    bool anyDelta_ = false;
    bool stoppedReading_ = false;
};

}  // namespace

LLMClient::LLMClient(std::string baseURL, std::string model, MainQueue& queue, KeyProvider apiKey,
                     double timeoutSeconds, double deadlineSeconds)
    : baseURL_(std::move(baseURL)),
      model_(std::move(model)),
      queue_(queue),
      apiKey_(std::move(apiKey)),
      timeoutSeconds_(timeoutSeconds),
      deadlineSeconds_(deadlineSeconds) {
    initCurlOnce();
}

bool LLMClient::isLoopback(std::string_view baseURL) {
    auto host = urlHost(std::string(baseURL));
    if (!host || host->empty()) return false;
    std::string name = std::move(*host);
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; });
    if (name == "localhost" || name == "localhost.") return true;
    in_addr v4{};
    if (inet_pton(AF_INET, name.c_str(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
    if (name.size() > 2 && name.front() == '[' && name.back() == ']') {
        name = name.substr(1, name.size() - 2);
        in6_addr v6{};
        if (inet_pton(AF_INET6, name.c_str(), &v6) != 1) return false;
        if (IN6_IS_ADDR_LOOPBACK(&v6)) return true;
        return IN6_IS_ADDR_V4MAPPED(&v6) && v6.s6_addr[12] == 127;
    }
    return false;
}

Result<LLMClient::Request, LLMError> LLMClient::makeRequest(
    const std::vector<ChatMessage>& messages, std::string_view key) const {
    Request request;
    request.url = baseURL_ + "/chat/completions";
    if (!isHttpURL(request.url)) return fail(LLMError::invalidURL(baseURL_));
    request.method = "POST";
    if (!key.empty()) request.headers.emplace_back("Authorization", "Bearer " + std::string(key));
    request.headers.emplace_back("Content-Type", "application/json");
    nlohmann::ordered_json body = nlohmann::ordered_json::object();
    body["model"] = model_;
    body["stream"] = true;
    body["messages"] = nlohmann::ordered_json::array();
    for (const auto& message : messages) body["messages"].push_back(message.toJson());
    // Replacing ill-formed UTF-8 keeps serialisation from failing on any text.
    request.body = body.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    request.timeoutSeconds = timeoutSeconds_;
    request.deadlineSeconds = deadlineSeconds_;
    return request;
}

std::unique_ptr<Cancellable> LLMClient::stream(std::vector<ChatMessage> messages, OnPiece onPiece,
                                               OnFinish onFinish) {
    auto task = std::make_shared<StreamTask>(queue_, std::move(onPiece), std::move(onFinish));
    // The worker gets its own copy of everything: the client may go before it ends.
    auto work = [task, client = LLMClient(*this), messages = std::move(messages)] {
        const auto key = client.apiKey_ ? client.apiKey_() : std::nullopt;
        const std::string trimmed = key ? text::trim(*key) : std::string();
        // A model on this machine is the one place a request may go without a key.
        if (trimmed.empty() && !isLoopback(client.baseURL_)) {
            task->postFinish(LLMError::noAPIKey());
            return;
        }
        auto request = client.makeRequest(messages, trimmed);
        if (!request) {
            task->postFinish(request.error());
            return;
        }
        if (!task->isCancelled()) Transfer(task).run(*request);
    };
    return StreamTask::start(task, std::move(work));
}

}  // namespace pivorel
