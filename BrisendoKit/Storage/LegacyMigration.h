#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace pivorel {

class SecretStore;
class UserDefaults;

// What one migration run did. The summary is the run's one log line.
struct MigrationReport {
    std::vector<std::string> defaultsCopied;   // keys
    std::vector<std::string> filesCopied;      // "pivorel.sqlite" stands for the database unit
    std::vector<std::string> secretsMigrated;  // accounts
    std::vector<std::string> secretsPending;   // accounts only the former service holds
    std::vector<std::string> skipped;          // "defaults(done)", "files(no legacy dir)", ...

    bool operator==(const MigrationReport&) const = default;

    bool didAnything() const {
        return !defaultsCopied.empty() || !filesCopied.empty() || !secretsMigrated.empty();
    }
    // "defaults=2 files=pivorel.sqlite,actions.json secretsMigrated= secretsPending= skipped="
    std::string summary() const;
};

// Carries a user's data over from the former product (Brisendo): settings key by key,
// data files file by file, and the two secrets re-stored under the current service. The
// former product's data is only ever read.
class LegacyMigration {
  public:
    static constexpr std::string_view defaultsMarker = "legacyMigration.defaults.v1";
    static constexpr std::string_view secretsMarker = "legacyMigration.secrets.v1";
    static const std::vector<std::string>& secretAccounts();

    // `legacyDefaults` is a snapshot of the former settings domain (an object; anything
    // else counts as empty).
    LegacyMigration(nlohmann::json legacyDefaults, std::shared_ptr<UserDefaults> newDefaults,
                    std::filesystem::path legacySupport, std::filesystem::path newSupport,
                    std::shared_ptr<SecretStore> secrets, std::string legacyService,
                    std::string newService);

    // The real locations: the former domain file in the configuration directory, the former
    // data directory beside ours, and the program's secret store.
    static LegacyMigration production(std::shared_ptr<SecretStore> secrets);

    // The former domain file's contents; an empty object when it is missing or unreadable.
    // The file is never changed, not even when it does not parse.
    static nlohmann::json readLegacyDefaults(const std::filesystem::path& file);

    // Settings, then files. Runs at every start-up, before the database is opened.
    MigrationReport runFast();
    // The secrets step; fills only secretsMigrated and secretsPending.
    MigrationReport runSecrets();
    // Accounts held under the former service but not under ours, in secretAccounts order.
    std::vector<std::string> pendingSecretAccounts();

    const std::filesystem::path& legacySupport() const { return legacySupport_; }
    const std::filesystem::path& newSupport() const { return newSupport_; }

  private:
    void copyDefaults(MigrationReport& report);
    void copyFiles(MigrationReport& report);
    bool copyDatabase();

    nlohmann::json legacyDefaults_;
    std::shared_ptr<UserDefaults> newDefaults_;
    std::filesystem::path legacySupport_;
    std::filesystem::path newSupport_;
    std::shared_ptr<SecretStore> secrets_;
    std::string legacyService_;
    std::string newService_;
};

}  // namespace pivorel
