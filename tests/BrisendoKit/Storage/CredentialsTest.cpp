#include "BrisendoKit/Storage/Credentials.h"

#include <gtest/gtest.h>

#include "Fakes/InMemorySecretStore.h"

using namespace pivorel;

namespace {
struct CredentialsTest : ::testing::Test {
    std::shared_ptr<test::InMemorySecretStore> store =
        std::make_shared<test::InMemorySecretStore>();
    Credentials credentials{store};
};
}  // namespace

TEST_F(CredentialsTest, WithoutAStoreNothingIsReadOrWritten) {
    const Credentials none;
    EXPECT_FALSE(none.set("v", Credentials::llmAccount));
    EXPECT_FALSE(none.exists(Credentials::llmAccount));
    EXPECT_EQ(none.get(Credentials::llmAccount), std::nullopt);

    EXPECT_TRUE(store->set("v1", "com.morvale.pivorel", "flomo-webhook"));
    EXPECT_TRUE(credentials.set("v2", "flomo-webhook"));  // replaces
    EXPECT_EQ(credentials.get("flomo-webhook"), "v2");
    EXPECT_FALSE(credentials.exists("flomo-webhook", "com.morvale.brisendo"));
}
