#include "BrisendoKit/Support/AppIdentity.h"

#include <gtest/gtest.h>

#include <fstream>

#include "TempDir.h"

using namespace pivorel;
namespace fs = std::filesystem;

TEST(AppIdentity, SupportDirectoryUnderABaseIsCreatedOnce) {
    test::TempDir dir;
    const fs::path first = AppIdentity::supportDirectory(dir.path());
    EXPECT_EQ(first, dir.path() / "Pivorel");
    EXPECT_TRUE(fs::is_directory(first));
    EXPECT_EQ(AppIdentity::supportDirectory(dir.path()), first);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);

    // A base that cannot hold a directory still gives the path; the failure shows later.
    std::ofstream(dir.path() / "plain") << "x";
    EXPECT_EQ(AppIdentity::supportDirectory(dir.path() / "plain"), dir.path() / "plain/Pivorel");
}
