#include "Pivorel/Settings/ExtensionLibraryView.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include "BrisendoKit/Actions/ActionsSettingsModel.h"
#include "BrisendoKit/Actions/ExtensionLibraryModel.h"
#include "BrisendoKit/Localization/L.h"
#include "BrisendoKit/Localization/LanguageStore.h"
#include "Pivorel/Look/PivorelStyle.h"
#include "Pivorel/Settings/SettingsWidgets.h"

namespace pivorel {

using W = SettingsWidgets;

ExtensionLibraryView::ExtensionLibraryView(ActionsSettingsModel& actions,
                                           ExtensionLibraryModel& library, QWidget* parent)
    : QDialog(parent), actions_(actions), library_(library) {
    setModal(true);
    resize(540, 640);
    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(20, 18, 20, 16);
    page->setSpacing(8);
    title_ = W::label(this, 16, false, true);
    note_ = W::label(this, 12, true);
    page->addWidget(title_);
    page->addWidget(note_);

    scroll_ = new QScrollArea(this);
    scroll_->setWidgetResizable(true);
    scroll_->setFrameShape(QFrame::NoFrame);
    page->addWidget(scroll_, 1);

    auto* buttons = new QHBoxLayout;
    done_ = new QPushButton(this);
    done_->setDefault(true);
    buttons->addStretch(1);
    buttons->addWidget(done_);
    page->addLayout(buttons);
    connect(done_, &QPushButton::clicked, this, &QDialog::accept);

    connections_.push_back(library_.changed.connect([this] { rebuild(); }));
    connections_.push_back(actions_.changed.connect([this] { refreshButtons(); }));
    connections_.push_back(
        LanguageStore::shared().changed.connect([this](long long) { retranslate(); }));
    retranslate();
}

ExtensionLibraryView::~ExtensionLibraryView() = default;

void ExtensionLibraryView::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    library_.refresh();
}

QPushButton* ExtensionLibraryView::addButton(const std::string& presetID) const {
    const auto it = buttons_.find(presetID);
    return it == buttons_.end() ? nullptr : it->second;
}

void ExtensionLibraryView::retranslate() {
    setWindowTitle(W::qs(L("添加扩展")));
    title_->setText(W::qs(L("添加扩展")));
    // clang-format off
    note_->setText(W::qs(L("点「添加」就会出现在动作列表末尾，可以再拖动排序、隐藏或改名。扩展只是带上选中文字打开对应网站的搜索页。")));
    // clang-format on
    done_->setText(W::buttonText(L("完成")));
    rebuild();
}

void ExtensionLibraryView::rebuild() {
    buttons_.clear();
    auto* content = new QWidget;
    auto* list = new QVBoxLayout(content);
    list->setContentsMargins(0, 4, 8, 4);
    list->setSpacing(6);
    const QColor accent = PivorelStyle::accent(PivorelStyle::isDark(palette()));
    for (const auto& [category, presets] : library_.catalog().grouped()) {
        auto* heading = W::label(content, 13, true, true);
        heading->setText(W::qs(L(category)));
        list->addSpacing(6);
        list->addWidget(heading);
        QVBoxLayout* box = nullptr;
        list->addWidget(W::card(content, &box));
        bool first = true;
        for (const auto& preset : presets) {
            if (!first) box->addWidget(W::separator(content));
            first = false;
            auto* row = new QHBoxLayout;
            auto* icon = new QLabel(content);
            icon->setPixmap(W::symbolPixmap(preset.symbol, 20, accent));
            icon->setFixedWidth(26);
            auto* texts = new QVBoxLayout;
            texts->setSpacing(1);
            auto* name = W::label(content, 13.5, false, true);
            name->setText(W::qs(L(preset.name)));
            texts->addWidget(name);
            if (!preset.summary.empty()) {
                auto* summary = W::label(content, 12, true);
                summary->setText(W::qs(L(preset.summary)));
                texts->addWidget(summary);
            }
            if (preset.note) {
                auto* note = W::label(content, 11.5);
                QPalette p = note->palette();
                p.setColor(QPalette::WindowText, PivorelStyle::orange(p));
                note->setPalette(p);
                note->setText(W::qs(L(*preset.note)));
                texts->addWidget(note);
            }
            auto* add = new QPushButton(content);
            add->setMinimumWidth(72);
            connect(add, &QPushButton::clicked, this, [this, preset] { actions_.add(preset); });
            buttons_[preset.id] = add;
            row->addWidget(icon, 0, Qt::AlignTop);
            row->addLayout(texts, 1);
            row->addWidget(add, 0, Qt::AlignVCenter);
            box->addLayout(row);
        }
    }
    list->addStretch(1);
    scroll_->setWidget(content);  // deletes the previous content
    refreshButtons();
}

void ExtensionLibraryView::refreshButtons() {
    for (const auto& preset : library_.catalog().items) {
        QPushButton* button = addButton(preset.id);
        if (!button) continue;
        const bool added = actions_.isAdded(preset);
        button->setText(W::buttonText(added ? L("已添加") : L("添加")));
        button->setEnabled(!added);
        button->setAccessibleName(W::qs(added ? L("%@，已添加", L(preset.name)) : L("添加")));
    }
}

}  // namespace pivorel
