#include "Pivorel/Linux/X11Clipboard.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>

#include "BrisendoKit/Support/Text.h"
#include "Pivorel/Linux/X11Selections.h"

namespace pivorel {

namespace {

constexpr auto readLimit = std::chrono::milliseconds(300);
constexpr std::size_t maxTargets = 64;
constexpr std::string_view utf8Target = "UTF8_STRING";

constexpr std::array<std::string_view, 26> metaTargets{"TARGETS",
                                                       "MULTIPLE",
                                                       "TIMESTAMP",
                                                       "SAVE_TARGETS",
                                                       "DELETE",
                                                       "INSERT_SELECTION",
                                                       "INSERT_PROPERTY",
                                                       "LENGTH",
                                                       "LIST_LENGTH",
                                                       "HOSTNAME",
                                                       "USER",
                                                       "CLIENT_WINDOW",
                                                       "NAME",
                                                       "PROCESS",
                                                       "TASK",
                                                       "OWNER_OS",
                                                       "IP_ADDRESS",
                                                       "DRAWABLE",
                                                       "PIXMAP",
                                                       "BITMAP",
                                                       "COLORMAP",
                                                       "SPAN",
                                                       "ATOM_PAIR",
                                                       "_QT_SELECTION",
                                                       "_GTK_CLIPBOARD_SAVE",
                                                       "_GNOME_FILE_MANAGER_INTERNAL"};

// ISO 8859-1 to UTF-8, for owners that only offer STRING.
std::string latin1ToUtf8(std::string_view bytes) {
    std::string out;
    for (unsigned char c : bytes) text::appendUtf8(out, c);
    return out;
}

// UTF-8 to ISO 8859-1 when every character fits.
std::optional<std::string> utf8ToLatin1(std::string_view s) {
    std::string out;
    for (std::size_t i = 0; i < s.size();) {
        const char32_t c = text::decodeNext(s, i);
        if (c > 0xff) return std::nullopt;
        out.push_back(static_cast<char>(c));
    }
    return out;
}

}  // namespace

X11Clipboard::X11Clipboard(X11Selections& selections) : selections_(selections) {}

bool X11Clipboard::isMetaTarget(std::string_view target) {
    return std::find(metaTargets.begin(), metaTargets.end(), target) != metaTargets.end();
}

std::int64_t X11Clipboard::changeCount() {
    return selections_.changes(selections_.atom("CLIPBOARD")).count;
}

std::vector<std::string> X11Clipboard::targetNames() {
    std::vector<std::string> names;
    const auto list = selections_.convert(selections_.atom("CLIPBOARD"),
                                          selections_.atom("TARGETS"), readLimit, 4 * 1024);
    if (!list || list->format != 32) return names;
    std::vector<xcb_atom_t> atoms(list->bytes.size() / 4);
    if (!atoms.empty()) std::memcpy(atoms.data(), list->bytes.data(), atoms.size() * 4);
    for (xcb_atom_t a : atoms) {
        if (names.size() >= maxTargets) break;
        std::string name = selections_.atomName(a);
        if (name.empty() || std::find(names.begin(), names.end(), name) != names.end()) continue;
        names.push_back(std::move(name));
    }
    return names;
}

std::vector<PasteboardLike::Item> X11Clipboard::snapshot() {
    const xcb_atom_t clipboard = selections_.atom("CLIPBOARD");
    Item item;
    std::size_t total = 0;
    for (const auto& name : targetNames()) {
        if (isMetaTarget(name)) continue;
        auto data =
            selections_.convert(clipboard, selections_.atom(name), readLimit, maxTargetBytes + 1);
        // A target cut short would come back broken: leave it out.
        if (!data || data->truncated || data->bytes.size() > maxTargetBytes) continue;
        if (total + data->bytes.size() > maxSnapshotBytes) continue;
        total += data->bytes.size();
        {
            std::lock_guard lock(mutex_);
            kinds_[name] = {data->type, data->format};
        }
        item.emplace(name, std::move(data->bytes));
    }
    if (item.empty()) {
        // An owner that lists no targets may still give text.
        if (auto plain = text(utf8Target)) item.emplace(std::string(utf8Target), *plain);
    }
    if (item.empty()) return {};
    return {std::move(item)};
}

void X11Clipboard::restore(const std::vector<Item>& items) {
    const xcb_atom_t clipboard = selections_.atom("CLIPBOARD");
    std::map<xcb_atom_t, X11Selections::Data> offers;
    // The X clipboard holds one item: later items only add targets the first lacks.
    for (const auto& item : items) {
        for (const auto& [name, bytes] : item) {
            if (isMetaTarget(name)) continue;
            const xcb_atom_t target = selections_.atom(name);
            if (target == XCB_ATOM_NONE || offers.count(target)) continue;
            X11Selections::Data data;
            data.type = target;
            data.format = 8;
            {
                std::lock_guard lock(mutex_);
                if (auto it = kinds_.find(name); it != kinds_.end()) {
                    data.type = it->second.first;
                    data.format = it->second.second;
                }
            }
            data.bytes = bytes;
            offers.emplace(target, std::move(data));
        }
    }
    if (offers.empty()) {
        selections_.clear(clipboard);
        return;
    }
    selections_.own(clipboard, std::move(offers));
}

std::optional<std::string> X11Clipboard::text(std::string_view target) {
    auto data = selections_.convert(selections_.atom("CLIPBOARD"), selections_.atom(target),
                                    readLimit, maxTargetBytes);
    if (!data || data->format != 8) return std::nullopt;
    if (target == "STRING") return latin1ToUtf8(data->bytes);
    return text::repairUtf8(data->bytes);
}

bool X11Clipboard::holdsSecret() {
    const auto names = targetNames();
    if (std::find(names.begin(), names.end(), passwordHint) == names.end()) return false;
    auto hint = selections_.convert(selections_.atom("CLIPBOARD"), selections_.atom(passwordHint),
                                    readLimit, 64);
    // A hint we cannot read is taken at its word.
    return !hint || text::trim(hint->bytes) == "secret";
}

std::optional<std::string> X11Clipboard::string() {
    if (holdsSecret()) return std::nullopt;
    for (std::string_view target :
         {utf8Target, std::string_view("text/plain;charset=utf-8"), std::string_view("STRING")}) {
        if (auto s = text(target)) return s;
    }
    return std::nullopt;
}

void X11Clipboard::setString(const std::string& value) {
    const std::string utf8 = text::repairUtf8(value);
    std::map<xcb_atom_t, X11Selections::Data> offers;
    const auto add = [&](std::string_view target, std::string_view type, std::string bytes) {
        offers.emplace(selections_.atom(target),
                       X11Selections::Data{selections_.atom(type), 8, std::move(bytes), false});
    };
    add(utf8Target, utf8Target, utf8);
    add("text/plain;charset=utf-8", "text/plain;charset=utf-8", utf8);
    add("TEXT", utf8Target, utf8);
    if (auto latin1 = utf8ToLatin1(utf8)) add("STRING", "STRING", *latin1);
    selections_.own(selections_.atom("CLIPBOARD"), std::move(offers));
}

}  // namespace pivorel
