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

namespace {

void write(const fs::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary) << bytes;
}

std::vector<std::string> namesIn(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

struct Dirs {
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

TEST(LegacyMigration, NothingToMigrateIsNotedAndTheDefaultsStepRunsOnce) {
    Dirs s;
    const auto first = s.migration().runFast();
    EXPECT_EQ(first, (MigrationReport{{}, {}, {}, {}, {"files(no legacy dir)"}}));
    EXPECT_FALSE(first.didAnything());
    EXPECT_EQ(s.defaults->boolValue(LegacyMigration::defaultsMarker), true);
    EXPECT_FALSE(fs::exists(s.current));

    const auto later = s.migration(json{{"barEnabled", false}}).runFast();
    EXPECT_EQ(later.skipped, (std::vector<std::string>{"defaults(done)", "files(no legacy dir)"}));
    EXPECT_FALSE(s.defaults->contains("barEnabled"));
}

TEST(LegacyMigration, SettingsAreCopiedKeyByKeyWithoutOverwriting) {
    Dirs s;
    s.defaults->set("llmModel", "mine");
    const json legacy = {{"llmModel", "theirs"},
                         {"zeta", {1, 2}},
                         {"barEnabled", false},
                         {"unknownKey", {{"nested", true}}}};
    const auto report = s.migration(legacy).runFast();
    EXPECT_EQ(report.defaultsCopied,
              (std::vector<std::string>{"barEnabled", "unknownKey", "zeta"}));
    EXPECT_TRUE(report.didAnything());
    EXPECT_EQ(s.defaults->stringValue("llmModel"), "mine");
    EXPECT_EQ(s.defaults->value("unknownKey"), (json{{"nested", true}}));
    EXPECT_EQ(s.defaults->value("zeta"), json({1, 2}));
}

TEST(LegacyMigration, TheFormerDomainFileIsOnlyEverRead) {
    test::TempDir dir;
    const auto file = dir.path() / "com.morvale.brisendo.json";
    EXPECT_EQ(LegacyMigration::readLegacyDefaults(file), json::object());
    write(file, "{broken");
    EXPECT_EQ(LegacyMigration::readLegacyDefaults(file), json::object());
    EXPECT_EQ(fileio::readFile(file), "{broken");  // not moved aside, not rewritten
    EXPECT_EQ(namesIn(dir.path()), (std::vector<std::string>{"com.morvale.brisendo.json"}));
    write(file, R"({"hotkeyCode": 46})");
    EXPECT_EQ(LegacyMigration::readLegacyDefaults(file), (json{{"hotkeyCode", 46}}));
}

TEST(LegacyMigration, FilesAreCopiedOnceWithTheDatabaseFirst) {
    Dirs s;
    fs::create_directories(s.legacy / "sub");
    write(s.legacy / "brisendo.sqlite", "main");
    write(s.legacy / "brisendo.sqlite-wal", "wal");
    write(s.legacy / "actions.json", R"({"order": []})");
    write(s.legacy / ".DS_Store", "x");
    write(s.legacy / "Zeta.txt", "z");
    write(s.legacy / "sub" / "inner.json", "i");
    fs::create_symlink(s.legacy / "actions.json", s.legacy / "link.json");
    fs::create_directories(s.current);
    write(s.current / "pivorel.sqlite-shm", "stale");  // left by some other database

    const auto report = s.migration().runFast();
    EXPECT_EQ(report.filesCopied,
              (std::vector<std::string>{"pivorel.sqlite", "Zeta.txt", "actions.json"}));
    EXPECT_TRUE(report.skipped.empty());
    EXPECT_EQ(namesIn(s.current),
              (std::vector<std::string>{"Zeta.txt", "actions.json", "pivorel.sqlite",
                                        "pivorel.sqlite-wal"}));
    EXPECT_EQ(fileio::readFile(s.current / "pivorel.sqlite"), "main");
    EXPECT_EQ(fileio::readFile(s.current / "pivorel.sqlite-wal"), "wal");
    EXPECT_EQ(namesIn(s.legacy),
              (std::vector<std::string>{".DS_Store", "Zeta.txt", "actions.json", "brisendo.sqlite",
                                        "brisendo.sqlite-wal", "link.json", "sub"}));

    // Later start-ups copy only what is missing; an existing database is never replaced.
    write(s.legacy / "brisendo.sqlite", "newer");
    write(s.legacy / "notes.txt", "n");
    fs::remove(s.current / "actions.json");
    const auto later = s.migration().runFast();
    EXPECT_EQ(later.filesCopied, (std::vector<std::string>{"actions.json", "notes.txt"}));
    EXPECT_EQ(later.skipped, (std::vector<std::string>{"defaults(done)"}));
    EXPECT_EQ(fileio::readFile(s.current / "pivorel.sqlite"), "main");
}

TEST(LegacyMigration, AFailedDatabaseCopyIsRolledBackAndRetriedLater) {
    Dirs s;
    fs::create_directories(s.legacy);
    write(s.legacy / "brisendo.sqlite", "main");
    // A FIFO cannot be copied as a file (and, unlike a mode-000 file, stays so for root).
    ASSERT_EQ(mkfifo((s.legacy / "brisendo.sqlite-wal").c_str(), 0600), 0);
    write(s.legacy / "brisendo.sqlite-shm", "shm");
    write(s.legacy / "actions.json", "{}");

    const auto report = s.migration().runFast();
    EXPECT_EQ(report.skipped, (std::vector<std::string>{"sqlite(copy failed, rolled back)"}));
    EXPECT_EQ(report.filesCopied, (std::vector<std::string>{"actions.json"}));
    EXPECT_EQ(namesIn(s.current), (std::vector<std::string>{"actions.json"}));
    EXPECT_EQ(report.summary(),
              "defaults=0 files=actions.json secretsMigrated= secretsPending= "
              "skipped=sqlite(copy failed, rolled back)");

    fs::remove(s.legacy / "brisendo.sqlite-wal");
    write(s.legacy / "brisendo.sqlite-wal", "wal");
    const auto retry = s.migration().runFast();
    EXPECT_EQ(retry.filesCopied, (std::vector<std::string>{"pivorel.sqlite"}));
    EXPECT_EQ(namesIn(s.current),
              (std::vector<std::string>{"actions.json", "pivorel.sqlite", "pivorel.sqlite-shm",
                                        "pivorel.sqlite-wal"}));
}

TEST(LegacyMigration, SecretsMoveToTheNewServiceOrStayPending) {
    Dirs s;
    auto& store = *s.secrets;
    store.set("old-key", "com.morvale.brisendo", "llm-api-key");
    store.set("new-key", "com.morvale.pivorel", "llm-api-key");
    store.set("", "com.morvale.brisendo", "flomo-webhook");
    auto m = s.migration();
    EXPECT_EQ(m.pendingSecretAccounts(), (std::vector<std::string>{"flomo-webhook"}));

    auto report = m.runSecrets();
    EXPECT_EQ(report, (MigrationReport{{}, {}, {}, {"flomo-webhook"}, {}}));
    EXPECT_EQ(store.get("com.morvale.pivorel", "llm-api-key"), "new-key");
    EXPECT_FALSE(s.defaults->contains(LegacyMigration::secretsMarker));

    store.set("https://flomoapp.com/iwh/x", "com.morvale.brisendo", "flomo-webhook");
    store.failWrites = true;
    EXPECT_EQ(m.runSecrets().secretsPending, (std::vector<std::string>{"flomo-webhook"}));
    store.failWrites = false;
    report = m.runSecrets();
    EXPECT_EQ(report.secretsMigrated, (std::vector<std::string>{"flomo-webhook"}));
    EXPECT_EQ(report.summary(),
              "defaults=0 files= secretsMigrated=flomo-webhook secretsPending= skipped=");
    EXPECT_EQ(store.get("com.morvale.pivorel", "flomo-webhook"), "https://flomoapp.com/iwh/x");
    EXPECT_EQ(store.get("com.morvale.brisendo", "flomo-webhook"), "https://flomoapp.com/iwh/x");
    EXPECT_EQ(s.defaults->boolValue(LegacyMigration::secretsMarker), true);
    EXPECT_TRUE(m.pendingSecretAccounts().empty());
    EXPECT_EQ(m.runSecrets(), MigrationReport{});
}
