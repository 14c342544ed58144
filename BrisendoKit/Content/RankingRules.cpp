#include "BrisendoKit/Content/RankingRules.h"

namespace pivorel {

namespace {

RankingRules::BonusMap bonuses(std::initializer_list<std::pair<const char*, double>> entries) {
    RankingRules::BonusMap map;
    for (const auto& [action, bonus] : entries) map.emplace(ActionID(action), bonus);
    return map;
}

}  // namespace

double RankingRules::baseline(std::int64_t position) {
    if (position < 0 || position >= static_cast<std::int64_t>(baselineSlots.size())) return 0;
    return baselineSlots[static_cast<std::size_t>(position)];
}

bool RankingRules::isEligible(const ActionID& action, const ContentProfile& profile) {
    return action.rawValue != "openURL" || profile.has(ContentKind::url);
}

const std::map<ContentKind, RankingRules::BonusMap>& RankingRules::kindBonus() {
    static const std::map<ContentKind, BonusMap> table{
        {ContentKind::url, bonuses({{"openURL", 100},
                                    {"copy", 15},
                                    {"flomo", 15},
                                    {"dayOne", 10},
                                    {"google", -10},
                                    {"kagi", -10},
                                    {"translate", -20}})},
        {ContentKind::dateTime, bonuses({{"calendar", 80}, {"todo", 30}})},
        {ContentKind::todoLike, bonuses({{"todo", 80}, {"calendar", 25}, {"flomo", 5}})},
        {ContentKind::english, bonuses({{"translate", 50}, {"lookup", 20}, {"ask", 10}})},
        {ContentKind::chinese, bonuses({{"ask", 15}, {"flomo", 10}, {"translate", -10}})},
        {ContentKind::shortPhrase,
         bonuses({{"google", 25}, {"translate", 20}, {"ask", 20}, {"lookup", 15}, {"kagi", 10}})},
        {ContentKind::sentence, bonuses({{"ask", 20}, {"flomo", 15}})},
        {ContentKind::longParagraph, bonuses({{"ask", 40},
                                              {"flomo", 30},
                                              {"translate", 15},
                                              {"dayOne", 15},
                                              {"google", -15},
                                              {"kagi", -15}})},
    };
    return table;
}

const RankingRules::BonusMap& RankingRules::editableBonus() {
    static const BonusMap table = bonuses({{"cut", 90}, {"paste", 70}, {"copy", 60}});
    return table;
}

const std::vector<RankingRules::AppGroup>& RankingRules::appGroups() {
    static const std::vector<AppGroup> groups{
        // Browsers.
        {{"com.apple.Safari", "com.google.Chrome", "com.microsoft.edgemac",
          "company.thebrowser.Browser", "org.mozilla.firefox", "com.brave.Browser",
          "com.vivaldi.Vivaldi"},
         bonuses({{"google", 10}, {"kagi", 10}, {"translate", 10}, {"flomo", 10}, {"dayOne", 5}})},
        // Mail.
        {{"com.apple.mail", "com.microsoft.Outlook", "com.readdle.smartemail-Mac"},
         bonuses({{"todo", 25}, {"calendar", 20}})},
        // Chat.
        {{"com.apple.MobileSMS", "com.tencent.xinWeChat", "com.electron.lark",
          "com.bytedance.macos.feishu", "com.tinyspeck.slackmacgap", "ru.keepcoder.Telegram"},
         bonuses({{"todo", 20}, {"calendar", 20}})},
        // Developer tools and terminals.
        {{"com.apple.dt.Xcode", "com.apple.Terminal", "com.googlecode.iterm2",
          "com.microsoft.VSCode", "com.todesktop.230313mzl4w4u92", "dev.warp.Warp-Stable",
          "com.mitchellh.ghostty"},
         bonuses({{"ask", 30}, {"google", 10}, {"copy", 5}})},
        // Readers.
        {{"com.apple.iBooksX", "com.apple.Preview", "com.amazon.Kindle",
          "com.readdle.PDFExpert-Mac"},
         bonuses({{"translate", 20}, {"ask", 15}, {"dayOne", 15}, {"flomo", 15}})},
        // Notes and tasks.
        {{"com.apple.Notes", "md.obsidian", "com.culturedcode.ThingsMac"}, bonuses({{"todo", 10}})},
    };
    return groups;
}

const std::vector<std::vector<std::string>>& RankingRules::linuxAppGroups() {
    // Distribution packages, Flatpak ids and upstream desktop files of the same programs
    // (or their closest Linux equivalents). A Flatpak id that equals a macOS identifier is
    // listed in both tables; that is harmless.
    static const std::vector<std::vector<std::string>> groups{
        // Browsers.
        {"firefox", "firefox-esr", "org.mozilla.firefox", "google-chrome", "com.google.Chrome",
         "chromium", "chromium-browser", "org.chromium.Chromium", "microsoft-edge",
         "com.microsoft.Edge", "brave-browser", "com.brave.Browser", "vivaldi-stable",
         "com.vivaldi.Vivaldi", "epiphany", "org.gnome.Epiphany"},
        // Mail.
        {"thunderbird", "org.mozilla.Thunderbird", "evolution", "org.gnome.Evolution",
         "org.kde.kmail2"},
        // Chat.
        {"org.telegram.desktop", "telegramdesktop", "slack", "com.slack.Slack", "signal-desktop",
         "org.signal.Signal", "discord", "com.discordapp.Discord", "wechat", "feishu", "lark"},
        // Developer tools and terminals.
        {"org.gnome.Terminal",
         "org.gnome.Console",
         "org.kde.konsole",
         "xfce4-terminal",
         "com.gexperts.Tilix",
         "terminator",
         "xterm",
         "uxterm",
         "debian-xterm",  // Debian's own desktop files for xterm
         "debian-uxterm",
         "kitty",
         "Alacritty",
         "org.wezfurlong.wezterm",
         "com.mitchellh.ghostty",
         "dev.warp.Warp",
         "code",
         "code-oss",
         "com.visualstudio.code",
         "codium",
         "com.vscodium.codium",
         "cursor",
         "jetbrains-idea",
         "jetbrains-idea-ce",
         "jetbrains-pycharm",
         "jetbrains-pycharm-ce",
         "jetbrains-clion",
         "jetbrains-goland",
         "jetbrains-webstorm",
         "jetbrains-rider",
         "jetbrains-rustrover",
         "jetbrains-phpstorm"},
        // Readers.
        {"org.gnome.Evince", "evince", "okular", "org.kde.okular", "org.gnome.Papers",
         "calibre-ebook-viewer", "xreader", "com.github.johnfactotum.Foliate"},
        // Notes and tasks.
        {"obsidian", "md.obsidian.Obsidian", "org.gnome.Notes", "joplin",
         "net.cozic.joplin_desktop", "logseq", "com.logseq.Logseq"},
    };
    return groups;
}

}  // namespace pivorel
