#include <gtest/gtest.h>

#include "BrisendoKit/Shell/GuidePlacement.h"
#include "BrisendoKit/Shell/PermissionGuide.h"
#include "BrisendoKit/Shell/PermissionGuideStrings.h"
#include "BrisendoKit/Shell/PermissionKind.h"

using namespace pivorel;

TEST(PermissionGuide, OnlyASwitchFollowedByAKnownKindIsAProbe) {
    EXPECT_EQ(PermissionGuide::probeKind({"--x", "--permission-probe", "systemAudioCapture"}),
              PermissionKind::systemAudioCapture);
    // An unknown word or a missing value is a normal start.
    EXPECT_FALSE(PermissionGuide::probeKind({"--permission-probe", "camera"}));
    EXPECT_FALSE(PermissionGuide::probeKind({"--permission-probe"}));
    EXPECT_FALSE(PermissionGuide::probeKind({"accessibility", "--permission-probe"}));
}

TEST(PermissionGuide, ProbeOutputMustBeExactlyOneOrZeroWithStatusZero) {
    EXPECT_EQ(PermissionGuide::interpretProbe(0, "1\n"), true);
    EXPECT_EQ(PermissionGuide::interpretProbe(0, " 0 \r\n"), false);
    EXPECT_EQ(PermissionGuide::interpretProbe(0, "yes"), std::nullopt);
    EXPECT_EQ(PermissionGuide::interpretProbe(0, "10"), std::nullopt);
    EXPECT_EQ(PermissionGuide::interpretProbe(0, ""), std::nullopt);
    EXPECT_EQ(PermissionGuide::interpretProbe(-1, "1"), std::nullopt);
}

TEST(PermissionGuide, StringsFillPlaceholdersOnceAndNameEveryKind) {
    auto strings = PermissionGuideStrings::zhHans();
    EXPECT_EQ(strings.fill(strings.title, "Pivorel", PermissionKind::accessibility),
              "把 Pivorel 加进「辅助功能」");
    EXPECT_EQ(strings.fill(strings.reasonFormat, "P", PermissionKind::microphone, "录音"),
              "用于：录音");
    // A value holding a placeholder is not expanded again.
    EXPECT_EQ(strings.fill("{product}/{reason}", "{reason}", PermissionKind::microphone, "r"),
              "{reason}/r");
    EXPECT_EQ(strings.fill("{unknown} {", "P", PermissionKind::microphone), "{unknown} {");
    strings.permissionNames.erase(PermissionKind::fullDiskAccess);
    EXPECT_EQ(strings.permissionName(PermissionKind::fullDiskAccess), "fullDiskAccess");
}

TEST(PermissionGuide, DragPathIsTheInstalledProgramOrTheDefaultOne) {
    EXPECT_EQ(PermissionGuide::bundlePathForDrag("/opt/pivorel/bin/pivorel/", "Pivorel"),
              "/opt/pivorel/bin/pivorel");
    EXPECT_EQ(PermissionGuide::bundlePathForDrag("/usr/local/bin/PIVOREL", "Pivorel"),
              "/usr/local/bin/PIVOREL");
    EXPECT_EQ(PermissionGuide::bundlePathForDrag("/work/build/pivorel_tests", "Pivorel"),
              "/usr/bin/pivorel");
    EXPECT_EQ(PermissionGuide::bundlePathForDrag("pivorel", "Pivorel"), "/usr/bin/pivorel");
    EXPECT_EQ(PermissionGuide::bundlePathForDrag("", "Pivorel"), "/usr/bin/pivorel");
    EXPECT_EQ(PermissionGuide::bundlePathForDrag("///", "Pivorel"), "/usr/bin/pivorel");
}

TEST(GuidePlacement, BesideTheSettingsWindowElseTheCorner) {
    const Rect screen{0, 0, 1440, 875};
    const Size guide{300, 400};
    // No settings window: bottom-right corner, 16 in.
    EXPECT_EQ(GuidePlacement::place(guide, std::nullopt, screen), (Point{1124, 16}));
    // Right of it, top edges level; else left of it; else the corner.
    EXPECT_EQ(GuidePlacement::place(guide, Rect{100, 200, 600, 500}, screen), (Point{716, 300}));
    EXPECT_EQ(GuidePlacement::place(guide, Rect{900, 200, 500, 500}, screen), (Point{584, 300}));
    EXPECT_EQ(GuidePlacement::place(guide, Rect{100, 200, 1300, 500}, screen), (Point{1124, 16}));
    // Kept 8 points inside at the top and at the bottom.
    EXPECT_EQ(GuidePlacement::place(guide, Rect{100, 600, 600, 400}, screen).y, 875 - 8 - 400);
    EXPECT_EQ(GuidePlacement::place(guide, Rect{100, 10, 600, 100}, screen).y, 8);
}

TEST(GuidePlacement, FollowsLargeMovesAndOverlapsOnly) {
    const Rect settings{100, 200, 600, 500};
    const Rect guide{716, 300, 300, 400};
    EXPECT_TRUE(GuidePlacement::shouldFollow(std::nullopt, settings, guide));
    EXPECT_FALSE(GuidePlacement::shouldFollow(settings, settings, guide));
    EXPECT_FALSE(GuidePlacement::shouldFollow(settings, Rect{105, 190, 600, 500}, guide));
    EXPECT_TRUE(GuidePlacement::shouldFollow(settings, Rect{100, 250, 600, 500}, guide));
    // A small move that puts it over the guide.
    EXPECT_TRUE(GuidePlacement::shouldFollow(settings, Rect{130, 200, 600, 500}, guide));
}
