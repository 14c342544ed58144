#include "BrisendoKit/Storage/LegacyMigration.h"

#include <algorithm>
#include <array>
#include <system_error>

#include "BrisendoKit/Platform/SecretStore.h"
#include "BrisendoKit/Storage/Credentials.h"
#include "BrisendoKit/Support/AppIdentity.h"
#include "BrisendoKit/Support/BoundedJson.h"
#include "BrisendoKit/Support/FileIO.h"
#include "BrisendoKit/Support/UserDefaults.h"
#include "BrisendoKit/Support/XdgDirs.h"

namespace pivorel {

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

constexpr std::array<std::string_view, 3> databaseSuffixes{"", "-wal", "-shm"};

std::string join(const std::vector<std::string>& items) {
    std::string out;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i) out += ",";
        out += items[i];
    }
    return out;
}

bool isPresent(const fs::path& p) {
    std::error_code ec;
    return fs::symlink_status(p, ec).type() != fs::file_type::not_found && !ec;
}

// Removes `p` only when it is a plain file: a clean-up never takes a directory with it.
void removeFile(const fs::path& p) {
    std::error_code ec;
    if (fs::is_regular_file(fs::symlink_status(p, ec))) fs::remove(p, ec);
}

// Where a file is copied before it is renamed to its final name, so a copy cut short
// never sits under a name the next start-up would take as complete.
fs::path stagingPath(const fs::path& dest) {
    return dest.parent_path() / ("." + dest.filename().string() + ".migrating");
}

bool copyToStaging(const fs::path& from, const fs::path& staging) {
    std::error_code ec;
    fs::copy_file(from, staging, fs::copy_options::overwrite_existing, ec);
    if (ec) removeFile(staging);
    return !ec;
}

bool renameInto(const fs::path& staging, const fs::path& dest) {
    std::error_code ec;
    fs::rename(staging, dest, ec);
    return !ec;
}

}  // namespace

std::string MigrationReport::summary() const {
    return "defaults=" + std::to_string(defaultsCopied.size()) + " files=" + join(filesCopied) +
           " secretsMigrated=" + join(secretsMigrated) + " secretsPending=" + join(secretsPending) +
           " skipped=" + join(skipped);
}

const std::vector<std::string>& LegacyMigration::secretAccounts() {
    static const std::vector<std::string> accounts = {std::string(Credentials::llmAccount),
                                                      std::string(Credentials::flomoAccount)};
    return accounts;
}

LegacyMigration::LegacyMigration(json legacyDefaults, std::shared_ptr<UserDefaults> newDefaults,
                                 fs::path legacySupport, fs::path newSupport,
                                 std::shared_ptr<SecretStore> secrets, std::string legacyService,
                                 std::string newService)
    : legacyDefaults_(legacyDefaults.is_object() ? std::move(legacyDefaults) : json::object()),
      newDefaults_(std::move(newDefaults)),
      legacySupport_(std::move(legacySupport)),
      newSupport_(std::move(newSupport)),
      secrets_(std::move(secrets)),
      legacyService_(std::move(legacyService)),
      newService_(std::move(newService)) {}

LegacyMigration LegacyMigration::production(std::shared_ptr<SecretStore> secrets) {
    return LegacyMigration(
        readLegacyDefaults(UserDefaults::domainFile(AppIdentity::legacyBundleID)),
        UserDefaults::standard(), XdgDirs::dataHome() / AppIdentity::legacySupportDirName,
        AppIdentity::supportDirectory(), std::move(secrets),
        std::string(AppIdentity::legacyBundleID), std::string(Credentials::service));
}

json LegacyMigration::readLegacyDefaults(const fs::path& file) {
    const auto bytes = fileio::readFile(file, UserDefaults::maxFileBytes);
    if (!bytes) return json::object();
    auto parsed = boundedjson::parse(*bytes);
    return parsed.is_object() ? parsed : json::object();
}

MigrationReport LegacyMigration::runFast() {
    MigrationReport report;
    copyDefaults(report);
    copyFiles(report);
    return report;
}

void LegacyMigration::copyDefaults(MigrationReport& report) {
    if (newDefaults_->boolValue(defaultsMarker) == true) {
        report.skipped.push_back("defaults(done)");
        return;
    }
    // One write for all copied keys; a JSON object iterates in ascending key order.
    json merged = newDefaults_->snapshot();
    for (auto it = legacyDefaults_.begin(); it != legacyDefaults_.end(); ++it) {
        if (merged.contains(it.key())) continue;
        merged[it.key()] = it.value();
        report.defaultsCopied.push_back(it.key());
    }
    if (!report.defaultsCopied.empty()) newDefaults_->replaceAll(std::move(merged));
    newDefaults_->set(defaultsMarker, true);
}

void LegacyMigration::copyFiles(MigrationReport& report) {
    std::error_code ec;
    if (!fs::is_directory(legacySupport_, ec)) {
        report.skipped.push_back("files(no legacy dir)");
        return;
    }
    fs::create_directories(newSupport_, ec);

    const fs::path legacyDatabase = legacySupport_ / AppIdentity::legacyDatabaseFileName;
    if (isPresent(legacyDatabase) && !isPresent(newSupport_ / AppIdentity::databaseFileName)) {
        if (copyDatabase()) {
            report.filesCopied.push_back(std::string(AppIdentity::databaseFileName));
        } else {
            report.skipped.push_back("sqlite(copy failed, rolled back)");
        }
    }

    std::vector<std::string> names;
    fs::directory_iterator it(legacySupport_, ec), end;
    for (; !ec && it != end; it.increment(ec)) names.push_back(it->path().filename().string());
    std::sort(names.begin(), names.end());
    for (const auto& name : names) {
        if (name.starts_with(".")) continue;
        if (std::any_of(databaseSuffixes.begin(), databaseSuffixes.end(), [&](auto suffix) {
                return name ==
                       std::string(AppIdentity::legacyDatabaseFileName) + std::string(suffix);
            })) {
            continue;
        }
        const fs::path from = legacySupport_ / name;
        std::error_code statusError;
        const auto status = fs::symlink_status(from, statusError);
        if (statusError || !fs::is_regular_file(status)) continue;
        const fs::path to = newSupport_ / name;
        if (isPresent(to)) continue;
        const fs::path staging = stagingPath(to);
        if (!copyToStaging(from, staging)) continue;
        if (renameInto(staging, to)) {
            report.filesCopied.push_back(name);
        } else {
            removeFile(staging);
        }
    }
}

// Copies the former database and whichever companions it has as one unit: all of them land
// under the current names, or none does.
bool LegacyMigration::copyDatabase() {
    struct Part {
        fs::path staging, dest;
    };
    std::vector<Part> staged;
    bool ok = true;
    for (const auto suffix : databaseSuffixes) {
        const fs::path from = legacySupport_ / (std::string(AppIdentity::legacyDatabaseFileName) +
                                                std::string(suffix));
        const fs::path to =
            newSupport_ / (std::string(AppIdentity::databaseFileName) + std::string(suffix));
        if (!isPresent(from)) {
            // A companion left behind by some other database would be replayed into this one.
            if (!suffix.empty()) removeFile(to);
            continue;
        }
        const fs::path staging = stagingPath(to);
        if (!copyToStaging(from, staging)) {
            ok = false;
            break;
        }
        staged.push_back({staging, to});
    }

    // Companions first and the main file last: the main file's presence is what marks the
    // unit as done, so a run cut short between renames is simply repeated next time.
    std::vector<fs::path> placed;
    if (ok) {
        std::rotate(staged.begin(), staged.begin() + 1, staged.end());
        for (const auto& part : staged) {
            if (!renameInto(part.staging, part.dest)) {
                ok = false;
                break;
            }
            placed.push_back(part.dest);
        }
    }
    if (!ok) {
        for (const auto& part : staged) removeFile(part.staging);
        for (const auto& dest : placed) removeFile(dest);
    }
    return ok;
}

MigrationReport LegacyMigration::runSecrets() {
    MigrationReport report;
    for (const auto& account : secretAccounts()) {
        if (secrets_->exists(newService_, account)) continue;
        if (!secrets_->exists(legacyService_, account)) continue;
        const auto value = secrets_->get(legacyService_, account);
        if (!value || value->empty()) {
            report.secretsPending.push_back(account);
        } else if (secrets_->set(*value, newService_, account)) {
            report.secretsMigrated.push_back(account);
        } else {
            report.secretsPending.push_back(account);
        }
    }
    if (report.secretsPending.empty()) newDefaults_->set(secretsMarker, true);
    return report;
}

std::vector<std::string> LegacyMigration::pendingSecretAccounts() {
    std::vector<std::string> pending;
    for (const auto& account : secretAccounts()) {
        if (secrets_->exists(legacyService_, account) && !secrets_->exists(newService_, account)) {
            pending.push_back(account);
        }
    }
    return pending;
}

}  // namespace pivorel
