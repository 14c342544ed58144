// What the program's files survive: other local users, damage, a folder it may not write,
// and files built to exhaust its memory.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "BrisendoKit/Actions/ExtensionCatalog.h"
#include "BrisendoKit/Storage/Store.h"
#include "BrisendoKit/Support/FileIO.h"
#include "BrisendoKit/Support/UserDefaults.h"
#include "TempDir.h"

using namespace pivorel;
namespace fs = std::filesystem;

namespace {

unsigned modeOf(const fs::path& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & 0777 : 01000;
}

void writeWithMode(const fs::path& path, const std::string& bytes, unsigned mode) {
    std::ofstream(path) << bytes;
    ::chmod(path.c_str(), mode);
}

const TimePoint t0 = fromUnixSeconds(1'717'948'800);

SelectRequest selection(std::string text) {
    SelectRequest r;
    r.text = std::move(text);
    return r;
}

}  // namespace

TEST(PrivateFiles, WhatTheProgramWritesOnlyTheUserReads) {
    pivorel::test::TempDir dir;
    const fs::path nested = dir.path() / "new" / "deeper";
    ASSERT_TRUE(fileio::writeFileAtomically(nested / "settings.json", "{}"));
    ASSERT_TRUE(fileio::writeFileAtomically(nested / "app.desktop", "[Desktop Entry]\n",
                                            fileio::Access::everyone));
    auto store = Store::open(nested / "history.sqlite");
    ASSERT_TRUE(store.ok());
    ASSERT_TRUE((*store)->insert(selection("secret"), {}, {}, t0).ok());

    for (const auto& [path, mode] :
         std::vector<std::pair<fs::path, unsigned>>{{dir.path() / "new", 0700},
                                                    {nested, 0700},
                                                    {nested / "settings.json", 0600},
                                                    {nested / "app.desktop", 0644},
                                                    {nested / "history.sqlite", 0600},
                                                    {nested / "history.sqlite-wal", 0600}}) {
        EXPECT_EQ(modeOf(path), mode) << path;
    }
}

TEST(PrivateFiles, FilesOfOlderVersionsAreTightened) {
    pivorel::test::TempDir dir;
    const fs::path data = dir.path() / "Pivorel";
    fs::create_directories(data / "Reminders");
    ::chmod(data.c_str(), 0755);
    writeWithMode(data / "pivorel.sqlite", "", 0644);
    writeWithMode(data / "Reminders" / "a.ics", "BEGIN", 0664);
    writeWithMode(dir.path() / "elsewhere", "", 0644);
    fs::create_symlink(dir.path() / "elsewhere", data / "link");

    fileio::makePrivate(data);
    EXPECT_EQ(modeOf(data), 0700u);
    EXPECT_EQ(modeOf(data / "pivorel.sqlite"), 0600u);
    EXPECT_EQ(modeOf(data / "Reminders"), 0700u);
    EXPECT_EQ(modeOf(data / "Reminders" / "a.ics"), 0600u);
    // A link is not followed out of the folder.
    EXPECT_EQ(modeOf(dir.path() / "elsewhere"), 0644u);
}

TEST(HistoryAtStart, ADamagedFileIsKeptAsideAndAFreshHistoryStarts) {
    // Not a database at all (its journal goes with it), and a database whose pages are
    // garbage (SQLite itself drops a journal that does not match).
    for (const std::string& damaged :
         {std::string(4096, 'x'), std::string("SQLite format 3\0", 16) + std::string(8192, 'x')}) {
        pivorel::test::TempDir dir;
        const fs::path path = dir.path() / "pivorel.sqlite";
        std::ofstream(path) << damaged;
        std::ofstream(path.string() + "-wal") << "wal";

        auto opening = Store::openForProgram(path, t0);
        ASSERT_TRUE(opening.store);
        EXPECT_FALSE(opening.unusable);
        const fs::path aside = dir.path() / "pivorel.sqlite.corrupt-1717948800";
        ASSERT_EQ(opening.movedAside, aside);
        EXPECT_EQ(pivorel::test::readText(aside), damaged);
        if (damaged.front() == 'x') {
            EXPECT_EQ(pivorel::test::readText(aside.string() + "-wal"), "wal");
        }
        EXPECT_TRUE(opening.store->insert(selection("a"), {}, {}, t0).ok());
        EXPECT_EQ(opening.store->path(), path);
    }
}

TEST(HistoryAtStart, AHistoryThatCannotBeOpenedLivesInMemory) {
    pivorel::test::TempDir dir;
    // Stands for a folder it may not write, which root (running the suite) could.
    fs::create_directories(dir.path() / "pivorel.sqlite");
    auto opening = Store::openForProgram(dir.path() / "pivorel.sqlite", t0);
    ASSERT_TRUE(opening.store);
    ASSERT_TRUE(opening.unusable);
    EXPECT_FALSE(opening.movedAside);
    EXPECT_TRUE(opening.store->insert(selection("a"), {}, {}, t0).ok());
}

TEST(BoundedReaders, DeepOrHugeDocumentsAreRefusedNotBuilt) {
    pivorel::test::TempDir dir;
    const std::string deep = std::string(100000, '[') + std::string(100000, ']');
    EXPECT_FALSE(ExtensionCatalog::decode(R"({"version":1,"items":)" + deep + "}"));

    // A settings file nobody could have written is kept aside like any unreadable one.
    const fs::path settings = dir.path() / "settings.json";
    std::ofstream(settings) << "{\"a\":" << deep << "}";
    UserDefaults defaults(settings);
    EXPECT_FALSE(defaults.contains("a"));
    EXPECT_FALSE(fs::exists(settings));
    std::ofstream(settings) << "{\"a\":\"" << std::string(UserDefaults::maxFileBytes, 'x') << "\"}";
    EXPECT_FALSE(UserDefaults(settings).contains("a"));
}
