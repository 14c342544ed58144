#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <regex>
#include <set>

#include "BrisendoKit/Localization/Localizer.h"
#include "BrisendoKit/Support/FileIO.h"

using namespace pivorel;
namespace fs = std::filesystem;

namespace {

// The conversions of a format, positions dropped and length modifiers kept, sorted.
std::multiset<std::string> specifiers(const std::string& text) {
    static const std::regex spec(R"(%(?:\d+\$)?[-+ 0]*\d*(?:\.\d+)?(?:ll|l|h|q|z)?[@dfiu%])");
    std::multiset<std::string> out;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), spec);
         it != std::sregex_iterator(); ++it) {
        out.insert(std::regex_replace(it->str(), std::regex(R"(\d+\$)"), ""));
    }
    return out;
}

std::string unescape(const std::string& literal) {
    std::string out;
    for (std::size_t i = 0; i < literal.size(); ++i) {
        if (literal[i] == '\\' && i + 1 < literal.size()) {
            const char c = literal[++i];
            out += c == 'n' ? '\n' : c == 't' ? '\t' : c;
        } else {
            out += literal[i];
        }
    }
    return out;
}

// Every literal key handed to L( ... ) in the program's sources, with where it was found.
std::map<std::string, std::string> keysUsedInCode() {
    std::map<std::string, std::string> keys;
    const char* root = std::getenv("PIVOREL_TEST_SOURCE_DIR");
    if (!root) return keys;
    // A key may be split into adjacent literals across lines.
    static const std::regex call(R"re(\bL\(\s*((?:"(?:[^"\\]|\\.)*"\s*)+))re");
    static const std::regex piece(R"re("((?:[^"\\]|\\.)*)")re");
    for (const char* dir : {"BrisendoKit", "Pivorel"}) {
        if (!fs::exists(fs::path(root) / dir)) continue;
        for (const auto& entry : fs::recursive_directory_iterator(fs::path(root) / dir)) {
            const auto ext = entry.path().extension();
            if (ext != ".cpp" && ext != ".h") continue;
            const auto source = fileio::readFile(entry.path());
            if (!source) continue;
            for (auto it = std::sregex_iterator(source->begin(), source->end(), call);
                 it != std::sregex_iterator(); ++it) {
                const std::string literals = (*it)[1].str();
                std::string key;
                for (auto p = std::sregex_iterator(literals.begin(), literals.end(), piece);
                     p != std::sregex_iterator(); ++p) {
                    key += (*p)[1].str();
                }
                keys.emplace(unescape(key), entry.path().filename().string());
            }
        }
    }
    return keys;
}

}  // namespace

TEST(TranslationTables, EveryTableHasTheSameKeysWithMatchingSpecifiers) {
    const auto reference = Localizer::tableKeys("en");
    ASSERT_FALSE(reference.empty());
    const std::set<std::string> referenceSet(reference.begin(), reference.end());
    for (const auto& language : Localizer::supported()) {
        if (language == "zh-Hans") continue;
        const auto keys = Localizer::tableKeys(language);
        EXPECT_EQ(std::set<std::string>(keys.begin(), keys.end()), referenceSet) << language;
        for (const auto& key : keys) {
            const auto value = Localizer::lookup(key, language);
            EXPECT_FALSE(value.empty()) << language << ": " << key;
            EXPECT_EQ(specifiers(value), specifiers(key)) << language << ": " << key;
        }
    }
}

TEST(TranslationTables, EveryKeyTheCodeUsesIsTranslated) {
    if (!std::getenv("PIVOREL_TEST_SOURCE_DIR")) GTEST_SKIP() << "source directory unknown";
    const auto used = keysUsedInCode();
    ASSERT_FALSE(used.empty());
    for (const auto& [key, file] : used) {
        for (const auto& language : Localizer::supported()) {
            if (language == "zh-Hans") continue;
            const auto keys = Localizer::tableKeys(language);
            EXPECT_TRUE(std::find(keys.begin(), keys.end(), key) != keys.end())
                << "\"" << key << "\" (" << file << ") has no " << language << " translation";
        }
    }
    // Keys no code uses yet are reported, not failed: later parts of the program use them.
    std::size_t unused = 0;
    for (const auto& key : Localizer::tableKeys("en")) unused += used.count(key) == 0;
    std::cout << "[ info ] " << unused << " table keys not used by the code yet\n";
}
