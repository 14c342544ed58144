#pragma once

#include <QWidget>
#include <array>
#include <vector>

#include "BrisendoKit/Support/Signal.h"

class QStackedWidget;
class QToolButton;

namespace pivorel {

class ActionsSettingsView;
class AppListGroup;
class GeneralSettingsView;
class ServicesSettingsView;
struct SettingsEnvironment;

// The settings window's content: a row of tab buttons over four pages.
class SettingsRootView : public QWidget {
    Q_OBJECT

  public:
    enum class Page { general, actions, translate, apps };
    static constexpr std::array<Page, 4> allPages{Page::general, Page::actions, Page::translate,
                                                  Page::apps};
    static constexpr int width = 600;
    static constexpr int defaultHeight = 740;

    // The four pages, built once; `page` is shown first. `environment` must outlive the view.
    static SettingsRootView* make(const SettingsEnvironment& environment, Page page = Page::general,
                                  int height = defaultHeight, QWidget* parent = nullptr);

    Page page() const { return page_; }
    void setPage(Page page);

    GeneralSettingsView& general() { return *general_; }
    ActionsSettingsView& actions() { return *actions_; }
    ServicesSettingsView& services() { return *services_; }
    AppListGroup& excludedApps() { return *excluded_; }
    AppListGroup& copyFallbackApps() { return *fallback_; }
    QToolButton* tabButton(Page page) const;

    // The window came up again: pages show what is stored now.
    void refresh();

  private:
    SettingsRootView(const SettingsEnvironment& environment, int height, QWidget* parent);
    void retranslate();

    Page page_ = Page::general;
    std::vector<QToolButton*> tabs_;
    QStackedWidget* stack_ = nullptr;
    GeneralSettingsView* general_ = nullptr;
    ActionsSettingsView* actions_ = nullptr;
    ServicesSettingsView* services_ = nullptr;
    AppListGroup* excluded_ = nullptr;
    AppListGroup* fallback_ = nullptr;
    Connection languageWatch_;
};

}  // namespace pivorel
