#include "BrisendoKit/Actions/ExtensionCatalogStore.h"

#include <gtest/gtest.h>

#include "BrisendoKit/Actions/ExtensionLibraryModel.h"
#include "BrisendoKit/Support/FileIO.h"
#include "BrisendoKit/Support/Worker.h"
#include "Fakes/ManualMainQueue.h"
#include "LocalHttpServer.h"
#include "TempDir.h"

using namespace pivorel;

namespace {

const std::string kRemote =
    R"({"version": 1, "updated": "2027-05-01", "items": [)"
    R"({"id": "bing", "name": "必应", "urlTemplate": "https://cn.bing.com/search?q={text}"},)"
    R"({"id": "example", "name": "Example", "urlTemplate": "https://example.com/?q={text}"}]})";

struct ExtensionCatalogStoreTest : ::testing::Test {
    test::TempDir dir;
    test::LocalHttpServer http;
    std::string body = kRemote;
    int status = 200;
    httplib::Headers requestHeaders;

    void SetUp() override {
        http.server.Get("/extensions.json",
                        [this](const httplib::Request& req, httplib::Response& res) {
                            requestHeaders = req.headers;
                            res.status = status;
                            res.set_content(body, "application/json");
                        });
        http.start();
    }

    ExtensionCatalogStore store() const {
        ExtensionCatalogStore s{dir.path() / "extensions-cache.json"};
        s.remoteURL = http.url("/extensions.json");
        return s;
    }
    std::optional<std::string> cache() const { return fileio::readFile(store().cacheURL); }
};

}  // namespace

TEST_F(ExtensionCatalogStoreTest, GoodDownloadIsCachedAndMerged) {
    EXPECT_EQ(store().current(), ExtensionCatalog::builtin());

    const auto refreshed = store().refresh();
    ASSERT_TRUE(refreshed);
    EXPECT_EQ(refreshed->items.size(), 47u);
    EXPECT_EQ(refreshed->items[3].name, "必应");
    EXPECT_EQ(refreshed->updated, "2027-05-01");
    EXPECT_EQ(cache(), kRemote);  // the bytes as downloaded
    EXPECT_EQ(store().current(), *refreshed);

    const auto header = [&](const char* name) {
        const auto it = requestHeaders.find(name);
        return it == requestHeaders.end() ? std::string() : it->second;
    };
    EXPECT_EQ(header("User-Agent"), "Pivorel");
    EXPECT_EQ(header("Cache-Control"), "no-cache");
}

TEST_F(ExtensionCatalogStoreTest, BadDownloadsLeaveTheCacheAlone) {
    ASSERT_TRUE(store().refresh());
    for (const auto& [replyStatus, replyBody] : std::vector<std::pair<int, std::string>>{
             {404, kRemote},
             {200, "<html>oops</html>"},
             {200, R"({"version": 2, "items": []})"},
         }) {
        status = replyStatus;
        body = replyBody;
        EXPECT_FALSE(store().refresh()) << replyBody;
        EXPECT_EQ(cache(), kRemote);
    }

    // A port nothing listens on.
    ExtensionCatalogStore offline = store();
    {
        test::LocalHttpServer gone;
        gone.start();
        offline.remoteURL = gone.url("/extensions.json");
    }
    EXPECT_FALSE(offline.refresh());
    EXPECT_EQ(cache(), kRemote);

    // A cache that does not decode reads as none.
    ASSERT_TRUE(fileio::writeFileAtomically(store().cacheURL, "{\"version\": 1, \"items\""));
    EXPECT_EQ(store().current(), ExtensionCatalog::builtin());
}

TEST_F(ExtensionCatalogStoreTest, LibraryModelPublishesOnlyGoodResults) {
    test::VirtualClock clock;
    test::ManualMainQueue queue(clock);
    Worker worker;
    ExtensionLibraryModel model(store(), queue, worker.runner());
    int changes = 0;
    Connection connection = model.changed.connect([&] { ++changes; });
    EXPECT_EQ(model.catalog(), ExtensionCatalog::builtin());
    EXPECT_FALSE(model.refreshing());

    status = 500;
    model.refresh();
    model.refresh();  // folded into the running one
    EXPECT_TRUE(model.refreshing());
    ASSERT_TRUE(queue.waitForPost(std::chrono::seconds(10)));
    queue.runReady();
    EXPECT_FALSE(model.refreshing());
    EXPECT_FALSE(model.refreshed());
    EXPECT_EQ(model.catalog(), ExtensionCatalog::builtin());
    EXPECT_EQ(changes, 2);

    status = 200;
    model.refresh();
    ASSERT_TRUE(queue.waitForPost(std::chrono::seconds(10)));
    queue.runReady();
    EXPECT_TRUE(model.refreshed());
    EXPECT_EQ(model.catalog().items.size(), 47u);

    // A page made with a catalog shows it; one that closes before its download ends is not
    // called back.
    ExtensionCatalog given;
    auto page = std::make_unique<ExtensionLibraryModel>(store(), queue, worker.runner(), given);
    EXPECT_EQ(page->catalog(), given);
    page->refresh();
    page.reset();
    ASSERT_TRUE(queue.waitForPost(std::chrono::seconds(10)));
    queue.runReady();
}
