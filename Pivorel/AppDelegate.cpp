#include "Pivorel/AppDelegate.h"
#include "Pivorel/Linux/SingleInstance.h"

#include <iostream>
#include <sstream>

#include <QAction>
#include <QApplication>
#include <algorithm>

#include "BrisendoKit/Actions/ActionAvailability.h"
#include "BrisendoKit/Actions/ActionConfigStore.h"
#include "BrisendoKit/BarPanel/BarController.h"
#include "BrisendoKit/BarPanel/PanelController.h"
#include "BrisendoKit/Content/DateExtractor.h"
#include "BrisendoKit/Coordinator/ActionPerformer.h"
#include "BrisendoKit/Coordinator/AppController.h"
#include "BrisendoKit/Coordinator/HotKeyResponder.h"
#include "BrisendoKit/Coordinator/LinkDispatcher.h"
#include "BrisendoKit/Coordinator/SelectionWatcher.h"
#include "BrisendoKit/Localization/L.h"
#include "BrisendoKit/Localization/LanguageStore.h"
#include "BrisendoKit/Localization/Localizer.h"
#include "BrisendoKit/Platform/OnDeviceTranslator.h"
#include "BrisendoKit/Selection/SelectionReader.h"
#include "BrisendoKit/Shell/PermissionGuide.h"
#include "BrisendoKit/Shell/RelaunchContinuation.h"
#include "BrisendoKit/Storage/Credentials.h"
#include "BrisendoKit/Storage/HistoryWriter.h"
#include "BrisendoKit/Storage/LegacyMigration.h"
#include "BrisendoKit/Storage/Store.h"
#include "BrisendoKit/Support/AppIdentity.h"
#include "BrisendoKit/Support/Calendar.h"
#include "BrisendoKit/Support/FileIO.h"
#include "BrisendoKit/Support/Log.h"
#include "BrisendoKit/Support/UserDefaults.h"
#include "Pivorel/Bar/BarPanel.h"
#include "Pivorel/Linux/DesktopCalendars.h"
#include "Pivorel/GnomeWayland/GnomeWaylandDesktop.h"
#include "Pivorel/GnomeWayland/ShellExtension.h"
#include "Pivorel/Linux/DesktopColorScheme.h"
#include "Pivorel/Linux/DesktopTargetsWatch.h"
#include "Pivorel/Linux/FileReveal.h"
#include "Pivorel/Linux/LinuxDesktop.h"
#include "Pivorel/Linux/LinuxDesktopTargets.h"
#include "Pivorel/Linux/SecretServiceStore.h"
#include "Pivorel/Linux/WindowServer.h"
#include "Pivorel/Look/PivorelStyle.h"
#include "Pivorel/Panel/FloatingPanel.h"
#include "Pivorel/QtMainQueue.h"
#include "Pivorel/ShellServices.h"
#include "Pivorel/Tray/Tray.h"

namespace pivorel {

namespace {

// The name the guide's texts and log lines use: the application's, as the desktop knows it.
std::string productName() {
    const auto name = QCoreApplication::applicationName().toStdString();
    return name.empty() ? PermissionGuide::defaultProductName() : name;
}

}  // namespace

AppDelegate::AppDelegate(Options options)
    : options_(std::move(options)),
      settings_(UserDefaults::standard()),
      credentials_(std::make_shared<SecretServiceStore>()),
      queue_(std::make_unique<QtMainQueue>()),
      availability_(std::make_shared<ActionAvailability>()),
      targets_(std::make_unique<LinuxDesktopTargets>()) {
    workers_.setMaxThreadCount(1);
    // The interface language is the one these settings hold.
    Localizer::setPreferenceDefaults(settings_.defaults());
}

AppDelegate::~AppDelegate() {
    SecretServiceStore::stopWaiting();
    self_.reset();
    observers_.clear();
    reads_.stop();
    workers_.waitForDone();
    if (desktop_) desktop_->unregisterHotKey();
}

int AppDelegate::start() {
    followDesktopLook();
    // The updater opens its pages through the desktop, so the desktop comes first.
    auto desktop = connectDesktop();
    if (!desktop) {
        Log::write("Pivorel: 连不上桌面 " + desktop.error());
        return 1;
    }
    desktop_ = std::move(*desktop);
    auto& workspace = desktop_->workspace();

    services_ = std::make_unique<ShellServices>(settings_.defaults(), *queue_, clock_, workspace,
                                                credentials_);
    services_->setActionAvailability(availability_);
    const auto weak = self_.guard();
    auto& queue = *queue_;
    observers_.push_back(services_->pendingUpdateChanged().connect([weak, &queue] {
        queue.post([weak] {
            if (auto* self = weak.get()) self->refreshStats();
        });
    }));
    if (options_.updaterOnly) {
        services_->runUpdaterOnly();
        return 0;
    }
    PermissionGuide::setProductName(productName());

    // Files of older versions were readable by every local user.
    fileio::makePrivate(AppIdentity::supportDirectory());
    fileio::makePrivate(settings_.defaults()->file());
    {
        auto migration = LegacyMigration::production(credentials_.store());
        Log::write("Pivorel: 旧版数据迁移 " + migration.runFast().summary());
    }
    RelaunchContinuation::resumeAtStartup(clock_.now());

    auto history = Store::openForProgram(Store::defaultPath(), clock_.now());
    if (history.movedAside) {
        Log::write("Pivorel: 数据库已损坏，已移到 " + history.movedAside->filename().string() +
                   "，重新建立");
    }
    historyInMemory_ = history.unusable.has_value() && !history.locked;
    if (history.locked) {
        Log::write("Pivorel: 数据库被其他程序占用 " + history.unusable->describe() + "，稍后再试");
    } else if (history.unusable) {
        Log::write("Pivorel: 打不开数据库 " + history.unusable->describe() +
                   "，本次运行不保存历史");
    }
    if (!history.store) return 1;
    store_ = std::move(history.store);
    writer_ = std::make_unique<HistoryWriter>(*store_, *queue_);
    if (history.locked) writer_->openWhenFree(Store::defaultPath());

    barWindow_ = std::make_unique<BarPanel>();
    panelWindow_ = std::make_unique<FloatingPanel>(&desktop_->pasteboard());
    bar_ = std::make_unique<BarController>(*barWindow_, workspace);
    panel_ =
        std::make_unique<PanelController>(*panelWindow_, workspace, desktop_->input(), *queue_);
    controller_ = std::make_unique<AppController>(*store_, ActionConfigStore{}, *bar_, *panel_,
                                                  workspace, clock_);
    reader_ = std::make_unique<SelectionReader>(desktop_->accessibility(), workspace,
                                                desktop_->pasteboard());
    performer_ = std::make_unique<ActionPerformer>(ActionPerformer::Services{
        *controller_, *reader_, desktop_->pasteboard(), workspace, settings_, *queue_, clock_,
        [settings = settings_] {
            return DesktopCalendars::reminders(settings.remindersFolder(), {});
        },
        [] { return DesktopCalendars::calendar({}); }, OnDeviceTranslator::platformDefault(),
        credentials_, targets_.get()});
    controller_->setPerformer(performer_.get());
    controller_->setAvailability(availability_.get());
    // Until the first look answers, every action counts as there.
    targetsWatch_ = std::make_unique<DesktopTargetsWatch>(
        *targets_, [availability = availability_](const DesktopTargets::Presence& presence) {
            availability->setUnavailable(ActionAvailability::missing(presence));
            std::string names;
            for (const auto& id : availability->unavailable())
                names += (names.empty() ? "" : ",") + id.rawValue;
            Log::write("Pivorel: 不可用的动作 " + (names.empty() ? "无" : names));
        });
    targetsWatch_->start();
    controller_->setHistoryWriter(writer_.get());
    watcher_ = std::make_unique<SelectionWatcher>(*controller_, *store_, settings_, *reader_,
                                                  desktop_->input(), workspace, *queue_, clock_,
                                                  reads_.runner());
    links_ = std::make_unique<LinkDispatcher>(*controller_, workspace);
    observers_.push_back(controller_->statsChanged.connect([this] { refreshStats(); }));

    hotKey_ = std::make_unique<HotKeyResponder>(
        *watcher_, *reader_, *controller_, workspace, *queue_,
        [desktop = desktop_.get()](std::uint32_t code, std::uint32_t mods,
                                   std::function<void()> pressed) {
            return desktop->registerHotKey(code, mods, std::move(pressed));
        });

    tray_ = std::make_unique<Tray>();
    observers_.push_back(tray_->chosen.connect([this](StatusMenuModel::ItemID id) { choose(id); }));
    observers_.push_back(tray_->aboutToShow.connect([this] {
        refreshMenu();
        checkLegacySecrets();
    }));
    populateMenu();
    const bool inTray = tray_->install();

    registerHotKey();
    watcher_->start();
    refreshStats();
    refreshConflict();
    installObservers();
    ensureAccessibility();
    startSecretsMigration();
    services_->startUpdater();

    Log::write(std::string("Pivorel: 启动完成 托盘=") + (inTray ? "有" : "无") +
               " 快捷键=" + (hotKey_->isRegistered() ? hotKey_->spec()->display() : "无"));
    if (options_.link) open(*options_.link, [](const std::optional<std::string>&) {});
    return 0;
}

void AppDelegate::open(const std::string& link, AppController::Answer answer) {
    if (!links_) return answer(std::string("not started"));
    links_->dispatch(link, std::move(answer));
}

Result<std::unique_ptr<LinuxDesktop>, std::string> AppDelegate::connectDesktop() {
    using Session = ShellExtension::Session;
    const Session session = ShellExtension::currentSession();
    if (session == Session::gnomeWayland && ShellExtension::running()) {
        auto shell = GnomeWaylandDesktop::connect(*queue_);
        if (shell) {
            Log::write("Pivorel: Wayland 会话，输入来自 GNOME Shell 扩展");
            return shell;
        }
        Log::write("Pivorel: GNOME Shell 扩展用不了 " + shell.error());
    } else if (session == Session::gnomeWayland) {
        Log::write(
            "Pivorel: Wayland 会话没有 GNOME Shell 扩展，只看得到 X11 应用里的选择；"
            "pivorel --install-gnome-extension 装上后重新登录");
        extensionOffer_ = ExtensionOffer::offered;
    } else if (session == Session::otherWayland) {
        Log::write("Pivorel: 这个 Wayland 桌面只看得到 X11 应用里的选择");
    }
    return LinuxDesktop::connect(*queue_);
}

void AppDelegate::addExtensionItem() {
    if (!tray_ || extensionOffer_ == ExtensionOffer::none) return;
    QMenu& menu = tray_->menu();
    QAction* first = menu.actions().isEmpty() ? nullptr : menu.actions().first();
    const std::string text = extensionOffer_ == ExtensionOffer::installed
                                 ? L("GNOME 扩展已装好，重新登录后生效")
                             : extensionOffer_ == ExtensionOffer::failed
                                 ? L("GNOME 扩展没装上，详情见日志")
                                 : L("在 Wayland 应用里也弹出小条：安装 GNOME 扩展");
    // Owned by the menu: populating it afresh removes it with the rest.
    auto* action = new QAction(QString::fromStdString(text), &menu);
    action->setEnabled(extensionOffer_ != ExtensionOffer::installed);
    connect(action, &QAction::triggered, this, [this] { installExtension(); });
    menu.insertAction(first, action);
    menu.insertSeparator(first);
}

void AppDelegate::installExtension() {
    std::ostringstream report;
    const bool ok = ShellExtension::install(report);
    std::string lines = report.str();
    std::replace(lines.begin(), lines.end(), '\n', ' ');
    Log::write("Pivorel: 安装 GNOME Shell 扩展 " + lines);
    extensionOffer_ = ok ? ExtensionOffer::installed : ExtensionOffer::failed;
    populateMenu();
}

// ---- the menu

StatusMenuModel::Inputs AppDelegate::menuInputs() {
    StatusMenuModel::Inputs in;
    in.today = today_;
    in.historyInMemory = historyInMemory_;
    in.barSummary = barSummary_;
    in.barEnabled = settings_.enabled();
    in.pausedUntil = settings_.pausedUntil();
    if (services_) in.pendingUpdate = services_->pendingUpdateVersion();
    in.trusted = desktop_ ? desktop_->accessibility().isTrusted() : false;
    in.popclipRunning = popclipRunning_;
    in.legacySecretsPending = legacySecretsPending_;
    in.onDeviceTranslator = OnDeviceTranslator::platformDefault()->hasEngine();
    in.hotkeyDisplay =
        (hotKey_ && hotKey_->spec() ? *hotKey_->spec() : settings_.hotkey()).display();
    in.now = clock_.now();
    return in;
}

void AppDelegate::populateMenu() {
    if (!tray_) return;
    const auto in = menuInputs();
    tray_->populate(StatusMenuModel::items(in));
    addExtensionItem();
    updateTray();
}

void AppDelegate::refreshStats() {
    if (!store_) return;
    // A failed count shows as none.
    today_ = TodayStats{};
    if (const auto calendar = currentCalendar()) {
        today_ = store_->todayStats(clock_.now(), *calendar).valueOr(TodayStats{});
    }
    updateTray();
}

void AppDelegate::refreshMenu() {
    if (!tray_ || !store_) return;
    refreshConflict();
    barSummary_ = store_->barSummary().valueOr({});
    // Counted afresh: "today" may have become another day since the last selection.
    refreshStats();
}

void AppDelegate::updateTray() {
    if (!tray_) return;
    const auto in = menuInputs();
    tray_->update(StatusMenuModel::items(in), StatusMenuModel::statusTitle(in),
                  in.pendingUpdate.has_value());
}

void AppDelegate::refreshConflict() {
    if (!desktop_) return;
    const auto apps = desktop_->workspace().runningApps();
    const bool running = std::any_of(apps.begin(), apps.end(), [](const RunningApp& app) {
        return app.bundleID == StatusMenuModel::popclipBundleID;
    });
    if (running == popclipRunning_) return;
    popclipRunning_ = running;
    refreshStats();
}

void AppDelegate::choose(StatusMenuModel::ItemID id) {
    using ID = StatusMenuModel::ItemID;
    if (!services_) return;
    switch (id) {
        case ID::updateAvailable:
            services_->updateNow();
            break;
        case ID::toggleBar:
            toggleBar();
            break;
        case ID::togglePause:
            togglePause();
            break;
        case ID::accessibility:
            services_->openAccessibilitySettings();
            break;
        case ID::settings:
            services_->openSettings();
            break;
        case ID::translationPack:
            services_->openTranslationPack();
            break;
        case ID::checkForUpdates:
            services_->checkForUpdates();
            break;
        case ID::importLegacySecrets:
            importLegacySecrets();
            break;
        case ID::revealDatabase:
            revealDatabase();
            break;
        case ID::quit:
            QCoreApplication::quit();
            break;
        default:
            break;
    }
}

void AppDelegate::toggleBar() {
    settings_.setEnabled(!settings_.enabled());
    afterToggle();
}

void AppDelegate::togglePause() {
    settings_.togglePause(clock_.now());
    afterToggle();
}

void AppDelegate::afterToggle() {
    if (watcher_) watcher_->reloadSettings();
    registerHotKey();
    refreshConflict();
    refreshStats();
}

void AppDelegate::registerHotKey() {
    if (!hotKey_ || hotKeySuspended_) return;
    if (hotKey_->update(settings_.hotkey())) refreshStats();
}

void AppDelegate::suspendHotKey(bool suspend) {
    if (suspend == hotKeySuspended_) return;
    hotKeySuspended_ = suspend;
    if (suspend) {
        if (desktop_) desktop_->unregisterHotKey();
        if (hotKey_) hotKey_->forget();
    }
    registerHotKey();
    refreshStats();
}

// ---- observers

void AppDelegate::installObservers() {
    const auto weak = self_.guard();
    auto& queue = *queue_;
    // Settings may change on any thread; they are applied on the main one.
    observers_.push_back(
        settings_.defaults()->changed.connect([weak, &queue](const std::string& key) {
            queue.post([weak, key] {
                if (auto* self = weak.get()) self->defaultsChanged(key);
            });
        }));
    observers_.push_back(LanguageStore::shared().changed.connect([weak, &queue](long long) {
        queue.post([weak] {
            if (auto* self = weak.get()) self->languageChanged();
        });
    }));
    if (services_) {
        observers_.push_back(services_->hotKeyRecording().connect([weak, &queue](bool suspend) {
            queue.post([weak, suspend] {
                if (auto* self = weak.get()) self->suspendHotKey(suspend);
            });
        }));
    }
    // The settings file edited by another process: it is replaced, not written in place, so
    // the folder is watched.
    defaultsWatch_ = std::make_unique<QFileSystemWatcher>();
    const auto file = settings_.defaults()->file();
    defaultsWatch_->addPath(QString::fromStdString(file.parent_path().string()));
    connect(defaultsWatch_.get(), &QFileSystemWatcher::directoryChanged, this,
            [this] { settings_.defaults()->reloadIfChanged(); });
    if (desktop_) {
        observers_.push_back(desktop_->input().observeActivations(
            [this](const std::optional<std::string>&) { refreshConflict(); }));
    }
}

void AppDelegate::defaultsChanged(const std::string& key) {
    if (watcher_) watcher_->reloadSettings();
    registerHotKey();
    refreshConflict();
    // A language chosen in another process arrives as a plain settings change.
    if (key == Localizer::preferenceKey) languageChanged();
}

void AppDelegate::followDesktopLook() {
    PivorelStyle::followLanguage();
    colorScheme_ =
        std::make_unique<DesktopColorScheme>(PivorelStyle::isDark(QApplication::palette()));
    // Every window paints from the application's palette, so one assignment restyles them
    // all, live.
    auto apply = [](bool dark) {
        QApplication::setPalette(PivorelStyle::palette(dark));
        Log::write(std::string("Pivorel: 外观 ") + (dark ? "深色" : "浅色"));
    };
    apply(colorScheme_->dark());
    connect(colorScheme_.get(), &DesktopColorScheme::changed, this, apply);
}

void AppDelegate::languageChanged() {
    PivorelStyle::followLanguage();
    // The settings and language-pack windows retitle themselves.
    populateMenu();
    refreshMenu();
}

// ---- permission and secrets

void AppDelegate::ensureAccessibility() {
    if (services_) services_->ensureAccessibility(!options_.permissionGuide);
}

void AppDelegate::startSecretsMigration() {
    if (!options_.keychainMigration) {
        Log::write("Pivorel: 钥匙串迁移已跳过（--no-keychain-migration）");
        checkLegacySecrets();
        return;
    }
    if (settings_.defaults()->boolValue(LegacyMigration::secretsMarker).value_or(false)) {
        checkLegacySecrets();
        return;
    }
    importLegacySecrets();
}

void AppDelegate::importLegacySecrets() {
    const auto weak = self_.guard();
    auto& queue = *queue_;
    // The keyring may take its time (or wait for an unlock): never on the main thread.
    workers_.start([weak, &queue, secrets = credentials_.store()] {
        const auto report = LegacyMigration::production(secrets).runSecrets();
        Log::write("Pivorel: 钥匙串迁移 " + report.summary());
        const bool pending = !report.secretsPending.empty();
        queue.post([weak, pending] {
            if (auto* self = weak.get()) {
                self->legacySecretsPending_ = pending;
                self->refreshStats();
            }
        });
    });
}

void AppDelegate::checkLegacySecrets() {
    if (checkingLegacy_.exchange(true)) return;
    const auto weak = self_.guard();
    auto& queue = *queue_;
    workers_.start([weak, &queue, secrets = credentials_.store()] {
        const bool pending = !LegacyMigration::production(secrets).pendingSecretAccounts().empty();
        queue.post([weak, pending] {
            if (auto* self = weak.get()) {
                self->checkingLegacy_ = false;
                if (self->legacySecretsPending_ == pending) return;
                self->legacySecretsPending_ = pending;
                self->refreshStats();
            }
        });
    });
}

// ---- the database file

void AppDelegate::revealDatabase() {
    FileReveal::show(Store::defaultPath().string(), this);
}

int runApplication(int argc, char** argv, AppDelegate::Options options) {
    if (!WindowServer::displayReachable()) {
        Log::write("Pivorel: 连不上 X 显示，DISPLAY=" +
                   qEnvironmentVariable("DISPLAY").toStdString());
        return 1;
    }
    // The desktop side speaks X11, also inside a Wayland session (through Xwayland).
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pivorel"));
    QApplication::setQuitOnLastWindowClosed(false);
    const auto link = options.link;
    if (options.updaterOnly) {
        // Beside a running instance too: it neither takes links nor shows anything.
        AppDelegate delegate(std::move(options));
        if (const int status = delegate.start(); status != 0) return status;
        return QApplication::exec();
    }
    // One instance per user: a later `pivorel <link>` hands its link to this one.
    QtMainQueue instanceQueue;
    auto listening = SingleInstance::listen(instanceQueue);
    if (!listening) {
        if (listening.error().kind == SingleInstance::ListenError::Kind::alreadyRunning) {
            if (link) {
                const auto handed = SingleInstance::forward(*link);
                if (handed.outcome == SingleInstance::Forward::forwarded) return 0;
                std::cerr << "pivorel: " << handed.detail << "\n";
                return 1;
            }
            std::cerr << "pivorel: already running\n";
            return 0;
        }
        Log::write("Pivorel: 单实例监听失败 " + listening.error().detail);
    }
    AppDelegate delegate(std::move(options));
    if (const int status = delegate.start(); status != 0) return status;
    if (listening) {
        (*listening)->setLinkHandler([&delegate](const std::string& l, auto answer) {
            delegate.open(l, std::move(answer));
        });
    }
    return QApplication::exec();
}

}  // namespace pivorel
