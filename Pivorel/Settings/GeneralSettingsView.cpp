#include "Pivorel/Settings/GeneralSettingsView.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include "BrisendoKit/Localization/L.h"
#include "BrisendoKit/Localization/LanguageStore.h"
#include "Pivorel/Look/PivorelStyle.h"
#include "Pivorel/Settings/SettingsEnvironment.h"
#include "Pivorel/Settings/SettingsWidgets.h"
#include "Pivorel/Tray/TrayIcon.h"

namespace pivorel {

using W = SettingsWidgets;

GeneralSettingsView::GeneralSettingsView(const SettingsEnvironment& environment, QWidget* parent)
    : QWidget(parent),
      form_(BarSettings(environment.defaults), environment.login, environment.update),
      recorder_(BarSettings(environment.defaults)) {
    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(20, 16, 20, 16);
    page->setSpacing(12);

    // The brand header.
    auto* header = new QHBoxLayout;
    auto* icon = new QLabel(this);
    icon->setPixmap(TrayIcon::image().pixmap(48, 48));
    auto* names = new QVBoxLayout;
    auto* product = W::label(this, 20, false, true);
    product->setText(QStringLiteral("Pivorel"));
    tagline_ = W::label(this, 13, true);
    names->addWidget(product);
    names->addWidget(tagline_);
    header->addWidget(icon);
    header->addSpacing(8);
    header->addLayout(names, 1);
    page->addLayout(header);

    QVBoxLayout* box = nullptr;
    page->addWidget(W::card(this, &box));
    barToggle_ = new QCheckBox(this);
    barToggle_->setFont(PivorelStyle::font(13.5));
    barNote_ = W::label(this, 12, true);
    box->addWidget(barToggle_);
    box->addWidget(barNote_);
    connect(barToggle_, &QCheckBox::toggled, this, [this](bool on) { form_.setBarEnabled(on); });

    page->addWidget(W::card(this, &box));
    auto* hotKeyRow = new QHBoxLayout;
    hotKeyNote_ = W::label(this, 13);
    hotKeyButton_ = new QPushButton(this);
    hotKeyButton_->setObjectName(QStringLiteral("hotKeyButton"));
    hotKeyButton_->setMinimumWidth(120);
    hotKeyButton_->setFont(PivorelStyle::font(13.5, QFont::Medium));
    // Space and Return must reach the recorder, not press the button again.
    hotKeyButton_->setFocusPolicy(Qt::NoFocus);
    hotKeyRow->addWidget(hotKeyNote_, 1);
    hotKeyRow->addWidget(hotKeyButton_);
    box->addLayout(hotKeyRow);
    connect(hotKeyButton_, &QPushButton::clicked, this, [this] { recorder_.toggle(); });

    page->addWidget(W::card(this, &box));
    auto* languageRow = new QHBoxLayout;
    languageTitle_ = W::label(this, 13.5);
    language_ = new QComboBox(this);
    language_->setMinimumWidth(160);
    languageRow->addWidget(languageTitle_, 1);
    languageRow->addWidget(language_);
    languageNote_ = W::label(this, 12, true);
    box->addLayout(languageRow);
    box->addWidget(languageNote_);
    connect(language_, &QComboBox::activated, this, [this](int index) {
        // Every view re-renders on the change, this box too: not from inside its own signal.
        const std::string code = language_->itemData(index).toString().toStdString();
        QMetaObject::invokeMethod(
            this, [this, code] { form_.setLanguage(code); }, Qt::QueuedConnection);
    });

    page->addWidget(W::card(this, &box));
    loginToggle_ = new QCheckBox(this);
    loginToggle_->setFont(PivorelStyle::font(13.5));
    loginNote_ = W::label(this, 12);
    {
        QPalette palette = loginNote_->palette();
        palette.setColor(QPalette::WindowText, PivorelStyle::orange(palette));
        loginNote_->setPalette(palette);
    }
    box->addWidget(loginToggle_);
    box->addWidget(loginNote_);
    connect(loginToggle_, &QCheckBox::toggled, this, [this](bool on) { form_.setLoginOn(on); });

    QFrame* updateCard = W::card(this, &box);
    // Without an update checker there is nothing to show.
    updateCard->setVisible(environment.update != nullptr);
    page->addWidget(updateCard);
    updateToggle_ = new QCheckBox(this);
    updateToggle_->setFont(PivorelStyle::font(13.5));
    auto* versionRow = new QHBoxLayout;
    versionLine_ = W::label(this, 12, true);
    checkNow_ = new QToolButton(this);
    checkNow_->setIcon(W::symbolIcon("arrow.triangle.2.circlepath", 16));
    checkNow_->setAutoRaise(true);
    versionRow->addWidget(versionLine_, 1);
    versionRow->addWidget(checkNow_);
    box->addWidget(updateToggle_);
    box->addLayout(versionRow);
    connect(updateToggle_, &QCheckBox::toggled, this, [this](bool on) { form_.setAutoCheck(on); });
    connect(checkNow_, &QToolButton::clicked, this, [this] { form_.checkNow(); });

    auto* linkRow = new QHBoxLayout;
    linkRow->addStretch(1);
    for (const auto& link : GeneralForm::links()) {
        auto* button = new QPushButton(this);
        button->setFlat(true);
        button->setCursor(Qt::PointingHandCursor);
        button->setFont(PivorelStyle::font(12));
        button->setStyleSheet(QStringLiteral("QPushButton { color: %1; border: none; }")
                                  .arg(PivorelStyle::accent(false).name()));
        const QUrl url(W::qs(link.url));
        connect(button, &QPushButton::clicked, this, [url] { QDesktopServices::openUrl(url); });
        links_.push_back(button);
        linkRow->addWidget(button);
    }
    linkRow->addStretch(1);
    page->addLayout(linkRow);
    page->addStretch(1);

    connections_.push_back(form_.changed.connect([this] { refresh(); }));
    connections_.push_back(recorder_.changed.connect([this] { refresh(); }));
    if (environment.hotKeyRecording) {
        recordingWatch_ = recorder_.recordingChanged.connect(environment.hotKeyRecording);
    }
    connections_.push_back(
        LanguageStore::shared().changed.connect([this](long long) { retranslate(); }));
    retranslate();
}

GeneralSettingsView::~GeneralSettingsView() = default;

void GeneralSettingsView::retranslate() {
    tagline_->setText(W::qs(L("选中文字，点一下完成下一步")));
    barToggle_->setText(W::buttonText(L("选中文字后自动弹出小条")));
    barNote_->setText(W::qs(L("在任何 App 里选中文字，旁边会出现排好序的下一步，点一下就完成。")));
    hotKeyNote_->setText(W::qs(L("小条没弹出来时，按这个快捷键。")));
    languageTitle_->setText(W::qs(L("界面语言")));
    languageNote_->setText(W::qs(L("切换后立即生效，不用重启。")));
    loginToggle_->setText(W::buttonText(L("开机自动启动")));
    updateToggle_->setText(W::buttonText(L("自动检查更新")));
    checkNow_->setToolTip(W::qs(L("检查更新…")));
    const auto links = GeneralForm::links();
    for (std::size_t i = 0; i < links_.size() && i < links.size(); ++i) {
        links_[i]->setText(W::buttonText(links[i].title));
    }
    {
        const QSignalBlocker block(language_);
        language_->clear();
        for (const auto& [code, name] : GeneralForm::languageChoices()) {
            language_->addItem(W::qs(name), W::qs(code));
        }
    }
    refresh();
}

void GeneralSettingsView::refresh() {
    const QSignalBlocker b1(barToggle_), b2(loginToggle_), b3(updateToggle_), b4(language_);
    barToggle_->setChecked(form_.barEnabled());
    hotKeyButton_->setText(W::buttonText(recorder_.buttonTitle()));
    hotKeyButton_->setDown(recorder_.isRecording());
    language_->setCurrentIndex(std::max(0, language_->findData(W::qs(form_.language()))));
    loginToggle_->setChecked(form_.loginOn());
    const std::string note = form_.loginNote();
    loginNote_->setText(W::qs(note));
    loginNote_->setVisible(!note.empty());
    updateToggle_->setChecked(form_.autoCheck());
    versionLine_->setText(W::qs(form_.versionLine()));
}

}  // namespace pivorel
