#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "BrisendoKit/Support/Result.h"

namespace pivorel {

// The GNOME Shell extension that tells the program, on GNOME's Wayland session, what X11
// cannot: gestures over Wayland windows, the focused application, the hot key. Its files
// are built into the program, in one build per GNOME generation.
struct ShellExtension {
    ShellExtension() = delete;

    static constexpr const char* uuid = "pivorel@morvale.com";
    static constexpr const char* busName = "com.morvale.Pivorel.Shell";
    static constexpr const char* objectPath = "/com/morvale/Pivorel/Shell";
    static constexpr const char* interfaceName = "com.morvale.Pivorel.Shell";

    enum class Session { x11, gnomeWayland, otherWayland };
    // From XDG_SESSION_TYPE and XDG_CURRENT_DESKTOP (a colon-separated list, such as
    // "ubuntu:GNOME").
    static Session sessionKind(std::string_view sessionType, std::string_view currentDesktop);
    static Session currentSession();

    // Whether the extension answers on the session bus now.
    static bool running();

    // The accelerator GNOME understands ("<Control><Alt>n") for a program key code and
    // HotKeySpec modifiers; nothing for a key without a keysym.
    static std::optional<std::string> accelerator(std::uint32_t keyCode, std::uint32_t modifiers);

    // The major version in `gnome-shell --version`'s answer ("GNOME Shell 43.9").
    static std::optional<int> shellMajorVersion(std::string_view versionOutput);

    // Writes the build for GNOME `major` into <dataHome>/gnome-shell/extensions/<uuid>,
    // replacing an earlier copy; the folder written.
    static Result<std::filesystem::path, std::string> installFiles(
        const std::filesystem::path& dataHome, int major);

    // Installs the extension for this user and enables it; false with the reason when
    // GNOME Shell is missing or a step fails. Reports each step on `out`.
    static bool install(std::ostream& out);
};

// "--install-gnome-extension": ShellExtension::install; 0 when it succeeded.
int runInstallGnomeExtension(std::ostream& out);

}  // namespace pivorel
