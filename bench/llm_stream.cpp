// The streaming client against a bare local HTTP server driven by the benchmark itself.
// BM_EventToPiece: from the server writing one event to onPiece running on the main
//   thread (manual time; the counter median_us is the median over every event sent).
// BM_TenMegabyteAnswer: a 10 MB answer in 1 KB pieces; peak_rss_mb is how far the
//   process's peak resident memory grew while it streamed.
// BM_HugeLine: a 64 MB event line (dropped unread) followed by one normal piece.
// BM_CancelSilent: cancel() plus the handle's destruction while the server sends nothing.
#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "BrisendoKit/LanguageModel/LLMClient.h"
#include "BrisendoKit/Support/BlockingMainQueue.h"
#include "ProcessMemory.h"

using namespace pivorel;
using Clock = std::chrono::steady_clock;

namespace {

using pivorel::bench::peakRssKb;
using pivorel::bench::resetPeakRss;

// One listening socket on 127.0.0.1; each connection is answered by hand.
class RawServer {
  public:
    RawServer() {
        listen_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listen_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        listen(listen_, 4);
        socklen_t len = sizeof addr;
        getsockname(listen_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
    }
    ~RawServer() { close(listen_); }

    std::string baseURL() const { return "http://127.0.0.1:" + std::to_string(port_) + "/v1"; }

    // Accepts one request, reads it whole and answers with the headers of a chunked
    // event stream. Returns the connection.
    int acceptStream() const {
        const int fd = accept(listen_, nullptr, nullptr);
        const int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        std::string request;
        char buffer[4096];
        std::size_t headerEnd = std::string::npos;
        std::size_t length = 0;
        for (;;) {
            const auto n = recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0) break;
            request.append(buffer, static_cast<std::size_t>(n));
            if (headerEnd == std::string::npos) {
                headerEnd = request.find("\r\n\r\n");
                if (headerEnd == std::string::npos) continue;
                const auto at = request.find("Content-Length: ");
                if (at != std::string::npos) length = std::stoul(request.substr(at + 16));
            }
            if (request.size() >= headerEnd + 4 + length) break;
        }
        send(fd,
             "HTTP/1.1 200 OK\r\nContent-Type: text/event-stream\r\n"
             "Transfer-Encoding: chunked\r\n\r\n");
        return fd;
    }

    static void send(int fd, const std::string& bytes) {
        std::size_t sent = 0;
        while (sent < bytes.size()) {
            const auto n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) return;
            sent += static_cast<std::size_t>(n);
        }
    }
    static void sendChunk(int fd, const std::string& data) {
        char size[32];
        std::snprintf(size, sizeof size, "%zx\r\n", data.size());
        send(fd, size + data + "\r\n");
    }
    static void end(int fd) {
        sendChunk(fd, "data: [DONE]\r\n\r\n");
        send(fd, "0\r\n\r\n");
        close(fd);
    }

  private:
    int listen_ = -1;
    int port_ = 0;
};

std::string event(const std::string& text) {
    return "data: " +
           nlohmann::json{{"choices", {{{"index", 0}, {"delta", {{"content", text}}}}}}}.dump() +
           "\r\n\r\n";
}

const std::vector<ChatMessage> question = {{"user", "serendipity"}};

LLMClient makeClient(const RawServer& server, MainQueue& queue) {
    return LLMClient(server.baseURL(), "bench", queue, [] { return std::string("sk"); });
}

void BM_EventToPiece(benchmark::State& state) {
    RawServer server;
    BlockingMainQueue queue;
    auto client = makeClient(server, queue);
    std::size_t pieces = 0;
    bool finished = false;
    auto handle = client.stream(
        question, [&](const std::string&) { ++pieces; },
        [&](const std::optional<StreamError>&) { finished = true; });
    const int fd = server.acceptStream();
    const std::string chunk = event("token");
    std::vector<double> latencies;
    for (auto _ : state) {
        const auto expected = pieces + 1;
        const auto start = Clock::now();
        RawServer::sendChunk(fd, chunk);
        queue.runUntil([&] { return pieces == expected; });
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        latencies.push_back(seconds);
        state.SetIterationTime(seconds);
    }
    RawServer::end(fd);
    queue.runUntil([&] { return finished; });
    std::sort(latencies.begin(), latencies.end());
    state.counters["median_us"] = latencies[latencies.size() / 2] * 1e6;
    state.counters["p99_us"] = latencies[latencies.size() * 99 / 100] * 1e6;
}
BENCHMARK(BM_EventToPiece)->UseManualTime()->Unit(benchmark::kMicrosecond);

void BM_TenMegabyteAnswer(benchmark::State& state) {
    const std::string chunk = event(std::string(1024, 'a'));
    const std::size_t count = 10 * 1024;
    for (auto _ : state) {
        RawServer server;
        BlockingMainQueue queue;
        auto client = makeClient(server, queue);
        std::size_t received = 0;
        bool finished = false;
        resetPeakRss();
        const long before = peakRssKb();
        auto handle = client.stream(
            question, [&](const std::string& piece) { received += piece.size(); },
            [&](const std::optional<StreamError>&) { finished = true; });
        std::thread writer([&] {
            const int fd = server.acceptStream();
            for (std::size_t i = 0; i < count; ++i) RawServer::sendChunk(fd, chunk);
            RawServer::end(fd);
        });
        queue.runUntil([&] { return finished; });
        writer.join();
        state.counters["peak_rss_mb"] = static_cast<double>(peakRssKb() - before) / 1024;
        if (received != count * 1024) state.SkipWithError("pieces lost");
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(count * 1024));
}
BENCHMARK(BM_TenMegabyteAnswer)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_HugeLine(benchmark::State& state) {
    const std::string block(1 << 20, 'x');
    for (auto _ : state) {
        RawServer server;
        BlockingMainQueue queue;
        auto client = makeClient(server, queue);
        std::string text;
        bool finished = false;
        resetPeakRss();
        const long before = peakRssKb();
        auto handle = client.stream(
            question, [&](const std::string& piece) { text += piece; },
            [&](const std::optional<StreamError>&) { finished = true; });
        std::thread writer([&] {
            const int fd = server.acceptStream();
            RawServer::sendChunk(fd, "data: {\"choices\":[{\"delta\":{\"content\":\"");
            for (int i = 0; i < 64; ++i) RawServer::sendChunk(fd, block);
            RawServer::sendChunk(fd, "\"}}]}\r\n\r\n" + event("after"));
            RawServer::end(fd);
        });
        queue.runUntil([&] { return finished; });
        writer.join();
        state.counters["peak_rss_mb"] = static_cast<double>(peakRssKb() - before) / 1024;
        if (text != "after") state.SkipWithError("the piece after the huge line was lost");
    }
    state.SetBytesProcessed(state.iterations() * (64 << 20));
}
BENCHMARK(BM_HugeLine)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_CancelSilent(benchmark::State& state) {
    RawServer server;
    BlockingMainQueue queue;
    auto client = makeClient(server, queue);
    for (auto _ : state) {
        auto handle = client.stream(question, nullptr, nullptr);
        const int fd = server.acceptStream();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));  // the transfer waits
        const auto start = Clock::now();
        handle->cancel();
        handle.reset();
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        close(fd);
    }
}
BENCHMARK(BM_CancelSilent)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace

BENCHMARK_MAIN();
