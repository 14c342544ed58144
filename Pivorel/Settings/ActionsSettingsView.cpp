#include "Pivorel/Settings/ActionsSettingsView.h"

#include <QAbstractItemModel>
#include <QCheckBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include "BrisendoKit/Actions/ActionAvailability.h"
#include "BrisendoKit/Actions/ActionsSettingsModel.h"
#include "BrisendoKit/Actions/ExtensionLibraryModel.h"
#include "BrisendoKit/Localization/L.h"
#include "BrisendoKit/Localization/LanguageStore.h"
#include "BrisendoKit/Settings/ActionRow.h"
#include "Pivorel/Look/PivorelStyle.h"
#include "Pivorel/Settings/CustomActionEditor.h"
#include "Pivorel/Settings/ExtensionLibraryView.h"
#include "Pivorel/Settings/SettingsEnvironment.h"
#include "Pivorel/Settings/SettingsWidgets.h"

namespace pivorel {

using W = SettingsWidgets;

namespace {

constexpr int rowHeight = 40;

// Under the list's style sheet a label's palette is not drawn: a style sheet it is.
void setTextColour(QLabel* label, const QColor& c) {
    label->setStyleSheet(QStringLiteral("color: rgba(%1, %2, %3, %4)")
                             .arg(c.red())
                             .arg(c.green())
                             .arg(c.blue())
                             .arg(c.alpha()));
}

// One action in the list. Clicks on the labels fall through to the list, which drags.
QWidget* makeRow(const ActionRow& row, QWidget* parent, const std::function<void()>& onEdit,
                 const std::function<void()>& onEye) {
    auto* widget = new QWidget(parent);
    widget->setObjectName(QString::fromStdString("row:" + row.id.rawValue));
    widget->setAccessibleName(W::qs(row.accessibilityLabel));
    const QPalette palette = widget->palette();
    auto* layout = new QHBoxLayout(widget);
    layout->setContentsMargins(8, 0, 6, 0);
    layout->setSpacing(8);

    auto* handle = new QLabel(widget);
    handle->setPixmap(W::symbolPixmap("line.3.horizontal", 16, PivorelStyle::tertiary(palette)));
    auto* icon = new QLabel(widget);
    const bool dimmed = row.hidden || row.unavailable;
    const QColor iconColor = dimmed ? PivorelStyle::tertiary(palette)
                                    : PivorelStyle::accent(PivorelStyle::isDark(palette));
    icon->setPixmap(W::symbolPixmap(row.symbol, 18, iconColor));
    auto* title = new QLabel(W::qs(row.title), widget);
    title->setObjectName(QStringLiteral("title"));
    title->setFont(PivorelStyle::font(13.5));
    if (dimmed) setTextColour(title, PivorelStyle::tertiary(palette));
    layout->addWidget(handle);
    layout->addWidget(icon);
    if (row.unavailable) {
        auto* texts = new QVBoxLayout;
        texts->setSpacing(0);
        auto* titleLine = new QHBoxLayout;
        titleLine->setSpacing(8);
        titleLine->addWidget(title);
        auto* tag = W::tag(widget);
        tag->setObjectName(QStringLiteral("notInstalled"));
        tag->setText(W::qs(L("未安装")));
        titleLine->addWidget(tag, 0, Qt::AlignVCenter);
        titleLine->addStretch(1);
        auto* requirement = new QLabel(W::qs(row.requirement), widget);
        requirement->setObjectName(QStringLiteral("requirement"));
        requirement->setFont(PivorelStyle::font(11.5));
        requirement->setWordWrap(true);
        setTextColour(requirement, PivorelStyle::secondary(palette));
        texts->addLayout(titleLine);
        texts->addWidget(requirement);
        layout->addLayout(texts, 1);
    } else {
        layout->addWidget(title);
    }
    if (row.onBar) {
        auto* tag = W::tag(widget);
        tag->setText(W::qs(L("小条")));
        layout->addWidget(tag, 0, Qt::AlignVCenter);
    }
    if (row.custom) {
        auto* tag = W::tag(widget);
        tag->setText(W::qs(L("自定义")));
        layout->addWidget(tag, 0, Qt::AlignVCenter);
    }
    if (!row.unavailable) layout->addStretch(1);
    if (row.custom) {
        auto* edit = new QToolButton(widget);
        edit->setAutoRaise(true);
        edit->setIcon(W::symbolIcon("pencil", 16, PivorelStyle::secondary(palette)));
        edit->setToolTip(W::qs(L("编辑")));
        edit->setAccessibleName(W::qs(L("编辑")));
        QObject::connect(edit, &QToolButton::clicked, widget, onEdit);
        layout->addWidget(edit);
    }
    auto* eye = new QToolButton(widget);
    eye->setObjectName(QStringLiteral("eye"));
    eye->setAutoRaise(true);
    eye->setIcon(
        W::symbolIcon(row.hidden ? "eye.slash" : "eye", 16, PivorelStyle::secondary(palette)));
    eye->setToolTip(W::qs(row.eyeHelp));
    eye->setAccessibleName(W::qs(row.eyeHelp));
    QObject::connect(eye, &QToolButton::clicked, widget, onEye);
    layout->addWidget(eye);
    return widget;
}

// A clickable row with a symbol, a title and a line under it.
QPushButton* makeAddRow(QWidget* parent, std::string_view symbol, QLabel** title,
                        QLabel** subtitle) {
    auto* button = new QPushButton(parent);
    button->setFlat(true);
    button->setCursor(Qt::PointingHandCursor);
    button->setMinimumHeight(48);
    auto* layout = new QHBoxLayout(button);
    layout->setContentsMargins(10, 4, 10, 4);
    auto* icon = new QLabel(button);
    icon->setPixmap(W::symbolPixmap(symbol, 20, PivorelStyle::accent(false)));
    auto* texts = new QVBoxLayout;
    texts->setSpacing(0);
    *title = W::label(button, 13.5, false, true);
    *subtitle = W::label(button, 12, true);
    texts->addWidget(*title);
    texts->addWidget(*subtitle);
    layout->addWidget(icon);
    layout->addLayout(texts, 1);
    return button;
}

}  // namespace

ActionsSettingsView::ActionsSettingsView(const SettingsEnvironment& environment, QWidget* parent)
    : QWidget(parent),
      model_(std::make_unique<ActionsSettingsModel>(environment.actions)),
      library_(std::make_unique<ExtensionLibraryModel>(environment.extensions, *environment.queue,
                                                       environment.runInBackground)),
      availability_(environment.availability) {
    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(20, 16, 20, 16);
    page->setSpacing(12);

    intro_ = W::label(this, 12.5, true);
    page->addWidget(intro_);

    QVBoxLayout* box = nullptr;
    page->addWidget(W::card(this, &box));
    smart_ = new QCheckBox(this);
    smart_->setFont(PivorelStyle::font(13.5));
    smartNote_ = W::label(this, 12, true);
    box->addWidget(smart_);
    box->addWidget(smartNote_);
    connect(smart_, &QCheckBox::toggled, this, [this](bool on) { model_->setSmart(on); });

    page->addWidget(W::card(this, &box));
    auto* countRow = new QHBoxLayout;
    auto* countIcon = new QLabel(this);
    countIcon->setPixmap(W::symbolPixmap("rectangle.split.3x1", 18, PivorelStyle::accent(false)));
    countTitle_ = W::label(this, 13.5);
    count_ = new QSpinBox(this);
    count_->setRange(static_cast<int>(ActionConfig::barCountRange.lowerBound),
                     static_cast<int>(ActionConfig::barCountRange.upperBound));
    countRow->addWidget(countIcon);
    countRow->addWidget(countTitle_, 1);
    countRow->addWidget(count_);
    countNote_ = W::label(this, 12, true);
    box->addLayout(countRow);
    box->addWidget(countNote_);
    connect(count_, &QSpinBox::valueChanged, this, [this](int n) { model_->setBarCount(n); });

    list_ = new QListWidget(this);
    list_->setObjectName(QStringLiteral("actionList"));
    list_->setDragDropMode(QAbstractItemView::InternalMove);
    list_->setDefaultDropAction(Qt::MoveAction);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list_->setStyleSheet(
        QStringLiteral("QListWidget { background: palette(base); border-radius: 10px;"
                       " border: 1px solid rgba(0, 0, 0, 24); }"
                       " QListWidget::item { border-bottom: 1px solid rgba(0, 0, 0, 14); }"
                       " QListWidget::item:selected { background: rgba(0, 0, 0, 10); }"));
    page->addWidget(list_);
    list_->viewport()->installEventFilter(this);
    connect(list_->model(), &QAbstractItemModel::rowsMoved, this,
            [this](const QModelIndex&, int start, int, const QModelIndex&, int row) {
                rowsMoved(start, row);
            });

    page->addWidget(W::card(this, &box));
    QLabel* title = nullptr;
    QLabel* subtitle = nullptr;
    addExtension_ = makeAddRow(this, "square.grid.2x2", &title, &subtitle);
    addExtension_->setObjectName(QStringLiteral("addExtension"));
    box->addWidget(addExtension_);
    connect(addExtension_, &QPushButton::clicked, this, [this] { openLibrary(); });
    box->addWidget(W::separator(this));
    addCustom_ = makeAddRow(this, "plus", &title, &subtitle);
    box->addWidget(addCustom_);
    connect(addCustom_, &QPushButton::clicked, this, [this] { openEditor(); });

    auto* resetRow = new QHBoxLayout;
    reset_ = new QPushButton(this);
    resetRow->addStretch(1);
    resetRow->addWidget(reset_);
    page->addLayout(resetRow);
    connect(reset_, &QPushButton::clicked, this, [this] { model_->resetToDefaults(); });
    page->addStretch(1);

    connections_.push_back(model_->changed.connect([this] { refresh(); }));
    if (availability_) {
        model_->setUnavailable(availability_->unavailable());
        connections_.push_back(availability_->changed.connect(
            [this] { model_->setUnavailable(availability_->unavailable()); }));
    }
    connections_.push_back(
        LanguageStore::shared().changed.connect([this](long long) { retranslate(); }));
    retranslate();
}

ActionsSettingsView::~ActionsSettingsView() {
    // The dialogs hold the models, which go before the children would.
    delete libraryView_;
    qDeleteAll(findChildren<CustomActionEditor*>(Qt::FindDirectChildrenOnly));
}

void ActionsSettingsView::retranslate() {
    intro_->setText(W::qs(L("拖动调整顺序，点眼睛隐藏。")));
    smart_->setText(W::buttonText(L("智能排序")));
    countTitle_->setText(W::qs(L("小条上显示几个图标")));
    countNote_->setText(W::qs(L("其余动作收在小条最右边的「…」里。")));
    const auto addTexts = [](QPushButton* button, const std::string& title,
                             const std::string& subtitle) {
        const auto labels = button->findChildren<QLabel*>();
        // The icon comes first, then the title and the line under it.
        if (labels.size() >= 3) {
            labels[1]->setText(W::qs(title));
            labels[2]->setText(W::qs(subtitle));
        }
        button->setAccessibleName(W::qs(title));
    };
    addTexts(addExtension_, L("添加扩展"), L("天眼查、搜索引擎、翻译站等，一键添加"));
    addTexts(addCustom_, L("自定义动作"), L("填一个网址模板，{text} 会换成选中的文字"));
    reset_->setText(W::buttonText(L("恢复默认")));
    refresh();
}

void ActionsSettingsView::refresh() {
    const ActionConfig& config = model_->config();
    {
        const QSignalBlocker b1(smart_), b2(count_);
        smart_->setChecked(config.smartRanking);
        count_->setValue(static_cast<int>(config.barCount));
    }
    smartNote_->setText(W::qs(ActionRow::smartDescription(config.smartRanking)));
    // Called from inside a row's button or the list's own drop: rebuild once it returned.
    if (rebuildPending_) return;
    rebuildPending_ = true;
    QTimer::singleShot(0, this, [this] {
        rebuildPending_ = false;
        rebuildRows();
    });
}

void ActionsSettingsView::rebuildRows() {
    const QSignalBlocker block(list_->model());
    list_->clear();
    for (const ActionRow& row : ActionRow::rows(*model_)) {
        auto* item = new QListWidgetItem(list_);
        item->setSizeHint(QSize(0, rowHeight));
        item->setData(Qt::UserRole, W::qs(row.id.rawValue));
        const ActionID id = row.id;
        const bool hidden = row.hidden;
        auto onEdit = [this, id] { openEditor(id.rawValue); };
        auto onEye = [this, id, hidden] { model_->setHidden(id, !hidden); };
        list_->setItemWidget(item, makeRow(row, list_, onEdit, onEye));
    }
    fitRows();
}

void ActionsSettingsView::fitRows() {
    // A row that says what is not installed wraps its note to the list's width.
    const int width = list_->viewport()->width();
    int height = 0;
    for (int i = 0; i < list_->count(); ++i) {
        QListWidgetItem* item = list_->item(i);
        const QWidget* row = list_->itemWidget(item);
        const int h = row && row->hasHeightForWidth()
                          ? std::max(rowHeight + 12, row->heightForWidth(width) + 14)
                          : rowHeight;
        item->setSizeHint(QSize(0, h));
        height += h;
    }
    fittedWidth_ = width;
    list_->setFixedHeight(height + 2 * list_->frameWidth() + 6);
}

bool ActionsSettingsView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == list_->viewport() && event->type() == QEvent::Resize &&
        list_->viewport()->width() != fittedWidth_) {
        fitRows();
    }
    return QWidget::eventFilter(watched, event);
}

void ActionsSettingsView::rowsMoved(int from, int to) {
    if (from < 0) return;
    model_->move({static_cast<std::size_t>(from)}, static_cast<std::size_t>(std::max(0, to)));
}

void ActionsSettingsView::openLibrary() {
    if (!libraryView_) libraryView_ = new ExtensionLibraryView(*model_, *library_, this);
    libraryView_->show();
    libraryView_->raise();
    libraryView_->activateWindow();
}

CustomActionEditor* ActionsSettingsView::openEditor(const std::string& id) {
    std::optional<CustomAction> existing;
    if (!id.empty()) existing = model_->config().customAction(ActionID{id});
    auto* editor = new CustomActionEditor(*model_, existing, this);
    editor->setAttribute(Qt::WA_DeleteOnClose);
    editor->show();
    editor->raise();
    editor->activateWindow();
    return editor;
}

}  // namespace pivorel
