#include "Pivorel/Settings/SettingsWindow.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QVBoxLayout>
#include <QWindow>

#include "BrisendoKit/Localization/L.h"
#include "BrisendoKit/Localization/LanguageStore.h"
#include "BrisendoKit/Platform/OnDeviceTranslator.h"
#include "BrisendoKit/Support/UserDefaults.h"
#include "Pivorel/Linux/AutostartLoginItem.h"
#include "Pivorel/Look/PivorelStyle.h"
#include "Pivorel/Panel/FloatingPanel.h"
#include "Pivorel/QtMainQueue.h"
#include "Pivorel/Settings/GeneralSettingsView.h"
#include "Pivorel/Settings/SettingsWidgets.h"

namespace pivorel {

namespace {

// Downloads started by a window may finish after it is gone: their results are handed to a
// queue that lives as long as the process.
QtMainQueue& processQueue() {
    static QtMainQueue* queue = new QtMainQueue;
    return *queue;
}

SettingsEnvironment& sharedEnvironment() {
    static SettingsEnvironment environment;
    return environment;
}

}  // namespace

SettingsWindow::SettingsWindow(SettingsEnvironment environment)
    : QWidget(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      environment_(std::move(environment)) {
    if (!environment_.defaults) environment_.defaults = UserDefaults::standard();
    if (!environment_.queue) environment_.queue = &processQueue();
    if (!environment_.runInBackground) environment_.runInBackground = background_.runner();
    if (!environment_.login) environment_.login = std::make_shared<AutostartLoginItem>();
    if (!environment_.translator) environment_.translator = OnDeviceTranslator::platformDefault();
    if (!environment_.isActive) {
        environment_.isActive = [] {
            return QGuiApplication::applicationState() == Qt::ApplicationActive;
        };
    }

    // Children inherit the family that draws Chinese with its Simplified shapes.
    setFont(PivorelStyle::font(13));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    root_ = SettingsRootView::make(environment_, SettingsRootView::Page::general,
                                   SettingsRootView::defaultHeight, this);
    layout->addWidget(root_);
    setFixedSize(root_->size());

    // Key presses reach the window's QWindow before any widget.
    create();
    if (QWindow* window = windowHandle()) window->installEventFilter(this);

    languageWatch_ = LanguageStore::shared().changed.connect([this](long long) { retitle(); });
    retitle();
}

SettingsWindow::~SettingsWindow() {
    if (QWindow* window = windowHandle()) window->removeEventFilter(this);
}

void SettingsWindow::retitle() {
    setWindowTitle(SettingsWidgets::qs(L("Pivorel 设置")));
}

bool SettingsWindow::eventFilter(QObject* watched, QEvent* event) {
    HotKeyRecorder& recorder = root_->general().recorder();
    if (watched == windowHandle() && recorder.isRecording()) {
        if (event->type() == QEvent::ShortcutOverride) {
            // No shortcut may act on a combination being recorded.
            event->accept();
            return true;
        }
        if (event->type() == QEvent::KeyPress) {
            // Every press is consumed while recording; keys the program cannot name (a
            // modifier pressed alone) wait for the rest of the combination.
            if (auto key = FloatingPanel::keyEvent(*static_cast<QKeyEvent*>(event))) {
                recorder.handle(*key);
            }
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void SettingsWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    root_->refresh();
}

void SettingsWindow::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    root_->general().recorder().stop();
}

void SettingsWindow::setSharedEnvironment(SettingsEnvironment environment) {
    sharedEnvironment() = std::move(environment);
}

SettingsWindow& SettingsWindow::shared() {
    // Kept for the life of the program: closing only hides it.
    static SettingsWindow* window = new SettingsWindow(sharedEnvironment());
    return *window;
}

void SettingsWindow::showShared() {
    SettingsWindow& window = shared();
    if (!window.isVisible()) window.root().setPage(SettingsRootView::Page::general);
    SettingsWidgets::present(window);
}

}  // namespace pivorel
