#include "BrisendoKit/Platform/KeyCodes.h"

#include <array>
#include <map>
#include <utility>

namespace pivorel {

namespace {

struct Pair {
    std::uint32_t keyCode;
    std::uint32_t keysym;
};

// Key code and the keysym it produces without modifiers.
constexpr std::array<Pair, 69> table{{
    // Letters: XK_a..XK_z.
    {0, 'a'},
    {11, 'b'},
    {8, 'c'},
    {2, 'd'},
    {14, 'e'},
    {3, 'f'},
    {5, 'g'},
    {4, 'h'},
    {34, 'i'},
    {38, 'j'},
    {40, 'k'},
    {37, 'l'},
    {46, 'm'},
    {45, 'n'},
    {31, 'o'},
    {35, 'p'},
    {12, 'q'},
    {15, 'r'},
    {1, 's'},
    {17, 't'},
    {32, 'u'},
    {9, 'v'},
    {13, 'w'},
    {7, 'x'},
    {16, 'y'},
    {6, 'z'},
    // Digits: XK_0..XK_9.
    {29, '0'},
    {18, '1'},
    {19, '2'},
    {20, '3'},
    {21, '4'},
    {23, '5'},
    {22, '6'},
    {26, '7'},
    {28, '8'},
    {25, '9'},
    // XK_space, XK_Return, XK_Tab, XK_BackSpace, XK_Escape, XK_KP_Enter.
    {49, 0x20},
    {36, 0xff0d},
    {48, 0xff09},
    {51, 0xff08},
    {53, 0xff1b},
    {76, 0xff8d},
    // XK_Left, XK_Right, XK_Down, XK_Up.
    {123, 0xff51},
    {124, 0xff53},
    {125, 0xff54},
    {126, 0xff52},
    // XK_F1..XK_F12.
    {122, 0xffbe},
    {120, 0xffbf},
    {99, 0xffc0},
    {118, 0xffc1},
    {96, 0xffc2},
    {97, 0xffc3},
    {98, 0xffc4},
    {100, 0xffc5},
    {101, 0xffc6},
    {109, 0xffc7},
    {103, 0xffc8},
    {111, 0xffc9},
    // - = [ ] ; ' , . / \ `
    {27, '-'},
    {24, '='},
    {33, '['},
    {30, ']'},
    {41, ';'},
    {39, '\''},
    {43, ','},
    {47, '.'},
    {44, '/'},
    {42, '\\'},
    {50, '`'},
}};

// Keysyms typed with shift on a US layout, and the key that types them.
constexpr std::array<Pair, 22> shifted{{
    {18, '!'}, {19, '@'}, {20, '#'}, {21, '$'}, {23, '%'}, {22, '^'},    {26, '&'}, {28, '*'},
    {25, '('}, {29, ')'}, {27, '_'}, {24, '+'}, {33, '{'}, {30, '}'},    {41, ':'}, {39, '"'},
    {43, '<'}, {47, '>'}, {44, '?'}, {42, '|'}, {50, '~'}, {48, 0xfe20},  // XK_ISO_Left_Tab
}};

const std::map<std::uint32_t, std::uint32_t>& byKeysym() {
    static const auto map = [] {
        std::map<std::uint32_t, std::uint32_t> m;
        for (const auto& p : table) m.emplace(p.keysym, p.keyCode);
        for (const auto& p : shifted) m.emplace(p.keysym, p.keyCode);
        for (std::uint32_t c = 'A'; c <= 'Z'; ++c) m.emplace(c, m.at(c - 'A' + 'a'));
        return m;
    }();
    return map;
}

}  // namespace

std::optional<std::uint32_t> KeyCodes::keysymForKeyCode(std::uint32_t keyCode) {
    for (const auto& p : table) {
        if (p.keyCode == keyCode) return p.keysym;
    }
    return std::nullopt;
}

std::optional<std::uint32_t> KeyCodes::keyCodeForKeysym(std::uint32_t keysym) {
    const auto& m = byKeysym();
    if (auto it = m.find(keysym); it != m.end()) return it->second;
    return std::nullopt;
}

}  // namespace pivorel
