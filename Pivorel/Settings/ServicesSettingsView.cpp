#include "Pivorel/Settings/ServicesSettingsView.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "BrisendoKit/LanguageModel/PackStatusMonitor.h"
#include "BrisendoKit/LanguageModel/SystemTranslationChannel.h"
#include "BrisendoKit/Localization/L.h"
#include "BrisendoKit/Localization/LanguageStore.h"
#include "BrisendoKit/Platform/OnDeviceTranslator.h"
#include "BrisendoKit/Settings/TranslationPackModel.h"
#include "Pivorel/Look/PivorelStyle.h"
#include "Pivorel/Settings/SettingsEnvironment.h"
#include "Pivorel/Settings/SettingsWidgets.h"

namespace pivorel {

using W = SettingsWidgets;

namespace {

constexpr double packPollSeconds = 2;

// Replaces the text only when it differs, so a field being typed in keeps its cursor.
void setField(QLineEdit* field, const std::string& text) {
    const QString value = W::qs(text);
    if (field->text() != value) field->setText(value);
}

// A save button with the note beside it.
QHBoxLayout* saveRow(QWidget* parent, QPushButton** button, QLabel** note) {
    auto* row = new QHBoxLayout;
    *note = W::label(parent, 12, true);
    (*note)->setWordWrap(false);
    *button = new QPushButton(parent);
    row->addStretch(1);
    row->addWidget(*note);
    row->addWidget(*button);
    return row;
}

}  // namespace

ServicesSettingsView::ServicesSettingsView(const SettingsEnvironment& environment, QWidget* parent)
    : QWidget(parent),
      form_(BarSettings(environment.defaults), environment.credentials, *environment.queue,
            environment.runInBackground,
            environment.translator && environment.translator->hasEngine()) {
    auto translator = environment.translator;
    packs_ = std::make_unique<PackStatusMonitor>(
        *environment.queue, std::nullopt, packPollSeconds, environment.isActive,
        [translator] { return translator && SystemTranslationChannel::packsReady(*translator); });

    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(20, 16, 20, 16);
    page->setSpacing(12);

    QVBoxLayout* box = nullptr;
    page->addWidget(W::card(this, &box));
    auto* banner = new QHBoxLayout;
    bannerIcon_ = new QLabel(this);
    bannerIcon_->setFixedWidth(26);
    bannerText_ = W::label(this, 13.5);
    bannerText_->setObjectName(QStringLiteral("engineStatus"));
    banner->addWidget(bannerIcon_, 0, Qt::AlignTop);
    banner->addWidget(bannerText_, 1);
    box->addLayout(banner);

    page->addWidget(W::card(this, &box));
    engine_ = new QComboBox(this);
    engineNote_ = W::label(this, 12, true);
    box->addWidget(engine_);
    box->addWidget(engineNote_);
    connect(engine_, &QComboBox::activated, this, [this](int index) {
        const auto engines = form_.engines();
        if (index >= 0 && index < static_cast<int>(engines.size()))
            form_.setEngine(engines[static_cast<std::size_t>(index)]);
    });
    auto* packSeparator = W::separator(this);
    box->addWidget(packSeparator);
    auto* packRow = new QHBoxLayout;
    packText_ = W::label(this, 12.5);
    packButton_ = new QPushButton(this);
    packButton_->setIcon(W::symbolIcon("arrow.down.circle", 16, PivorelStyle::accent(false)));
    packRow->addWidget(packText_, 1);
    packRow->addWidget(packButton_);
    box->addLayout(packRow);
    connect(packButton_, &QPushButton::clicked, this, [open = environment.openTranslationPack] {
        if (open) open();
    });
    // No engine on this machine: nothing to download.
    for (QWidget* w : {static_cast<QWidget*>(packSeparator), static_cast<QWidget*>(packText_),
                       static_cast<QWidget*>(packButton_)})
        w->setVisible(form_.onDeviceEngine());

    page->addWidget(W::card(this, &box));
    modelTitle_ = W::label(this, 14, false, true);
    modelNote_ = W::label(this, 12, true);
    baseURL_ = new QLineEdit(this);
    baseURL_->setPlaceholderText(QStringLiteral("https://api.example.com/v1"));
    model_ = new QLineEdit(this);
    model_->setPlaceholderText(QStringLiteral("model-name"));
    apiKey_ = new QLineEdit(this);
    apiKey_->setEchoMode(QLineEdit::Password);
    box->addWidget(modelTitle_);
    box->addWidget(modelNote_);
    box->addWidget(baseURL_);
    box->addWidget(model_);
    box->addWidget(apiKey_);
    box->addLayout(saveRow(this, &saveModel_, &savedModel_));
    connect(baseURL_, &QLineEdit::textEdited, this,
            [this](const QString& t) { form_.setBaseURL(t.toStdString()); });
    connect(model_, &QLineEdit::textEdited, this,
            [this](const QString& t) { form_.setModel(t.toStdString()); });
    connect(apiKey_, &QLineEdit::textEdited, this,
            [this](const QString& t) { form_.setAPIKey(t.toStdString()); });
    connect(saveModel_, &QPushButton::clicked, this, [this] { form_.saveModel(); });

    page->addWidget(W::card(this, &box));
    auto* flomoTitle = W::label(this, 14, false, true);
    flomoTitle->setText(QStringLiteral("flomo"));
    webhook_ = new QLineEdit(this);
    flomoNote_ = W::label(this, 12, true);
    dryRun_ = new QCheckBox(this);
    box->addWidget(flomoTitle);
    box->addWidget(webhook_);
    box->addWidget(flomoNote_);
    box->addWidget(dryRun_);
    box->addLayout(saveRow(this, &saveFlomo_, &savedFlomo_));
    connect(webhook_, &QLineEdit::textEdited, this,
            [this](const QString& t) { form_.setWebhook(t.toStdString()); });
    connect(dryRun_, &QCheckBox::toggled, this, [this](bool on) { form_.setFlomoDry(on); });
    connect(saveFlomo_, &QPushButton::clicked, this, [this] { form_.saveFlomo(); });

    page->addWidget(W::card(this, &box));
    remindersTitle_ = W::label(this, 14, false, true);
    remindersNote_ = W::label(this, 12, true);
    remindersFolder_ = W::label(this, 12.5);
    remindersFolder_->setObjectName(QStringLiteral("remindersFolder"));
    remindersFolder_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    chooseFolder_ = new QPushButton(this);
    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(remindersFolder_, 1);
    folderRow->addWidget(chooseFolder_);
    box->addWidget(remindersTitle_);
    box->addWidget(remindersNote_);
    box->addLayout(folderRow);
    connect(chooseFolder_, &QPushButton::clicked, this, [this] {
        const QString folder = QFileDialog::getExistingDirectory(this, chooseFolder_->text(),
                                                                 W::qs(form_.remindersFolder()));
        if (!folder.isEmpty()) form_.setRemindersFolder(folder.toStdString());
    });
    page->addStretch(1);

    connections_.push_back(form_.changed.connect([this] { refresh(); }));
    connections_.push_back(
        packs_->readyChanged.connect([this](std::optional<bool>) { refresh(); }));
    connections_.push_back(
        LanguageStore::shared().changed.connect([this](long long) { retranslate(); }));
    retranslate();
}

ServicesSettingsView::~ServicesSettingsView() = default;

void ServicesSettingsView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (form_.onDeviceEngine()) packs_->start();
}

void ServicesSettingsView::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    packs_->stop();
}

void ServicesSettingsView::reload() {
    form_.reload();
}

void ServicesSettingsView::retranslate() {
    {
        const QSignalBlocker block(engine_);
        engine_->clear();
        for (const TranslateEngine engine : form_.engines()) {
            engine_->addItem(W::qs(translateEngineTitle(engine)));
        }
    }
    // clang-format off
    if (form_.onDeviceEngine()) {
        engineNote_->setText(W::qs(L("自动：填了自己的模型就用它，没填就用系统翻译。系统翻译在本机完成，不联网、不要密钥，选中的文字不出本机。")));
        modelNote_->setText(W::qs(L("OpenAI 兼容的 Chat Completions 接口，用于「问一下」和追问，也可以用来翻译。不填也能翻译（用系统翻译）。密钥只存进钥匙环。")));
    } else {
        engineNote_->setText(W::qs(L("这台电脑没有离线翻译引擎，翻译用下面的模型。模型在本机运行（地址是 localhost 或 127.0.0.1）时不要密钥，也不联网，选中的文字不出本机。")));
        modelNote_->setText(W::qs(L("OpenAI 兼容的 Chat Completions 接口，用于「问一下」、追问和翻译。本机的模型服务（如 Ollama、llama.cpp）不用填密钥。密钥只存进钥匙环。")));
    }
    // clang-format on
    packText_->setText(W::qs(L("系统翻译要先下载一次语言包（英语和简体中文）")));
    packButton_->setText(W::buttonText(L("下载语言包…")));
    modelTitle_->setText(W::qs(L("自己的模型（可选）")));
    flomoNote_->setText(
        W::qs(L("填了 Webhook 才能用「记到 flomo」。预演打开时只显示会发送的内容。")));
    dryRun_->setText(W::buttonText(L("只预演，不真的发送")));
    saveModel_->setText(W::buttonText(L("保存")));
    saveFlomo_->setText(W::buttonText(L("保存")));
    remindersTitle_->setText(W::qs(L("待办文件夹")));
    remindersNote_->setText(
        W::qs(L("没有 Evolution 数据服务时，「加待办」把待办存成 .ics 文件放在这里。")));
    chooseFolder_->setText(W::buttonText(L("选择文件夹…")));
    refresh();
}

void ServicesSettingsView::refresh() {
    const TranslateEngineStatus status = form_.status(packs_->ready());
    const QPalette palette = this->palette();
    bannerIcon_->setPixmap(
        W::symbolPixmap(status.ok ? "checkmark.circle.fill" : "exclamationmark.triangle.fill", 20,
                        status.ok ? QColor(52, 168, 83) : PivorelStyle::orange(palette)));
    bannerText_->setText(W::qs(status.text));
    {
        const QSignalBlocker b1(engine_), b2(dryRun_);
        const auto engines = form_.engines();
        for (std::size_t i = 0; i < engines.size(); ++i) {
            if (engines[i] == form_.engine()) engine_->setCurrentIndex(static_cast<int>(i));
        }
        dryRun_->setChecked(form_.flomoDry());
    }
    setField(baseURL_, form_.baseURL());
    setField(model_, form_.model());
    setField(apiKey_, form_.apiKey());
    apiKey_->setPlaceholderText(W::qs(form_.apiKeyPrompt()));
    saveModel_->setEnabled(form_.modelDirty());
    savedModel_->setText(W::qs(ServicesForm::noteText(form_.modelNote())));
    setField(webhook_, form_.webhook());
    webhook_->setPlaceholderText(W::qs(form_.webhookPrompt()));
    saveFlomo_->setEnabled(form_.flomoDirty());
    savedFlomo_->setText(W::qs(ServicesForm::noteText(form_.flomoNote())));
    remindersFolder_->setText(W::qs(form_.remindersFolder()));
}

}  // namespace pivorel
