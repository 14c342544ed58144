#include "Pivorel/Settings/TranslationPackView.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "BrisendoKit/Localization/L.h"
#include "BrisendoKit/Localization/LanguageStore.h"
#include "BrisendoKit/Platform/OnDeviceTranslator.h"
#include "Pivorel/Look/PivorelStyle.h"
#include "Pivorel/QtMainQueue.h"
#include "Pivorel/Settings/SettingsWidgets.h"

namespace pivorel {

using W = SettingsWidgets;

TranslationPackView::TranslationPackView(std::unique_ptr<TranslationPackModel> model,
                                         QWidget* parent)
    : QWidget(parent), model_(std::move(model)) {
    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(22, 20, 22, 18);
    page->setSpacing(10);
    auto* header = new QHBoxLayout;
    auto* icon = new QLabel(this);
    icon->setPixmap(W::symbolPixmap("character.bubble", 28, PivorelStyle::accent(false)));
    heading_ = W::label(this, 16, false, true);
    header->addWidget(icon);
    header->addWidget(heading_, 1);
    page->addLayout(header);
    description_ = W::label(this, 13, true);
    status_ = W::label(this, 13);
    status_->setObjectName(QStringLiteral("packStatus"));
    page->addWidget(description_);
    page->addWidget(status_);
    page->addStretch(1);
    auto* buttons = new QHBoxLayout;
    download_ = new QPushButton(this);
    download_->setIcon(W::symbolIcon("arrow.down.circle", 16, PivorelStyle::accent(false)));
    done_ = new QPushButton(this);
    done_->setDefault(true);
    buttons->addWidget(download_);
    buttons->addStretch(1);
    buttons->addWidget(done_);
    page->addLayout(buttons);
    connect(download_, &QPushButton::clicked, this, [this] { model_->download(); });
    connect(done_, &QPushButton::clicked, this, [this] { done.emit(); });

    connections_.push_back(model_->changed.connect([this] { refresh(); }));
    connections_.push_back(
        LanguageStore::shared().changed.connect([this](long long) { retranslate(); }));
    retranslate();
}

TranslationPackView::~TranslationPackView() = default;

void TranslationPackView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    model_->appear();
}

void TranslationPackView::retranslate() {
    heading_->setText(W::qs(TranslationPackModel::heading()));
    description_->setText(W::qs(TranslationPackModel::description()));
    download_->setText(W::buttonText(L("下载英语与简体中文")));
    done_->setText(W::buttonText(L("完成")));
    refresh();
}

void TranslationPackView::refresh() {
    using Phase = TranslationPackModel::Phase;
    const Phase phase = model_->phase();
    const std::string text = model_->statusText();
    status_->setText(W::qs(text));
    status_->setVisible(!text.empty());
    QPalette palette = status_->palette();
    palette.setColor(QPalette::WindowText, phase == Phase::failed ? PivorelStyle::orange(palette)
                                                                  : PivorelStyle::primary(palette));
    status_->setPalette(palette);
    download_->setVisible(phase != Phase::ready);
    download_->setEnabled(model_->canDownload());
}

TranslationPackWindow::TranslationPackWindow(std::unique_ptr<TranslationPackModel> model)
    : QWidget(nullptr, Qt::Window) {
    setFont(PivorelStyle::font(13));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    view_ = new TranslationPackView(std::move(model), this);
    doneWatch_ = view_->done.connect([this] { close(); });
    layout->addWidget(view_);
    setFixedWidth(width);
    // After the view's own handlers: it has its new texts by then.
    languageWatch_ = LanguageStore::shared().changed.connect([this](long long) {
        retitle();
        fit();
    });
    modelWatch_ = view_->model().changed.connect([this] { fit(); });
    retitle();
    fit();
}

void TranslationPackWindow::fit() {
    // Wrapped lines need more height in some languages and phases than in others.
    if (QLayout* content = view_->layout()) content->activate();
    setFixedHeight(std::max(minimumContentHeight, view_->heightForWidth(width)));
}

TranslationPackWindow::~TranslationPackWindow() = default;

void TranslationPackWindow::retitle() {
    setWindowTitle(W::qs(L("Pivorel 翻译语言包")));
}

TranslationPackWindow& TranslationPackWindow::shared() {
    // Kept for the life of the program: closing only hides it.
    static QtMainQueue* queue = new QtMainQueue;
    static TranslationPackWindow* window = new TranslationPackWindow(
        TranslationPackModel::withoutDownloads(OnDeviceTranslator::platformDefault(), *queue));
    return *window;
}

void TranslationPackWindow::showShared() {
    W::present(shared());
}

}  // namespace pivorel
