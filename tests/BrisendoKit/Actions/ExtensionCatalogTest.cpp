#include "BrisendoKit/Actions/ExtensionCatalog.h"

#include <gtest/gtest.h>

#include "BrisendoKit/Actions/ExtensionCatalogStore.h"
#include "BrisendoKit/Actions/ExtensionLibraryModel.h"
#include "BrisendoKit/Localization/Localizer.h"
#include "BrisendoKit/Support/FileIO.h"
#include "BrisendoKit/Support/Worker.h"
#include "Fakes/ManualMainQueue.h"
#include "LocalHttpServer.h"
#include "TempDir.h"

using namespace pivorel;

namespace {

ExtensionPreset site(std::string id, std::string name, std::string symbol, std::string url) {
    return {std::move(id), std::move(name), std::move(symbol), std::move(url), "其他", "", {}};
}

std::string preset(const std::string& id, const std::string& more = "") {
    return R"({"id": ")" + id + R"(", "name": "N )" + id + R"(", "urlTemplate": "https://)" + id +
           R"(.example/?q={text}")" + more + "}";
}

std::string catalogJSON(const std::string& items, const std::string& top = R"("version": 1)") {
    return "{" + top + R"(, "items": [)" + items + "]}";
}

std::vector<std::string> ids(const ExtensionCatalog& catalog) {
    std::vector<std::string> out;
    for (const auto& item : catalog.items) out.push_back(item.id);
    return out;
}

const std::string kRemote =
    R"({"version": 1, "updated": "2027-05-01", "items": [)"
    R"({"id": "bing", "name": "必应", "urlTemplate": "https://cn.bing.com/search?q={text}"},)"
    R"({"id": "example", "name": "Example", "urlTemplate": "https://example.com/?q={text}"}]})";

struct ExtensionCatalogStoreTest : ::testing::Test {
    test::TempDir dir;
    test::LocalHttpServer http;
    std::string body = kRemote;
    int status = 200;
    std::string cacheControl;

    void SetUp() override {
        http.server.Get("/extensions.json",
                        [this](const httplib::Request& req, httplib::Response& res) {
                            cacheControl = req.get_header_value("Cache-Control");
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

TEST(ExtensionCatalog, DecodeRejectsTheWholeOnlyForTopLevelFaults) {
    for (const std::string& bad :
         {catalogJSON(preset("a"), R"("version": 2)"),
          catalogJSON(preset("a"), R"("version": "1")"),
          catalogJSON(preset("a"), R"("updated": "x")"), std::string(R"({"version": 1})"),
          std::string(R"({"version": 1, "items": {}})"),
          catalogJSON(preset("a"), R"("version": 1, "updated": 20261020)"),
          std::string("<html>502 Bad Gateway</html>"), std::string("[1]"), std::string()}) {
        EXPECT_FALSE(ExtensionCatalog::decode(bad)) << bad;
    }

    const auto empty = ExtensionCatalog::decode(R"({"version": 1, "items": [1, "x"]})");
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->items.empty());
    EXPECT_EQ(empty->updated, "");
}

TEST(ExtensionCatalog, DecodeDropsBadItemsOneByOne) {
    const auto catalog = ExtensionCatalog::decode(catalogJSON(
        "7, "
        R"({"id": "noTemplate", "name": "x"}, )" +
            preset("typed", R"(, "symbol": 3)") + ", " + preset("ok") + ", " +
            preset("ok", R"(, "category": "second")") + ", " + preset("  ") + ", " +
            R"({"id": "badTemplate", "name": "x", "urlTemplate": "https://x.com/"}, )" +
            preset("full",
                   R"(, "symbol": "s", "category": "c", "summary": "m", "note": "n", "x": 1)"),
        R"("version": 1, "updated": "2027-01-01")"));
    ASSERT_TRUE(catalog);
    EXPECT_EQ(catalog->updated, "2027-01-01");
    EXPECT_EQ(ids(*catalog), (std::vector<std::string>{"ok", "full"}));

    // Missing optional members take their defaults; the first of equal ids is kept.
    EXPECT_EQ(catalog->items[0], site("ok", "N ok", "link", "https://ok.example/?q={text}"));
    EXPECT_EQ(
        catalog->items[1],
        (ExtensionPreset{"full", "N full", "s", "https://full.example/?q={text}", "c", "m", "n"}));
}

TEST(ExtensionCatalog, MergeReplacesInPlaceAndAppendsNewOnes) {
    const ExtensionCatalog& builtin = ExtensionCatalog::builtin();
    EXPECT_EQ(ExtensionCatalog::merged(builtin, std::nullopt), builtin);

    const auto remote = ExtensionCatalog::decode(catalogJSON(
        preset("example") + ", " + preset("bing"), R"("version": 1, "updated": "2027-03-01")"));
    ASSERT_TRUE(remote);
    const ExtensionCatalog merged = ExtensionCatalog::merged(builtin, remote);
    ASSERT_EQ(merged.items.size(), builtin.items.size() + 1);
    EXPECT_EQ(merged.updated, "2027-03-01");
    const std::size_t bingAt = 3;
    EXPECT_EQ(builtin.items[bingAt].id, "bing");
    EXPECT_EQ(merged.items.back().id, "example");
    for (std::size_t i = 0; i < builtin.items.size(); ++i)
        EXPECT_EQ(merged.items[i], i == bingAt ? remote->items[1] : builtin.items[i]) << i;

    ExtensionCatalog older = *remote;
    older.updated = "2020-01-01";
    EXPECT_EQ(ExtensionCatalog::merged(builtin, older).updated, "2026-10-20");
}

TEST(ExtensionCatalog, PresetsMatchByIdOrTemplateAndMakeFreshActions) {
    const ExtensionPreset p =
        site("bing", "Bing 搜索", "magnifyingglass", "https://www.bing.com/search?q={text}");
    EXPECT_TRUE(p.matches({"custom:1", "x", "link", "https://other.com/{text}", "bing"}));
    EXPECT_TRUE(
        p.matches({"custom:1", "x", "link", "  HTTPS://WWW.Bing.com/search?q={TEXT}\n", {}}));
    EXPECT_FALSE(p.matches({"custom:1", "x", "link", "https://www.bing.com/search?q={url}", {}}));
    EXPECT_FALSE(p.matches({"custom:1", "x", "link", "https://other.com/{text}", "baidu"}));

    CustomAction first = p.makeAction();
    EXPECT_NE(first.id, p.makeAction().id);
    EXPECT_TRUE(first.id.starts_with("custom:"));
    EXPECT_EQ(first.validationError(), std::nullopt);
    first.id = "x";
    EXPECT_EQ(first, (CustomAction{"x", "Bing 搜索", "magnifyingglass", p.urlTemplate, "bing"}));
}

TEST_F(ExtensionCatalogStoreTest, OnlyAGoodDownloadIsCachedAndMerged) {
    EXPECT_EQ(store().current(), ExtensionCatalog::builtin());
    const auto refreshed = store().refresh();
    ASSERT_TRUE(refreshed);
    EXPECT_EQ(refreshed->items.size(), 47u);
    EXPECT_EQ(refreshed->items[3].name, "必应");
    EXPECT_EQ(refreshed->updated, "2027-05-01");
    EXPECT_EQ(cache(), kRemote);  // the bytes as downloaded
    EXPECT_EQ(store().current(), *refreshed);
    EXPECT_EQ(cacheControl, "no-cache");

    for (const auto& [replyStatus, replyBody] : std::vector<std::pair<int, std::string>>{
             {404, kRemote}, {200, "<html>oops</html>"}, {200, R"({"version": 2, "items": []})"}}) {
        status = replyStatus;
        body = replyBody;
        EXPECT_FALSE(store().refresh()) << replyBody;
        EXPECT_EQ(cache(), kRemote);
    }
    ExtensionCatalogStore offline = store();
    {
        test::LocalHttpServer gone;  // a port nothing listens on
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
    const auto settle = [&] {
        ASSERT_TRUE(queue.waitForPost(std::chrono::seconds(10)));
        queue.runReady();
    };
    status = 500;
    model.refresh();
    model.refresh();  // folded into the running one
    EXPECT_TRUE(model.refreshing());
    settle();
    EXPECT_FALSE(model.refreshing() || model.refreshed());
    EXPECT_EQ(model.catalog(), ExtensionCatalog::builtin());
    EXPECT_EQ(changes, 2);

    status = 200;
    model.refresh();
    settle();
    EXPECT_TRUE(model.refreshed());
    EXPECT_EQ(model.catalog().items.size(), 47u);

    // A page made with a catalog shows it; one that closes before its download ends is not
    // called back.
    ExtensionCatalog given;
    auto page = std::make_unique<ExtensionLibraryModel>(store(), queue, worker.runner(), given);
    EXPECT_EQ(page->catalog(), given);
    page->refresh();
    page.reset();
    settle();
}
