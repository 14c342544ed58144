#include "Pivorel/Tools/SeedCredentials.h"

#include <cstdlib>
#include <iostream>
#include <memory>

#include "BrisendoKit/Storage/Credentials.h"
#include "BrisendoKit/Support/XdgDirs.h"
#include "Pivorel/Linux/SecretServiceStore.h"

extern char** environ;

namespace pivorel {

std::filesystem::path seedAuthFilePath() {
    return XdgDirs::home() / ".local/share/opencode/auth.json";
}

std::map<std::string, std::string> processEnvironment() {
    std::map<std::string, std::string> env;
    for (char** e = environ; e && *e; ++e) {
        const std::string entry(*e);
        const auto eq = entry.find('=');
        if (eq == std::string::npos) continue;
        env.emplace(entry.substr(0, eq), entry.substr(eq + 1));
    }
    return env;
}

int runSeedCredentials() {
    const Credentials credentials(std::make_shared<SecretServiceStore>());
    for (const auto& line : credentials.seed(seedAuthFilePath(), processEnvironment())) {
        std::cout << line << "\n";
    }
    std::cout.flush();
    return 0;
}

}  // namespace pivorel
