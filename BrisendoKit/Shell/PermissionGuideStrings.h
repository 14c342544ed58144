#pragma once

#include <map>
#include <string>
#include <string_view>

#include "BrisendoKit/Shell/GuideStatus.h"
#include "BrisendoKit/Shell/PermissionKind.h"

namespace pivorel {

// Every text of the guide window. "{product}", "{permission}" and "{reason}" are filled
// in by fill(); the stored texts are the Simplified Chinese source texts.
struct PermissionGuideStrings {
    std::string title;
    std::string reasonFormat;
    std::string step1Drag;
    std::string step1Find;
    std::string step2;
    std::string step3;
    std::string noteStale;
    std::string noteRestart;
    std::string statusWaiting;
    std::string statusGranted;
    std::string statusDropped;
    std::string statusDropMissed;
    std::string buttonReveal;
    std::string buttonSkip;
    std::string buttonReopen;
    std::string dragTooltip;
    // Where the program turns the permission on itself.
    std::string titleSwitch;
    std::string step1Switch;
    std::string step2Switch;
    std::string noteSwitch;
    std::string buttonSwitch;
    std::string statusSwitchFailed;
    // "{programs}": the programs to restart, joined.
    std::string statusRestart;
    std::map<PermissionKind, std::string> permissionNames;

    static PermissionGuideStrings zhHans();

    // Every text looked up in the interface language.
    PermissionGuideStrings localized() const;

    // The display name of `kind`, or its raw value when the table has none.
    std::string permissionName(PermissionKind kind) const;
    const std::string& statusText(GuideStatus status) const;

    // `text` with its placeholders replaced. Replacement values are inserted verbatim and
    // never scanned again, so a product name or reason containing "{reason}" stays as is.
    std::string fill(std::string_view text, std::string_view product, PermissionKind kind,
                     std::string_view reason = {}, std::string_view programs = {}) const;
};

}  // namespace pivorel
