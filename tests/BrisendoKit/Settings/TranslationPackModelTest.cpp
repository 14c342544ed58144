#include "BrisendoKit/Settings/TranslationPackModel.h"

#include <gtest/gtest.h>

#include "BrisendoKit/Localization/Localizer.h"
#include "BrisendoKit/Platform/NoOnDeviceTranslator.h"
#include "Fakes/ManualMainQueue.h"

using namespace pivorel;

namespace {

using Phase = TranslationPackModel::Phase;

struct Request {
    std::string source;
    std::string target;
    TranslationPackModel::Done done;
};

struct FakePlatform {
    bool installed = false;
    int checks = 0;
    std::vector<Request> requests;

    std::unique_ptr<TranslationPackModel> model() {
        return std::make_unique<TranslationPackModel>(
            [this] {
                ++checks;
                return installed;
            },
            [this](const std::string& s, const std::string& t, TranslationPackModel::Done done) {
                requests.push_back({s, t, std::move(done)});
            });
    }
};

}  // namespace

TEST(TranslationPackModel, ADesktopWithoutAnOfflineEngineNeedsPacksAndFailsToDownloadThem) {
    test::VirtualClock clock;
    test::ManualMainQueue queue(clock);
    auto model =
        TranslationPackModel::withoutDownloads(std::make_shared<NoOnDeviceTranslator>(), queue);
    std::vector<Phase> seen;
    auto watch = model->changed.connect([&] { seen.push_back(model->phase()); });
    model->appear();
    EXPECT_EQ(seen, (std::vector<Phase>{Phase::checking, Phase::needsDownload}));
    EXPECT_TRUE(model->canDownload());

    model->download();
    EXPECT_EQ(model->phase(), Phase::downloading);
    EXPECT_EQ(model->statusText(), "正在请求下载，请在系统弹出的提示里点「下载」。");
    EXPECT_FALSE(model->canDownload());
    queue.runReady();
    EXPECT_EQ(model->phase(), Phase::failed);
    const std::string reason = TranslationPackModel::unavailableMessage();
    EXPECT_EQ(model->statusText(),
              "没有下载成功：" + reason +
                  "。也可以到「系统设置 → 通用 → 语言与地区 → 翻译语言」手动下载。");
    EXPECT_TRUE(model->canDownload());  // may be retried

    // The message follows the interface language like the rest of the window.
    Localizer::setLanguageOverride("en");
    const std::string english = model->statusText();
    Localizer::setLanguageOverride("zh-Hans");
    EXPECT_EQ(english.find(reason), std::string::npos);
    EXPECT_NE(english.find(Localizer::lookup(reason, "en")), std::string::npos);
}

TEST(TranslationPackModel, DownloadsBothDirectionsInTurnAndStopsAtTheFirstFailure) {
    FakePlatform platform;
    auto model = platform.model();
    model->appear();
    EXPECT_EQ(platform.checks, 1);
    model->download();
    model->download();  // a second press while downloading does nothing
    ASSERT_EQ(platform.requests.size(), 1u);
    EXPECT_EQ(platform.requests[0].source, "en");
    EXPECT_EQ(platform.requests[0].target, "zh-Hans");
    platform.requests[0].done(std::nullopt);
    ASSERT_EQ(platform.requests.size(), 2u);
    EXPECT_EQ(platform.requests[1].source, "zh-Hans");
    EXPECT_EQ(platform.requests[1].target, "en");
    EXPECT_EQ(model->phase(), Phase::downloading);
    model->appear();  // the window shown again mid-download keeps waiting
    EXPECT_EQ(model->phase(), Phase::downloading);

    platform.installed = true;
    platform.requests[1].done(std::nullopt);
    EXPECT_EQ(platform.checks, 2);
    EXPECT_EQ(model->phase(), Phase::ready);
    EXPECT_EQ(model->statusText(),
              "已就绪。选中文字点「翻译」会直接在本机翻译，不联网、不要密钥。");

    // A late second answer to an old request changes nothing.
    platform.requests[0].done(std::string("late"));
    EXPECT_EQ(model->phase(), Phase::ready);

    // A failed direction stops the download: the reverse one is not asked.
    model->download();
    platform.requests[2].done(std::string("Network unavailable"));
    EXPECT_EQ(model->phase(), Phase::failed);
    EXPECT_EQ(model->failure(), "Network unavailable");
    EXPECT_EQ(platform.requests.size(), 3u);

    // An answer reaching a model that is gone is ignored.
    model->download();
    ASSERT_EQ(platform.requests.size(), 4u);
    auto pending = platform.requests[3].done;
    model.reset();
    pending(std::nullopt);  // must not touch the destroyed model
    EXPECT_EQ(platform.requests.size(), 4u);
}
