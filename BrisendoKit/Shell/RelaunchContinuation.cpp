#include "BrisendoKit/Shell/RelaunchContinuation.h"

#include <algorithm>
#include <cmath>
#include <system_error>

#include <nlohmann/json.hpp>

#include "BrisendoKit/Shell/PermissionGuide.h"
#include "BrisendoKit/Support/AppIdentity.h"
#include "BrisendoKit/Support/BoundedJson.h"
#include "BrisendoKit/Support/FileIO.h"
#include "BrisendoKit/Support/Log.h"

namespace pivorel {

namespace fs = std::filesystem;

namespace {

// Whole seconds for a log line, without overflowing on absurd values.
std::string wholeSeconds(double seconds) {
    if (!std::isfinite(seconds)) return seconds < 0 ? "-inf" : "inf";
    const double clamped = std::clamp(std::trunc(seconds), -9.0e15, 9.0e15);
    return std::to_string(static_cast<long long>(clamped));
}

}  // namespace

std::string RelaunchContinuation::Pending::encode() const {
    nlohmann::json j = nlohmann::json::object();
    j["kind"] = kind;
    j["action"] = action;
    j["payload"] = nlohmann::json::object();
    for (const auto& [key, value] : payload) j["payload"][key] = value;
    j["savedAt"] = savedAt;
    // Replacement of invalid UTF-8 rather than an exception: payloads come from callers.
    return j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::optional<RelaunchContinuation::Pending> RelaunchContinuation::Pending::decode(
    std::string_view json) {
    const auto j = boundedjson::parse(json, maxFileBytes);
    if (j.is_discarded() || !j.is_object()) return std::nullopt;
    auto kind = j.find("kind");
    auto action = j.find("action");
    auto payload = j.find("payload");
    auto savedAt = j.find("savedAt");
    if (kind == j.end() || !kind->is_string() || action == j.end() || !action->is_string() ||
        payload == j.end() || !payload->is_object() || savedAt == j.end() ||
        !savedAt->is_number()) {
        return std::nullopt;
    }
    Pending p;
    p.kind = kind->get<std::string>();
    if (!permissionKindFromString(p.kind)) return std::nullopt;
    p.action = action->get<std::string>();
    for (const auto& [key, value] : payload->items()) {
        if (!value.is_string()) return std::nullopt;
        p.payload[key] = value.get<std::string>();
    }
    p.savedAt = savedAt->get<double>();
    if (!std::isfinite(p.savedAt)) return std::nullopt;
    return p;
}

fs::path RelaunchContinuation::defaultPath() {
    return AppIdentity::supportDirectory() / fileName;
}

bool RelaunchContinuation::save(const Pending& pending, const std::optional<fs::path>& to) {
    const fs::path path = to ? *to : defaultPath();
    if (!fileio::writeFileAtomically(path, pending.encode())) {
        PermissionGuide::log("write pending permission failed: cannot write " + path.string());
        return false;
    }
    return true;
}

std::optional<RelaunchContinuation::Pending> RelaunchContinuation::takePending(
    double maxAge, const std::optional<fs::path>& from, TimePoint now) {
    const fs::path path = from ? *from : defaultPath();
    std::error_code ec;
    const auto status = fs::symlink_status(path, ec);
    if (ec || !fs::exists(status)) return std::nullopt;

    const auto bytes = fileio::readFile(path, maxFileBytes);
    // Used at most once, readable or not. remove() takes a link itself, never its target,
    // and leaves a non-empty directory alone.
    fs::remove(path, ec);
    std::optional<Pending> pending;
    if (bytes) pending = Pending::decode(*bytes);
    if (!pending) {
        PermissionGuide::log("pending permission unreadable, dropped");
        return std::nullopt;
    }
    const double age = toUnixSeconds(now) - pending->savedAt;
    if (age < -futureTolerance || age > maxAge) {
        PermissionGuide::log("pending permission expired (age " + wholeSeconds(age) +
                             "s), dropped");
        return std::nullopt;
    }
    return pending;
}

std::optional<RelaunchContinuation::Pending> RelaunchContinuation::resumeAtStartup(
    TimePoint now, const std::optional<fs::path>& from) {
    auto pending = takePending(120.0, from, now);
    if (pending) Log::write("Pivorel: 授权后重启续接 " + pending->kind);
    return pending;
}

}  // namespace pivorel
