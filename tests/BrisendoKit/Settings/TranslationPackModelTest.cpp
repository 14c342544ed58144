#include "BrisendoKit/Settings/TranslationPackModel.h"

#include <gtest/gtest.h>

#include "BrisendoKit/Localization/Localizer.h"
#include "BrisendoKit/Platform/NoOnDeviceTranslator.h"
#include "Fakes/ManualMainQueue.h"

using namespace pivorel;

namespace {

using Phase = TranslationPackModel::Phase;

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
