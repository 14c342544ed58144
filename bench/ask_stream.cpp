// A model answer streamed from a local server into the panel's conversation view, on the
// Qt event loop as in the application (offscreen platform).
// BM_AskViewStream/<rate kB/s>/<answer kB>/<lines>: the server sends 10-byte pieces of
//   one endless line (lines 0) or of prose with a line end every 80 bytes (lines 1),
//   paced at the rate (0: as fast as it can), until the answer is sent or the client
//   stops it. While
//   it streams, a thread posts a ping to the main queue every 5 ms. Counters: ping_max_ms
//   and ping_p99_ms (post to run), shown_s (request to the view showing the end of the
//   answer), shown_kb (answer text shown), peak_rss_mb (growth of the process's peak
//   resident memory). A run stops after 120 s whatever happened.
#include <benchmark/benchmark.h>

#include <httplib.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTextEdit>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "BrisendoKit/LanguageModel/AskModel.h"
#include "BrisendoKit/LanguageModel/LLMClient.h"
#include "Pivorel/Panel/AskView.h"
#include "Pivorel/QtMainQueue.h"
#include "ProcessMemory.h"
#include "QtApp.h"

using namespace pivorel;
using Clock = std::chrono::steady_clock;

namespace {

using pivorel::bench::peakRssKb;
using pivorel::bench::resetPeakRss;

std::string event(const std::string& text) {
    const nlohmann::json payload = {{"choices", {{{"index", 0}, {"delta", {{"content", text}}}}}}};
    return "data: " + payload.dump() + "\r\n\r\n";
}

// Answers every request with `answerBytes` of text in 10-byte pieces, `rate` bytes of
// events a second (0: unpaced), with a line end every 80 bytes when `lines` is set.
class PacedServer {
  public:
    PacedServer(std::size_t answerBytes, std::size_t rate, bool lines) {
        server_.Post(R"(/.*)", [answerBytes, rate, lines, this](const httplib::Request&,
                                                                httplib::Response& res) {
            res.set_chunked_content_provider(
                "text/event-stream",
                [answerBytes, rate, lines, this](std::size_t, httplib::DataSink& sink) {
                    const std::string word = event(lines ? "lorem ips " : "0123456789");
                    const std::string end = event("lorem ips\n");
                    const auto start = Clock::now();
                    std::size_t sentEvents = 0;
                    std::string burst;
                    for (std::size_t text = 0; text < answerBytes && !stopping_; text += 10) {
                        const std::string& piece = lines && text % 80 == 70 ? end : word;
                        burst += piece;
                        ++sentEvents;
                        if (burst.size() < 4096 && text + 10 < answerBytes) continue;
                        if (!sink.write(burst.data(), burst.size())) return false;
                        burst.clear();
                        if (rate > 0) {
                            const auto due = start + std::chrono::duration<double>(
                                                         double(sentEvents * word.size()) / rate);
                            std::this_thread::sleep_until(
                                std::chrono::time_point_cast<Clock::duration>(due));
                        }
                    }
                    const std::string done = "data: [DONE]\r\n\r\n";
                    sink.write(done.data(), done.size());
                    sink.done();
                    return true;
                });
        });
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        while (!server_.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~PacedServer() {
        stopping_ = true;
        server_.stop();
        thread_.join();
    }
    std::string baseURL() const { return "http://127.0.0.1:" + std::to_string(port_) + "/v1"; }

  private:
    httplib::Server server_;
    int port_ = 0;
    std::thread thread_;
    std::atomic<bool> stopping_{false};
};

void BM_AskViewStream(benchmark::State& state) {
    test::qtApp("offscreen");
    QtMainQueue queue;
    const auto rate = static_cast<std::size_t>(state.range(0)) * 1024;
    const auto answerBytes = static_cast<std::size_t>(state.range(1)) * 1024;
    PacedServer server(answerBytes, rate, state.range(2) != 0);
    {
        // Fonts and styles load once, before anything is measured.
        auto ask = std::make_shared<AskModel>(AskKind::ask, nullptr, std::vector<ChatMessage>{});
        AskView warm(ask, "selection", nullptr);
        warm.show();
        QCoreApplication::processEvents();
    }
    for (auto _ : state) {
        resetPeakRss();
        const long rssBefore = peakRssKb();
        auto client = std::make_shared<LLMClient>(server.baseURL(), "bench", queue,
                                                  [] { return std::string("sk"); });
        auto ask = std::make_shared<AskModel>(AskKind::ask, client,
                                              std::vector<ChatMessage>{{"user", "q"}});
        AskView view(ask, "selection", nullptr);
        view.show();

        std::mutex pingMutex;
        std::vector<double> pings;
        std::atomic<bool> pinging{true};
        std::thread pinger([&] {
            while (pinging) {
                const auto posted = Clock::now();
                queue.post([&, posted] {
                    const double ms =
                        std::chrono::duration<double, std::milli>(Clock::now() - posted).count();
                    std::lock_guard lock(pingMutex);
                    pings.push_back(ms);
                });
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        });

        QEventLoop loop;
        auto ended = ask->changed.connect([&] {
            if (!ask->isStreaming()) loop.quit();
        });
        QTimer::singleShot(120'000, &loop, &QEventLoop::quit);
        QElapsedTimer shown;
        shown.start();
        ask->start();
        loop.exec();
        const double seconds = static_cast<double>(shown.elapsed()) / 1000;
        pinging = false;
        pinger.join();
        const auto turns = view.turnViews();
        const double shownKb =
            turns.empty()
                ? 0
                : static_cast<double>(
                      static_cast<QTextEdit*>(turns.back())->toPlainText().toUtf8().size()) /
                      1024;
        const long rssAfter = peakRssKb();
        ask->cancel();
        QCoreApplication::processEvents();  // drops the pings still queued

        std::lock_guard lock(pingMutex);
        std::sort(pings.begin(), pings.end());
        state.SetIterationTime(seconds);
        state.counters["shown_s"] = seconds;
        state.counters["shown_kb"] = shownKb;
        state.counters["peak_rss_mb"] = static_cast<double>(rssAfter - rssBefore) / 1024;
        state.counters["ping_max_ms"] = pings.empty() ? 0 : pings.back();
        state.counters["ping_p99_ms"] = pings.empty() ? 0 : pings[pings.size() * 99 / 100];
    }
}

}  // namespace

BENCHMARK(BM_AskViewStream)
    ->Args({1024, 2048, 1})
    ->Args({1024, 2048, 0})
    ->Args({0, 2048, 1})
    ->Args({0, 256, 1})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
