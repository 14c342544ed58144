#include <iostream>
#include <string>
#include <vector>

#include "AskSelftest.h"
#include "CommandLine.h"
#include "Explain.h"
#include "Probes.h"
#include "SeedCredentials.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    const auto parsed = pivorel::CommandLine::parse(args);
    if (!parsed) {
        std::cerr << "pivorel: " << parsed.error() << "\n" << pivorel::CommandLine::usage();
        return 2;
    }
    if (parsed->has("--explain")) return pivorel::runExplain(parsed->toolArgs);
    if (parsed->has("--help")) {
        std::cout << pivorel::CommandLine::usage();
        return 0;
    }
    if (parsed->has("--seed-credentials")) return pivorel::runSeedCredentials();
    if (parsed->has("--ask-selftest")) return pivorel::runAskSelftest();
    if (parsed->has("--l10n-probe")) {
        std::cout << pivorel::l10nProbeLine() << "\n";
        return 0;
    }
    std::cout << "pivorel " << PIVOREL_VERSION << "\n";
    return 0;
}
