#include "Pivorel/Linux/DesktopEntry.h"

#include <algorithm>

#include "BrisendoKit/Support/Text.h"

namespace pivorel {

namespace {

std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
        s.remove_suffix(1);
    }
    return s;
}

std::string unescape(std::string_view raw) {
    std::string out;
    out.reserve(raw.size());
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] != '\\' || i + 1 == raw.size()) {
            out += raw[i];
            continue;
        }
        switch (raw[++i]) {
            case 's':
                out += ' ';
                break;
            case 'n':
                out += '\n';
                break;
            case 't':
                out += '\t';
                break;
            case 'r':
                out += '\r';
                break;
            case '\\':
                out += '\\';
                break;
            default:  // not an escape of the format: keep both characters
                out += '\\';
                out += raw[i];
        }
    }
    return out;
}

}  // namespace

DesktopEntry DesktopEntry::parse(std::string_view input) {
    const std::string content = text::repairUtf8(input);
    DesktopEntry entry;
    std::map<std::string, std::string, std::less<>>* group = nullptr;
    std::size_t start = 0;
    while (start <= content.size()) {
        std::size_t stop = content.find('\n', start);
        if (stop == std::string::npos) stop = content.size();
        const std::string_view line =
            trimBlanks(std::string_view(content).substr(start, stop - start));
        start = stop + 1;
        if (line.empty() || line.front() == '#') continue;
        if (line.front() == '[') {
            const auto close = line.find(']');
            group = close == std::string_view::npos
                        ? nullptr
                        : &entry.groups_[std::string(line.substr(1, close - 1))];
            continue;
        }
        const auto eq = line.find('=');
        if (!group || eq == std::string_view::npos) continue;
        const std::string_view key = trimBlanks(line.substr(0, eq));
        if (key.empty()) continue;
        group->emplace(std::string(key), std::string(trimBlanks(line.substr(eq + 1))));
    }
    return entry;
}

bool DesktopEntry::hasGroup(std::string_view group) const {
    return groups_.count(group) > 0;
}

std::optional<std::string> DesktopEntry::value(std::string_view key, std::string_view group) const {
    const auto g = groups_.find(group);
    if (g == groups_.end()) return std::nullopt;
    const auto it = g->second.find(key);
    if (it == g->second.end()) return std::nullopt;
    return unescape(it->second);
}

std::optional<std::string> DesktopEntry::localizedValue(std::string_view key,
                                                        const std::vector<std::string>& locales,
                                                        std::string_view group) const {
    for (const auto& locale : locales) {
        if (auto v = value(std::string(key) + "[" + locale + "]", group)) return v;
    }
    return value(key, group);
}

std::vector<std::string> DesktopEntry::localeFallbacks(std::string_view locale) {
    std::string_view modifier;
    if (const auto at = locale.find('@'); at != std::string_view::npos) {
        modifier = locale.substr(at);
        locale = locale.substr(0, at);
    }
    if (const auto dot = locale.find('.'); dot != std::string_view::npos) {
        locale = locale.substr(0, dot);
    }
    std::string_view lang = locale, country;
    if (const auto us = locale.find('_'); us != std::string_view::npos) {
        lang = locale.substr(0, us);
        country = locale.substr(us);
    }
    std::vector<std::string> out;
    if (lang.empty()) return out;
    const auto add = [&](std::string s) {
        if (std::find(out.begin(), out.end(), s) == out.end()) out.push_back(std::move(s));
    };
    if (!country.empty() && !modifier.empty()) {
        add(std::string(lang) + std::string(country) + std::string(modifier));
    }
    if (!country.empty()) add(std::string(lang) + std::string(country));
    if (!modifier.empty()) add(std::string(lang) + std::string(modifier));
    add(std::string(lang));
    return out;
}

}  // namespace pivorel
