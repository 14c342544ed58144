#include "BrisendoKit/Update/VersionComparison.h"

#include <cctype>
#include <string>
#include <vector>

namespace pivorel {

namespace {

struct Token {
    bool number = false;
    std::string text;  // digits without leading zeros ("" for zero), or the word lower-cased
};

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isSeparator(char c) {
    return c == '.' || c == '-' || c == '_' || c == '+' || c == ' ';
}

std::vector<Token> tokenize(std::string_view v) {
    if (v.size() > 1 && (v[0] == 'v' || v[0] == 'V') && isDigit(v[1])) v.remove_prefix(1);
    std::vector<Token> tokens;
    std::size_t i = 0;
    while (i < v.size()) {
        if (isSeparator(v[i])) {
            ++i;
            continue;
        }
        Token t;
        t.number = isDigit(v[i]);
        while (i < v.size() && !isSeparator(v[i]) && isDigit(v[i]) == t.number) {
            const char c = v[i++];
            if (t.number) {
                if (!(t.text.empty() && c == '0')) t.text += c;
            } else {
                t.text += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            }
        }
        tokens.push_back(std::move(t));
    }
    return tokens;
}

int compareTokens(const Token& a, const Token& b) {
    if (a.number != b.number) return a.number ? 1 : -1;  // 1.0.1 > 1.0.beta
    if (a.number && a.text.size() != b.text.size()) return a.text.size() < b.text.size() ? -1 : 1;
    const int c = a.text.compare(b.text);
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

// What the longer version's remaining tokens mean against the end of the shorter one.
int compareTail(const std::vector<Token>& tokens, std::size_t from) {
    for (std::size_t i = from; i < tokens.size(); ++i) {
        if (!tokens[i].number) return -1;       // a pre-release of the shorter one
        if (!tokens[i].text.empty()) return 1;  // a non-zero further number
    }
    return 0;
}

}  // namespace

int compareVersions(std::string_view a, std::string_view b) {
    const auto ta = tokenize(a);
    const auto tb = tokenize(b);
    const std::size_t common = std::min(ta.size(), tb.size());
    for (std::size_t i = 0; i < common; ++i) {
        if (const int c = compareTokens(ta[i], tb[i]); c != 0) return c;
    }
    if (ta.size() > common) return compareTail(ta, common);
    if (tb.size() > common) return -compareTail(tb, common);
    return 0;
}

}  // namespace pivorel
