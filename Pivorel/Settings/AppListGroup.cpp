#include "Pivorel/Settings/AppListGroup.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QToolButton>
#include <QVBoxLayout>

#include "BrisendoKit/Localization/L.h"
#include "BrisendoKit/Localization/LanguageStore.h"
#include "BrisendoKit/Platform/Workspace.h"
#include "BrisendoKit/Support/FileIO.h"
#include "Pivorel/Linux/AppNames.h"
#include "Pivorel/Linux/DesktopEntry.h"
#include "Pivorel/Look/PivorelStyle.h"
#include "Pivorel/Settings/SettingsWidgets.h"

namespace pivorel {

using W = SettingsWidgets;

namespace {

constexpr int iconSize = 20;
constexpr std::size_t maxDesktopFileBytes = 1u << 20;

}  // namespace

QIcon AppListGroup::appIcon(const std::string& bundleID) {
    for (const auto& dir : AppNames::dataDirectories()) {
        const auto bytes =
            fileio::readFile(dir / "applications" / (bundleID + ".desktop"), maxDesktopFileBytes);
        if (!bytes) continue;
        const auto icon = DesktopEntry::parse(*bytes).value("Icon");
        if (!icon || icon->empty()) break;
        const QString name = W::qs(*icon);
        if (QFileInfo(name).isAbsolute()) {
            if (QFileInfo::exists(name)) return QIcon(name);
        } else if (QIcon::hasThemeIcon(name)) {
            return QIcon::fromTheme(name);
        } else {
            // Icons outside any theme.
            for (const char* ext : {".png", ".svg", ".xpm"}) {
                const QString file = QStringLiteral("/usr/share/pixmaps/") + name + ext;
                if (QFileInfo::exists(file)) return QIcon(file);
            }
        }
        break;
    }
    return W::symbolIcon("macwindow", iconSize,
                         PivorelStyle::secondary(QGuiApplication::palette()));
}

AppListGroup::AppListGroup(ApplicationsListModel::Kind kind, BarSettings settings,
                           Workspace* workspace, QWidget* parent)
    : QWidget(parent), model_(kind, std::move(settings)), workspace_(workspace) {
    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(0, 0, 0, 0);
    page->setSpacing(6);
    title_ = W::label(this, 14, false, true);
    page->addWidget(title_);

    QVBoxLayout* box = nullptr;
    page->addWidget(W::card(this, &box));
    rows_ = new QVBoxLayout;
    rows_->setSpacing(4);
    box->addLayout(rows_);
    empty_ = W::label(this, 12.5, true);
    box->addWidget(empty_);
    box->addWidget(W::separator(this));

    auto* addRow = new QHBoxLayout;
    running_ = new QToolButton(this);
    running_->setPopupMode(QToolButton::InstantPopup);
    running_->setToolButtonStyle(Qt::ToolButtonTextOnly);
    auto* menu = new QMenu(running_);
    running_->setMenu(menu);
    connect(menu, &QMenu::aboutToShow, this, [this] { fillRunningMenu(); });
    manual_ = new QLineEdit(this);
    addRow->addWidget(running_);
    addRow->addWidget(manual_, 1);
    box->addLayout(addRow);
    connect(manual_, &QLineEdit::textEdited, this,
            [this](const QString& t) { model_.setManual(t.toStdString()); });
    connect(manual_, &QLineEdit::returnPressed, this, [this] { model_.submitManual(); });

    footer_ = W::label(this, 12, true);
    page->addWidget(footer_);

    connections_.push_back(model_.changed.connect([this] { refresh(); }));
    connections_.push_back(
        LanguageStore::shared().changed.connect([this](long long) { retranslate(); }));
    retranslate();
}

AppListGroup::~AppListGroup() = default;

void AppListGroup::retranslate() {
    title_->setText(W::qs(model_.title()));
    empty_->setText(W::qs(model_.emptyText()));
    footer_->setText(W::qs(model_.footer()));
    running_->setText(W::buttonText(L("从正在运行的 App 里选…")));
    manual_->setPlaceholderText(W::qs(L("或填应用 ID，回车添加")));
    refresh();
}

void AppListGroup::refresh() {
    while (QLayoutItem* item = rows_->takeAt(0)) {
        // The row's own remove button may be what called us: delete it later.
        if (QWidget* widget = item->widget()) {
            widget->hide();
            widget->deleteLater();
        }
        delete item;
    }
    const auto apps = model_.apps();
    for (const auto& id : apps) {
        auto* row = new QWidget(this);
        auto* layout = new QHBoxLayout(row);
        layout->setContentsMargins(0, 0, 0, 0);
        auto* icon = new QLabel(row);
        icon->setPixmap(appIcon(id).pixmap(iconSize, iconSize));
        icon->setFixedWidth(iconSize + 6);
        const std::string name = AppNames::display(id).value_or(id);
        auto* title = new QLabel(W::qs(name), row);
        title->setFont(PivorelStyle::font(13.5));
        auto* identifier = W::label(row, 11.5, true);
        identifier->setText(name == id ? QString() : W::qs(id));
        identifier->setWordWrap(false);
        auto* remove = new QToolButton(row);
        remove->setAutoRaise(true);
        remove->setIcon(W::symbolIcon("minus.circle.fill", 16, QColor(214, 48, 49)));
        remove->setAccessibleName(W::qs(name));
        connect(remove, &QToolButton::clicked, this, [this, id] { model_.remove(id); });
        layout->addWidget(icon);
        layout->addWidget(title);
        layout->addWidget(identifier, 1);
        layout->addWidget(remove);
        rows_->addWidget(row);
    }
    empty_->setVisible(apps.empty());
    const QString manual = W::qs(model_.manual());
    if (manual_->text() != manual) manual_->setText(manual);
}

void AppListGroup::fillRunningMenu() {
    QMenu* menu = running_->menu();
    menu->clear();
    if (!workspace_) return;
    for (const RunningApp& app : model_.runningChoices(workspace_->runningApps())) {
        QAction* action = menu->addAction(appIcon(app.bundleID), W::buttonText(app.name));
        const std::string id = app.bundleID;
        connect(action, &QAction::triggered, this, [this, id] { model_.add(id); });
    }
}

}  // namespace pivorel
