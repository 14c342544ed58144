#include "ShellServices.h"

#include <string_view>

#include "Support/Log.h"

namespace pivorel {

namespace {

class PlaceholderServices final : public ShellServices {
  public:
    void openSettings() override { missing("settings window"); }
    void openTranslationPack() override { missing("translation packs"); }
    void checkForUpdates() override { missing("update check"); }
    void updateNow() override { missing("update"); }
    std::optional<std::string> pendingUpdateVersion() override { return std::nullopt; }
    void openPermissionGuide(const std::string&) override { missing("permission guide"); }
    void openAccessibilitySettings() override { missing("accessibility settings"); }
    void languageChanged() override {}

  private:
    static void missing(std::string_view what) {
        Log::write("Pivorel: " + std::string(what) + " not yet available");
    }
};

}  // namespace

std::unique_ptr<ShellServices> ShellServices::placeholder() {
    return std::make_unique<PlaceholderServices>();
}

}  // namespace pivorel
