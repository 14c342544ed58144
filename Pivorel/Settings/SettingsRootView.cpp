#include "Pivorel/Settings/SettingsRootView.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QScrollArea>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include "BrisendoKit/Localization/L.h"
#include "BrisendoKit/Localization/LanguageStore.h"
#include "Pivorel/Look/PivorelStyle.h"
#include "Pivorel/Settings/ActionsSettingsView.h"
#include "Pivorel/Settings/AppListGroup.h"
#include "Pivorel/Settings/GeneralSettingsView.h"
#include "Pivorel/Settings/ServicesSettingsView.h"
#include "Pivorel/Settings/SettingsEnvironment.h"
#include "Pivorel/Settings/SettingsWidgets.h"

namespace pivorel {

using W = SettingsWidgets;

namespace {

struct Tab {
    const char* title;
    const char* symbol;
};

constexpr std::array<Tab, 4> tabTable{{
    {"通用", "gearshape"},
    {"动作", "bolt"},
    {"服务", "sparkles"},
    {"应用", "macwindow"},
}};

// Each page scrolls on its own when it is taller than the window.
QScrollArea* scrolling(QWidget* page, QWidget* parent) {
    auto* scroll = new QScrollArea(parent);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidget(page);
    return scroll;
}

}  // namespace

SettingsRootView* SettingsRootView::make(const SettingsEnvironment& environment, Page page,
                                         int height, QWidget* parent) {
    auto* view = new SettingsRootView(environment, height, parent);
    view->setPage(page);
    return view;
}

SettingsRootView::SettingsRootView(const SettingsEnvironment& environment, int height,
                                   QWidget* parent)
    : QWidget(parent) {
    setFixedSize(width, height);
    setAutoFillBackground(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 10, 0, 0);
    layout->setSpacing(6);

    auto* tabRow = new QHBoxLayout;
    tabRow->addStretch(1);
    auto* group = new QButtonGroup(this);
    group->setExclusive(true);
    for (std::size_t i = 0; i < allPages.size(); ++i) {
        auto* tab = new QToolButton(this);
        tab->setCheckable(true);
        tab->setAutoRaise(true);
        tab->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        tab->setIconSize(QSize(22, 22));
        tab->setMinimumWidth(72);
        tab->setFont(PivorelStyle::font(12));
        tab->setIcon(W::symbolIcon(tabTable[i].symbol, 22));
        const Page page = allPages[i];
        connect(tab, &QToolButton::clicked, this, [this, page] { setPage(page); });
        group->addButton(tab);
        tabs_.push_back(tab);
        tabRow->addWidget(tab);
    }
    tabRow->addStretch(1);
    layout->addLayout(tabRow);
    layout->addWidget(W::separator(this));

    stack_ = new QStackedWidget(this);
    general_ = new GeneralSettingsView(environment);
    actions_ = new ActionsSettingsView(environment);
    services_ = new ServicesSettingsView(environment);
    auto* apps = new QWidget;
    auto* appsLayout = new QVBoxLayout(apps);
    appsLayout->setContentsMargins(20, 16, 20, 16);
    appsLayout->setSpacing(18);
    excluded_ = new AppListGroup(ApplicationsListModel::Kind::excluded,
                                 BarSettings(environment.defaults), environment.workspace, apps);
    fallback_ = new AppListGroup(ApplicationsListModel::Kind::copyFallback,
                                 BarSettings(environment.defaults), environment.workspace, apps);
    appsLayout->addWidget(excluded_);
    appsLayout->addWidget(fallback_);
    appsLayout->addStretch(1);
    for (QWidget* page : {static_cast<QWidget*>(general_), static_cast<QWidget*>(actions_),
                          static_cast<QWidget*>(services_), apps}) {
        stack_->addWidget(scrolling(page, stack_));
    }
    layout->addWidget(stack_, 1);

    languageWatch_ = LanguageStore::shared().changed.connect([this](long long) { retranslate(); });
    retranslate();
}

QToolButton* SettingsRootView::tabButton(Page page) const {
    return tabs_[static_cast<std::size_t>(page)];
}

void SettingsRootView::setPage(Page page) {
    page_ = page;
    tabButton(page)->setChecked(true);
    stack_->setCurrentIndex(static_cast<int>(page));
}

void SettingsRootView::refresh() {
    general_->refresh();
    services_->reload();
}

void SettingsRootView::retranslate() {
    for (std::size_t i = 0; i < tabs_.size(); ++i) {
        tabs_[i]->setText(W::buttonText(L(tabTable[i].title)));
    }
}

}  // namespace pivorel
