#include "Pivorel/Linux/SecretServiceStore.h"

#include <gtest/gtest.h>
#include <libsecret/secret.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>

#include "TempDir.h"

using namespace pivorel;
namespace fs = std::filesystem;

namespace {

// Only a keyring started for the tests (scripts/keyring-session) is written to: a
// developer's own keyring may be locked, would prompt, and is not ours to fill.
bool secretServiceAvailable(std::string& why) {
    if (!std::getenv("PIVOREL_TEST_KEYRING")) {
        why = "no test keyring: run the tests through scripts/keyring-session";
        return false;
    }
    const auto owner = test::runShell(
        "dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus "
        "org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets");
    if (owner.out.find("boolean true") != std::string::npos) return true;
    why = "no Secret Service on the session bus " + owner.err;
    return false;
}

#define REQUIRE_SECRET_SERVICE()                               \
    do {                                                       \
        std::string why;                                       \
        if (!secretServiceAvailable(why)) GTEST_SKIP() << why; \
    } while (0)

// Labels of the items that carry exactly these attributes, read around our store.
std::vector<std::string> itemLabels(const std::string& service, const std::string& account) {
    GHashTable* attrs = g_hash_table_new(g_str_hash, g_str_equal);
    g_hash_table_insert(attrs, const_cast<char*>("service"), const_cast<char*>(service.c_str()));
    g_hash_table_insert(attrs, const_cast<char*>("account"), const_cast<char*>(account.c_str()));
    GList* items =
        secret_service_search_sync(nullptr, nullptr, attrs, SECRET_SEARCH_ALL, nullptr, nullptr);
    std::vector<std::string> labels;
    for (GList* l = items; l; l = l->next) {
        gchar* label = secret_item_get_label(SECRET_ITEM(l->data));
        labels.emplace_back(label ? label : "");
        g_free(label);
    }
    g_list_free_full(items, g_object_unref);
    g_hash_table_unref(attrs);
    return labels;
}

test::Ran runSeed(const std::string& env) {
    return test::runShell("env -u PIVOREL_TEST_RUN -u PIVOREL_FLOMO_URL -u PIVOREL_LLM_PROVIDER " +
                          env + " PIVOREL_LOG_STDERR=1 " + PIVOREL_BINARY + " --seed-credentials");
}

fs::path homeWithKey(const test::TempDir& dir, const std::string& key) {
    const auto home = dir.path() / "home";
    fs::create_directories(home / ".local/share/opencode");
    std::ofstream(home / ".local/share/opencode/auth.json")
        << R"({"deepseek": {"type": "api", "key": ")" << key << "\"}}";
    return home;
}

}  // namespace

TEST(SecretServiceStore, StoresReplacesAndReadsBackItemsInTheKeyring) {
    REQUIRE_SECRET_SERVICE();
    SecretServiceStore store;
    const std::string service = "com.morvale.pivorel.test-" + std::to_string(getpid());
    EXPECT_FALSE(store.exists(service, "llm-api-key"));
    EXPECT_EQ(store.get(service, "llm-api-key"), std::nullopt);

    EXPECT_TRUE(store.set("sk-first", service, "llm-api-key"));
    EXPECT_TRUE(store.set("密钥 ✓ second", service, "llm-api-key"));
    EXPECT_TRUE(store.exists(service, "llm-api-key"));
    EXPECT_EQ(store.get(service, "llm-api-key"), "密钥 ✓ second");
    EXPECT_EQ(itemLabels(service, "llm-api-key"),
              (std::vector<std::string>{"Pivorel llm-api-key"}));

    // Service and account both name the item.
    EXPECT_FALSE(store.exists(service, "flomo-webhook"));
    EXPECT_FALSE(store.exists(service + ".other", "llm-api-key"));
    EXPECT_FALSE(store.set(std::string("a\0b", 3), service, "flomo-webhook"));
    EXPECT_FALSE(store.set("\xff", service, "flomo-webhook"));
    EXPECT_FALSE(store.exists(service, "flomo-webhook"));

    // Calls from several threads at once are serialised, not mixed up.
    std::vector<std::thread> threads;
    std::atomic<int> good{0};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 5; ++i)
                good += store.get(service, "llm-api-key") == "密钥 ✓ second";
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(good.load(), 20);
}

// Runs without any Secret Service: a bus address where nothing listens, and one where a
// socket accepts the connection but never answers (a hung service). Each gives up with
// one log line, reports FAILED and exits normally, about a second later at most.
TEST(SecretServiceStore, GivesUpWhenNoSecretServiceAnswers) {
    test::TempDir dir;
    const auto home = homeWithKey(dir, "sk-unused");
    const auto silent = dir.path() / "silent.sock";
    const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", silent.c_str());
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(listen(listener, 8), 0);  // never accepted, never answered

    for (const auto& socketPath : {dir.path() / "nobody.sock", silent}) {
        const auto r = runSeed("HOME=" + home.string() +
                               " DBUS_SESSION_BUS_ADDRESS=unix:path=" + socketPath.string());
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out,
                  "llm-api-key(deepseek): FAILED\n"
                  "flomo-webhook: skipped (PIVOREL_FLOMO_URL 未设置)\n");
        const std::string line = "Pivorel: 密钥服务不可用 op=set";
        EXPECT_NE(r.err.find(line), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find(line, r.err.find(line) + 1), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("sk-unused"), std::string::npos);  // never a secret in a log line
        // One second of patience plus process start-up; generous for a loaded machine.
        EXPECT_LT(r.seconds, 5.0);
    }
    close(listener);
}
