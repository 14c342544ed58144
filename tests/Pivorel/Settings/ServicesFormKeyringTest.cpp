#include <gtest/gtest.h>

#include <cstdlib>

#include "BrisendoKit/Settings/ServicesForm.h"
#include "BrisendoKit/Storage/Credentials.h"
#include "BrisendoKit/Support/UserDefaults.h"
#include "Pivorel/Linux/SecretServiceStore.h"
#include "TempDir.h"

using namespace pivorel;

// The model and flomo forms against the desktop's Secret Service, as the program runs
// them. Only the throw-away keyring of scripts/keyring-session is written to.
TEST(ServicesFormKeyring, SavedSecretsReachTheKeyringAndAreNeverReadBackIntoTheForm) {
    if (!std::getenv("PIVOREL_TEST_KEYRING")) {
        GTEST_SKIP() << "no test keyring: run the tests through scripts/keyring-session";
    }
    auto store = std::make_shared<SecretServiceStore>(std::chrono::seconds(5));
    test::TempDir dir;
    auto defaults = std::make_shared<UserDefaults>(dir.path() / "d.json");

    {
        ServicesForm form{BarSettings(defaults), Credentials(store)};
        form.setModel("deepseek-reasoner");
        form.setAPIKey("  sk-keyring-test \n");
        form.setWebhook("https://flomoapp.com/iwh/keyring/test/");
        form.setFlomoDry(true);
        form.saveModel();
        form.saveFlomo();
        EXPECT_EQ(form.modelNote(), ServicesForm::Note::saved);
        EXPECT_EQ(form.flomoNote(), ServicesForm::Note::saved);
    }
    EXPECT_EQ(store->get(Credentials::service, Credentials::llmAccount), "sk-keyring-test");
    EXPECT_EQ(store->get(Credentials::service, Credentials::flomoAccount),
              "https://flomoapp.com/iwh/keyring/test/");

    // A new form (the window opened again) knows a key is stored but shows none.
    ServicesForm again{BarSettings(defaults), Credentials(store)};
    EXPECT_TRUE(again.hasKey());
    EXPECT_TRUE(again.hasFlomo());
    EXPECT_TRUE(again.apiKey().empty());
    EXPECT_TRUE(again.webhook().empty());
    EXPECT_EQ(again.apiKeyPrompt(), "已保存，留空则不改");
    EXPECT_EQ(again.model(), "deepseek-reasoner");
    EXPECT_TRUE(again.flomoDry());

    // Saving with the key field empty leaves the stored key alone.
    again.setBaseURL("https://api.example.com/v1");
    again.saveModel();
    EXPECT_EQ(store->get(Credentials::service, Credentials::llmAccount), "sk-keyring-test");
}
