#include "BrisendoKit/Shell/PermissionGuide.h"

#include <algorithm>
#include <cctype>
#include <mutex>

#include "BrisendoKit/Support/AppIdentity.h"
#include "BrisendoKit/Support/Log.h"
#include "BrisendoKit/Support/Text.h"

namespace pivorel {

namespace {

struct Settings {
    std::mutex mutex;
    std::optional<std::string> productName;
    std::optional<PermissionGuideStrings> strings;
};

Settings& settings() {
    static Settings s;
    return s;
}

std::string lowerAscii(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

}  // namespace

std::string PermissionGuide::defaultProductName() {
    return std::string(AppIdentity::productName);
}

std::string PermissionGuide::productName() {
    auto& s = settings();
    std::lock_guard lock(s.mutex);
    return s.productName.value_or(defaultProductName());
}

void PermissionGuide::setProductName(std::string name) {
    auto& s = settings();
    std::lock_guard lock(s.mutex);
    s.productName = std::move(name);
}

PermissionGuideStrings PermissionGuide::strings() {
    auto& s = settings();
    std::lock_guard lock(s.mutex);
    return s.strings.value_or(PermissionGuideStrings::zhHans());
}

void PermissionGuide::setStrings(PermissionGuideStrings strings) {
    auto& s = settings();
    std::lock_guard lock(s.mutex);
    s.strings = std::move(strings);
}

std::string PermissionGuide::logLine(PermissionKind kind, std::string_view event) {
    return "permission guide " + std::string(event) + ": " + std::string(toString(kind));
}

void PermissionGuide::log(std::string_view text) {
    Log::write("[" + productName() + "] " + std::string(text));
}

std::optional<PermissionKind> PermissionGuide::probeKind(const std::vector<std::string>& args) {
    for (std::size_t i = 0; i + 1 < args.size(); ++i) {
        if (args[i] == probeSwitch) {
            if (auto kind = permissionKindFromString(args[i + 1])) return kind;
        }
    }
    return std::nullopt;
}

std::optional<bool> PermissionGuide::interpretProbe(int exitStatus, std::string_view output) {
    if (exitStatus != 0) return std::nullopt;
    const std::string answer = text::trim(output);
    if (answer == "1") return true;
    if (answer == "0") return false;
    return std::nullopt;
}

std::string PermissionGuide::bundlePathForDrag(std::string_view path,
                                               std::string_view productName) {
    std::string trimmed(path);
    while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
    const std::string executable = lowerAscii(productName);
    const auto slash = trimmed.rfind('/');
    const std::string fileName = slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
    if (!trimmed.empty() && trimmed.front() == '/' && lowerAscii(fileName) == executable) {
        return trimmed;
    }
    return "/usr/bin/" + executable;
}

}  // namespace pivorel
