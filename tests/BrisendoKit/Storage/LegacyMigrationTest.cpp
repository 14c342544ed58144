#include "BrisendoKit/Storage/LegacyMigration.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "BrisendoKit/Support/FileIO.h"
#include "BrisendoKit/Support/UserDefaults.h"
#include "Fakes/InMemorySecretStore.h"
#include "TempDir.h"

using namespace pivorel;
namespace fs = std::filesystem;
using nlohmann::json;
using Names = std::vector<std::string>;

namespace {

void write(const fs::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary) << bytes;
}

Names namesIn(const fs::path& dir) {
    Names names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

struct LegacyMigrationTest : ::testing::Test {
    test::TempDir dir;
    fs::path legacy = dir.path() / "Brisendo";
    fs::path current = dir.path() / "Pivorel";
    std::shared_ptr<UserDefaults> defaults =
        std::make_shared<UserDefaults>(dir.path() / "com.morvale.pivorel.json");
    std::shared_ptr<test::InMemorySecretStore> secrets =
        std::make_shared<test::InMemorySecretStore>();

    LegacyMigration migration(json legacyDefaults = json::object()) {
        return LegacyMigration(std::move(legacyDefaults), defaults, legacy, current, secrets,
                               "com.morvale.brisendo", "com.morvale.pivorel");
    }
};

}  // namespace

TEST_F(LegacyMigrationTest, SettingsAreCopiedOnceKeyByKeyWithoutOverwriting) {
    defaults->set("llmModel", "mine");
    const json legacyDefaults = {{"llmModel", "theirs"},
                                 {"zeta", {1, 2}},
                                 {"barEnabled", false},
                                 {"unknownKey", {{"nested", true}}}};
    const auto report = migration(legacyDefaults).runFast();
    EXPECT_EQ(report,
              (MigrationReport{
                  {"barEnabled", "unknownKey", "zeta"}, {}, {}, {}, {"files(no legacy dir)"}}));
    EXPECT_TRUE(report.didAnything());
    EXPECT_FALSE(fs::exists(current));
    EXPECT_EQ(defaults->stringValue("llmModel"), "mine");
    EXPECT_EQ(defaults->value("unknownKey"), (json{{"nested", true}}));
    EXPECT_EQ(defaults->value("zeta"), json({1, 2}));
    EXPECT_EQ(defaults->boolValue(LegacyMigration::defaultsMarker), true);

    defaults->remove("barEnabled");
    const auto later = migration(legacyDefaults).runFast();
    EXPECT_EQ(later.skipped, (Names{"defaults(done)", "files(no legacy dir)"}));
    EXPECT_FALSE(later.didAnything());
    EXPECT_FALSE(defaults->contains("barEnabled"));
}

TEST_F(LegacyMigrationTest, FilesAreCopiedOnceWithTheDatabaseFirst) {
    fs::create_directories(legacy / "sub");
    for (const auto& [name, bytes] :
         std::vector<std::pair<const char*, const char*>>{{"brisendo.sqlite", "main"},
                                                          {"brisendo.sqlite-wal", "wal"},
                                                          {"actions.json", "{}"},
                                                          {".DS_Store", "x"},
                                                          {"Zeta.txt", "z"},
                                                          {"sub/inner.json", "i"}})
        write(legacy / name, bytes);
    fs::create_symlink(legacy / "actions.json", legacy / "link.json");
    fs::create_directories(current);
    write(current / "pivorel.sqlite-shm", "stale");  // left by some other database

    const auto report = migration().runFast();
    EXPECT_EQ(report.filesCopied, (Names{"pivorel.sqlite", "Zeta.txt", "actions.json"}));
    EXPECT_TRUE(report.skipped.empty());
    EXPECT_EQ(namesIn(current),
              (Names{"Zeta.txt", "actions.json", "pivorel.sqlite", "pivorel.sqlite-wal"}));
    EXPECT_EQ(fileio::readFile(current / "pivorel.sqlite"), "main");
    EXPECT_EQ(fileio::readFile(current / "pivorel.sqlite-wal"), "wal");
    EXPECT_EQ(namesIn(legacy).size(), 7u);  // nothing moved

    // Later start-ups copy only what is missing; an existing database is never replaced.
    write(legacy / "brisendo.sqlite", "newer");
    write(legacy / "notes.txt", "n");
    fs::remove(current / "actions.json");
    const auto later = migration().runFast();
    EXPECT_EQ(later.filesCopied, (Names{"actions.json", "notes.txt"}));
    EXPECT_EQ(later.skipped, Names{"defaults(done)"});
    EXPECT_EQ(fileio::readFile(current / "pivorel.sqlite"), "main");
}

TEST_F(LegacyMigrationTest, SecretsMoveToTheNewServiceOrStayPending) {
    auto& store = *secrets;
    store.set("old-key", "com.morvale.brisendo", "llm-api-key");
    store.set("new-key", "com.morvale.pivorel", "llm-api-key");
    store.set("", "com.morvale.brisendo", "flomo-webhook");
    auto m = migration();
    EXPECT_EQ(m.pendingSecretAccounts(), Names{"flomo-webhook"});
    EXPECT_EQ(m.runSecrets(), (MigrationReport{{}, {}, {}, {"flomo-webhook"}, {}}));
    EXPECT_EQ(store.get("com.morvale.pivorel", "llm-api-key"), "new-key");
    EXPECT_FALSE(defaults->contains(LegacyMigration::secretsMarker));

    store.set("https://flomoapp.com/iwh/x", "com.morvale.brisendo", "flomo-webhook");
    store.failWrites = true;
    EXPECT_EQ(m.runSecrets().secretsPending, Names{"flomo-webhook"});
    store.failWrites = false;
    EXPECT_EQ(m.runSecrets().summary(),
              "defaults=0 files= secretsMigrated=flomo-webhook secretsPending= skipped=");
    EXPECT_EQ(store.get("com.morvale.pivorel", "flomo-webhook"), "https://flomoapp.com/iwh/x");
    EXPECT_EQ(store.get("com.morvale.brisendo", "flomo-webhook"), "https://flomoapp.com/iwh/x");
    EXPECT_EQ(defaults->boolValue(LegacyMigration::secretsMarker), true);
    EXPECT_TRUE(m.pendingSecretAccounts().empty());
    EXPECT_EQ(m.runSecrets(), MigrationReport{});
}
