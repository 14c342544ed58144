#include "Pivorel/Settings/CustomActionEditor.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QToolButton>
#include <QVBoxLayout>

#include "BrisendoKit/Actions/ActionsSettingsModel.h"
#include "BrisendoKit/Localization/L.h"
#include "BrisendoKit/Localization/LanguageStore.h"
#include "Pivorel/Look/PivorelStyle.h"
#include "Pivorel/Look/Symbols.h"
#include "Pivorel/Settings/SettingsWidgets.h"

namespace pivorel {

using W = SettingsWidgets;

namespace {

constexpr int pickerColumns = 10;

QLabel* errorLabel(QWidget* parent) {
    auto* label = W::label(parent, 12);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, QColor(214, 48, 49));
    label->setPalette(palette);
    label->hide();
    return label;
}

CustomActionForm makeForm(const std::optional<CustomAction>& existing) {
    auto known = [](std::string_view name) { return Symbols::isKnown(name); };
    return existing ? CustomActionForm(*existing, known) : CustomActionForm(known);
}

}  // namespace

CustomActionEditor::CustomActionEditor(ActionsSettingsModel& model,
                                       std::optional<CustomAction> existing, QWidget* parent)
    : QDialog(parent), model_(model), form_(makeForm(existing)) {
    setModal(true);
    setMinimumWidth(480);
    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(20, 18, 20, 16);
    page->setSpacing(6);

    title_ = W::label(this, 16, false, true);
    page->addWidget(title_);
    page->addSpacing(6);

    nameLabel_ = W::label(this, 12.5, true);
    name_ = new QLineEdit(W::qs(form_.name()), this);
    name_->setObjectName(QStringLiteral("nameField"));
    nameError_ = errorLabel(this);
    page->addWidget(nameLabel_);
    page->addWidget(name_);
    page->addWidget(nameError_);
    connect(name_, &QLineEdit::textEdited, this,
            [this](const QString& text) { form_.setName(text.toStdString()); });

    page->addSpacing(4);
    symbolLabel_ = W::label(this, 12.5, true);
    auto* symbolRow = new QHBoxLayout;
    preview_ = new QLabel(this);
    preview_->setFixedSize(28, 28);
    preview_->setAlignment(Qt::AlignCenter);
    symbol_ = new QLineEdit(W::qs(form_.symbol()), this);
    symbolRow->addWidget(preview_);
    symbolRow->addWidget(symbol_, 1);
    symbolNote_ = W::label(this, 12, true);
    page->addWidget(symbolLabel_);
    page->addLayout(symbolRow);
    page->addWidget(symbolNote_);
    connect(symbol_, &QLineEdit::textEdited, this,
            [this](const QString& text) { form_.setSymbol(text.toStdString()); });

    picker_ = new QScrollArea(this);
    picker_->setWidgetResizable(true);
    picker_->setFixedHeight(128);
    picker_->setFrameShape(QFrame::NoFrame);
    auto* grid = new QWidget(picker_);
    auto* gridLayout = new QGridLayout(grid);
    gridLayout->setSpacing(2);
    gridLayout->setContentsMargins(0, 0, 0, 0);
    int index = 0;
    for (const std::string_view name : Symbols::names()) {
        auto* button = new QToolButton(grid);
        button->setIcon(W::symbolIcon(name, 20));
        button->setIconSize(QSize(20, 20));
        button->setAutoRaise(true);
        button->setToolTip(QString::fromUtf8(name.data(), static_cast<int>(name.size())));
        const std::string chosen(name);
        connect(button, &QToolButton::clicked, this, [this, chosen] {
            symbol_->setText(W::qs(chosen));
            form_.setSymbol(chosen);
        });
        gridLayout->addWidget(button, index / pickerColumns, index % pickerColumns);
        ++index;
    }
    picker_->setWidget(grid);
    page->addWidget(picker_);

    page->addSpacing(4);
    templateLabel_ = W::label(this, 12.5, true);
    template_ = new QLineEdit(W::qs(form_.urlTemplate()), this);
    template_->setObjectName(QStringLiteral("templateField"));
    template_->setPlaceholderText(
        QString::fromUtf8(CustomActionForm::templatePlaceholder.data(),
                          static_cast<int>(CustomActionForm::templatePlaceholder.size())));
    templateError_ = errorLabel(this);
    templateHelp_ = W::label(this, 12, true);
    page->addWidget(templateLabel_);
    page->addWidget(template_);
    page->addWidget(templateError_);
    page->addWidget(templateHelp_);
    connect(template_, &QLineEdit::textEdited, this,
            [this](const QString& text) { form_.setURLTemplate(text.toStdString()); });

    page->addSpacing(10);
    auto* buttons = new QHBoxLayout;
    delete_ = new QPushButton(this);
    delete_->setVisible(!form_.isNew());
    cancel_ = new QPushButton(this);
    save_ = new QPushButton(this);
    save_->setDefault(true);
    buttons->addWidget(delete_);
    buttons->addStretch(1);
    buttons->addWidget(cancel_);
    buttons->addWidget(save_);
    page->addLayout(buttons);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
    connect(save_, &QPushButton::clicked, this, [this] { save(); });
    connect(delete_, &QPushButton::clicked, this, [this, existing] {
        if (existing) model_.remove(ActionID{existing->id});
        accept();
    });

    connections_.push_back(form_.changed.connect([this] { refresh(); }));
    connections_.push_back(
        LanguageStore::shared().changed.connect([this](long long) { retranslate(); }));
    retranslate();
}

CustomActionEditor::~CustomActionEditor() = default;

void CustomActionEditor::retranslate() {
    setWindowTitle(W::qs(form_.title()));
    title_->setText(W::qs(form_.title()));
    nameLabel_->setText(W::qs(L("名称")));
    name_->setPlaceholderText(W::qs(L("如 Perplexity")));
    symbolLabel_->setText(W::qs(L("图标名")));
    symbol_->setPlaceholderText(W::qs(L("如 magnifyingglass")));
    symbolNote_->setText(W::qs(L("找不到这个图标名，可以从下面选一个")));
    templateLabel_->setText(W::qs(L("URL 模板")));
    templateHelp_->setText(W::qs(CustomActionForm::templateHelp()));
    delete_->setText(W::buttonText(L("删除")));
    cancel_->setText(W::buttonText(L("取消")));
    save_->setText(W::buttonText(L("保存")));
    refresh();
}

void CustomActionEditor::refresh() {
    preview_->setPixmap(W::symbolPixmap(form_.previewSymbol(), 24,
                                        PivorelStyle::accent(PivorelStyle::isDark(palette()))));
    const bool known = form_.symbolKnown();
    symbolNote_->setVisible(!known);
    picker_->setVisible(!known);
    const auto& error = form_.error();
    const bool onName = error && error->field == CustomActionForm::Field::name;
    const bool onTemplate = error && error->field == CustomActionForm::Field::urlTemplate;
    nameError_->setText(onName ? W::qs(error->message) : QString());
    nameError_->setVisible(onName);
    templateError_->setText(onTemplate ? W::qs(error->message) : QString());
    templateError_->setVisible(onTemplate);
    adjustSize();
}

void CustomActionEditor::save() {
    if (auto action = form_.submit()) {
        model_.upsert(*action);
        accept();
    }
}

}  // namespace pivorel
