#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "BrisendoKit/BarPanel/BarModel.h"
#include "BrisendoKit/BarPanel/PanelModel.h"
#include "BrisendoKit/Platform/Accessibility.h"
#include "BrisendoKit/Platform/BarWindow.h"
#include "BrisendoKit/Platform/InputMonitor.h"
#include "BrisendoKit/Platform/PanelWindow.h"
#include "BrisendoKit/Platform/PasteboardLike.h"
#include "BrisendoKit/Platform/Workspace.h"
#include "BrisendoKit/Support/Signal.h"
#include "BrisendoKit/Support/Text.h"

// Small stand-ins for the desktop ports: plain state that a test sets and reads back.
namespace pivorel::test {

class FakeWorkspace final : public Workspace {
  public:
    std::optional<std::string> front;
    std::vector<RunningApp> running;
    std::vector<std::string> openable = {"http", "https", "dict"};  // schemes with a handler
    std::vector<std::string> opened;
    Point pointer{500, 500};
    std::vector<Screen> screenList{{{0, 0, 1440, 900}, {0, 0, 1440, 875}}};
    std::optional<std::size_t> main = 0;
    std::map<std::string, std::string> names;

    std::optional<std::string> frontmostApp() override {
        std::lock_guard lock(mutex_);
        return front;
    }
    std::vector<RunningApp> runningApps() override { return running; }
    bool canOpen(const std::string& url) override {
        const auto colon = url.find(':');
        if (colon == std::string::npos) return false;
        const auto scheme = url.substr(0, colon);
        for (const auto& s : openable)
            if (s == scheme) return true;
        return false;
    }
    void open(const std::string& url) override { opened.push_back(url); }
    Point pointerLocation() override { return pointer; }
    std::vector<Screen> screens() override { return screenList; }
    std::optional<std::size_t> mainScreen() override { return main; }
    std::optional<std::string> displayName(const std::string& bundleID) override {
        const auto trimmed = text::trim(bundleID);
        if (trimmed.empty()) return std::nullopt;
        if (auto it = names.find(trimmed); it != names.end()) return it->second;
        return trimmed;
    }
    void setFront(std::optional<std::string> app) {
        std::lock_guard lock(mutex_);
        front = std::move(app);
    }

  private:
    std::mutex mutex_;
};

class FakeInputMonitor final : public InputMonitor {
  public:
    Signal<const GestureEvent&> gestures;
    Signal<Point> moves;
    Signal<> downs;
    Signal<const std::optional<std::string>&> activations;

    Connection monitorGestures(GestureHandler handler) override {
        return gestures.connect(std::move(handler));
    }
    Connection monitorMouseMoves(MoveHandler handler) override {
        return moves.connect(std::move(handler));
    }
    Connection monitorMouseDowns(PressHandler handler) override {
        return downs.connect(std::move(handler));
    }
    Connection observeActivations(ActivationHandler handler) override {
        return activations.connect(std::move(handler));
    }
};

// Answers from fields; safe to read from the watcher's worker thread while the test thread
// waits.
class FakeAccessibility final : public Accessibility {
  public:
    bool trusted = true;
    std::optional<std::string> role;  // at any point
    std::optional<std::string> systemText;
    std::optional<std::string> appText;
    std::optional<std::string> focusRole;
    std::optional<std::string> focusSubrole;
    bool settable = false;
    bool hidden = false;  // a web page that keeps its focus to itself
    std::optional<std::string> document;
    // Per application and key: the answer of pressMenu (absent: no such item).
    std::map<std::pair<std::string, char>, std::optional<bool>> menus;
    // Run when a menu item is pressed (a Copy that fills the fake pasteboard, say).
    std::function<void(const std::string& app, char key)> onPress;
    // Run at the start of each selectedText call (a test may block the read there).
    std::function<void()> whileReading;
    std::vector<std::pair<std::string, char>> presses;
    std::vector<Point> roleQueries;

    bool isTrusted() override { return trusted; }
    std::optional<std::string> roleAt(Point point) override {
        roleQueries.push_back(point);
        return role;
    }
    std::optional<std::string> selectedText(Scope scope, const std::optional<std::string>&,
                                            std::size_t) override {
        if (whileReading) whileReading();
        return scope == Scope::systemWide ? systemText : appText;
    }
    std::optional<std::string> focusedRole(const std::optional<std::string>&) override {
        return focusRole;
    }
    std::optional<std::string> focusedSubrole(const std::optional<std::string>&) override {
        return focusSubrole;
    }
    bool isSelectedTextSettable(const std::optional<std::string>&) override { return settable; }
    bool focusHidden(const std::optional<std::string>&) override { return hidden; }
    std::optional<std::string> documentURL(const std::optional<std::string>&) override {
        return document;
    }
    std::optional<bool> pressMenu(const std::string& app, char key) override {
        presses.emplace_back(app, key);
        auto it = menus.find({app, key});
        if (it == menus.end()) return std::nullopt;
        if (it->second == true && onPress) onPress(app, key);
        return it->second;
    }
};

class FakePasteboard final : public PasteboardLike {
  public:
    std::int64_t count = 0;
    std::vector<Item> items;
    int restores = 0;

    std::int64_t changeCount() override { return count; }
    std::vector<Item> snapshot() override { return items; }
    void restore(const std::vector<Item>& saved) override {
        items = saved;
        ++count;
        ++restores;
    }
    std::optional<std::string> string() override {
        for (const auto& item : items)
            if (auto it = item.find("UTF8_STRING"); it != item.end()) return it->second;
        return std::nullopt;
    }
    void setString(const std::string& text) override {
        items = {{{"UTF8_STRING", text}}};
        ++count;
    }
};

class FakeBarWindow final : public BarWindow {
  public:
    std::shared_ptr<BarModel> content;
    Rect currentFrame;
    bool visible = false;
    int shows = 0;

    void hide() override {
        visible = false;
        content.reset();
    }
    // The drawn strip: 3 points of padding, 24 per item with 1 between, a divider and "…".
    Size setContent(std::shared_ptr<BarModel> model) override {
        content = std::move(model);
        const double n = content ? static_cast<double>(content->items().size()) : 0;
        return {3 + n * 25 + 1 + 1 + 20 + 3 + 28, 28 + 28};
    }
    void setFrame(Rect frame) override { currentFrame = frame; }
    Rect frame() const override { return currentFrame; }
    void orderFront() override {
        visible = true;
        ++shows;
    }
    bool isVisible() const override { return visible; }
    std::int64_t windowNumber() const override { return visible ? 42 : 0; }
};

class FakePanelWindow final : public PanelWindow {
  public:
    std::shared_ptr<PanelModel> content;
    Rect currentFrame;
    bool visible = false;
    bool key = false;
    KeyHandler keyHandler;

    void hide() override {
        visible = false;
        key = false;
    }
    void setContent(std::shared_ptr<PanelModel> model) override { content = std::move(model); }
    // 340 wide for the list and notices, 460 x 400 for a conversation, plus the margins.
    Size fittingSize() override {
        if (!content) return {};
        if (content->mode().isAsk()) return {460 + 36, 400 + 36};
        if (content->mode().isNotice()) return {340 + 36, 60 + 36};
        return {340 + 36, 40.0 * static_cast<double>(content->rows().size()) + 70 + 36};
    }
    void setFrame(Rect frame) override { currentFrame = frame; }
    Rect frame() const override { return currentFrame; }
    void orderFrontAndMakeKey() override {
        visible = true;
        key = true;
    }
    void orderFront() override {
        visible = true;
        key = false;
    }
    bool isVisible() const override { return visible; }
    bool isKeyWindow() const override { return key; }
    void setKeyHandler(KeyHandler handler) override { keyHandler = std::move(handler); }

    bool press(std::uint16_t keyCode, std::string chars = {}, std::uint64_t flags = 0) {
        return keyHandler && keyHandler(KeyEvent{keyCode, flags, std::move(chars)});
    }
};

}  // namespace pivorel::test
