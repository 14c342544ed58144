#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "BrisendoKit/Shell/PermissionGuideStrings.h"
#include "BrisendoKit/Shell/PermissionKind.h"

namespace pivorel {

// Process-wide settings of the permission guide and the small pure rules around it.
struct PermissionGuide {
    PermissionGuide() = delete;

    static constexpr std::string_view probeSwitch = "--permission-probe";

    // The name the guide's texts and log lines use; the application sets it at start-up.
    static std::string productName();
    static void setProductName(std::string name);
    static std::string defaultProductName();

    // The texts in use (the Simplified Chinese ones unless replaced).
    static PermissionGuideStrings strings();
    static void setStrings(PermissionGuideStrings strings);

    // "permission guide <event>: <kind>".
    static std::string logLine(PermissionKind kind, std::string_view event);
    // Writes "[<product>] <text>" to the log.
    static void log(std::string_view text);

    // The kind a probe launch asks about: "--permission-probe" followed by a kind's raw
    // value anywhere in `args` (argv without the program name). An unknown kind or a
    // missing value is no probe: the program starts normally.
    static std::optional<PermissionKind> probeKind(const std::vector<std::string>& args);

    // What a probe child answered: true for "1", false for "0" (spaces and line breaks
    // around it ignored), nothing for any other output or a non-zero exit status.
    static std::optional<bool> interpretProbe(int exitStatus, std::string_view output);

    // The file offered for dragging into a permission list: `path` without trailing "/"
    // when it names the installed program (an absolute path whose file name is the
    // product's executable name), else "/usr/bin/" + that name.
    static std::string bundlePathForDrag(std::string_view path, std::string_view productName);
};

}  // namespace pivorel
