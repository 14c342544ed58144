#include "BrisendoKit/Storage/HotKeySpec.h"

#include "BrisendoKit/Localization/L.h"

namespace pivorel {

namespace {
constexpr std::uint32_t spaceKey = 49;
}

const std::map<std::uint32_t, std::string>& HotKeySpec::keyNames() {
    static const std::map<std::uint32_t, std::string> names = {
        {0, "A"},     {11, "B"},          {8, "C"},      {2, "D"},     {14, "E"},
        {3, "F"},     {5, "G"},           {4, "H"},      {34, "I"},    {38, "J"},
        {40, "K"},    {37, "L"},          {46, "M"},     {45, "N"},    {31, "O"},
        {35, "P"},    {12, "Q"},          {15, "R"},     {1, "S"},     {17, "T"},
        {32, "U"},    {9, "V"},           {13, "W"},     {7, "X"},     {16, "Y"},
        {6, "Z"},     {29, "0"},          {18, "1"},     {19, "2"},    {20, "3"},
        {21, "4"},    {23, "5"},          {22, "6"},     {26, "7"},    {28, "8"},
        {25, "9"},    {spaceKey, "空格"}, {36, "Enter"}, {48, "Tab"},  {51, "Backspace"},
        {123, "←"},   {124, "→"},         {125, "↓"},    {126, "↑"},   {122, "F1"},
        {120, "F2"},  {99, "F3"},         {118, "F4"},   {96, "F5"},   {97, "F6"},
        {98, "F7"},   {100, "F8"},        {101, "F9"},   {109, "F10"}, {103, "F11"},
        {111, "F12"}, {27, "-"},          {24, "="},     {33, "["},    {30, "]"},
        {41, ";"},    {39, "'"},          {43, ","},     {47, "."},    {44, "/"},
        {42, "\\"},   {50, "`"},
    };
    return names;
}

std::string HotKeySpec::display() const {
    std::string out;
    if (modifiers & control) out += "Ctrl+";
    if (modifiers & option) out += "Alt+";
    if (modifiers & shift) out += "Shift+";
    if (modifiers & cmd) out += "Super+";
    const auto& names = keyNames();
    if (auto it = names.find(keyCode); it != names.end()) {
        out += keyCode == spaceKey ? L(it->second) : it->second;
    } else {
        out += L("键%lld", static_cast<long long>(keyCode));
    }
    return out;
}

}  // namespace pivorel
