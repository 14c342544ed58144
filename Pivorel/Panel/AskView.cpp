#include "Pivorel/Panel/AskView.h"

#include <QAbstractTextDocumentLayout>
#include <QClipboard>
#include <QEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <cmath>
#include <memory>

#include "BrisendoKit/BarPanel/PanelPlacement.h"
#include "BrisendoKit/LanguageModel/AskModel.h"
#include "BrisendoKit/Localization/L.h"
#include "BrisendoKit/Platform/PasteboardLike.h"
#include "Pivorel/Look/PivorelStyle.h"
#include "Pivorel/Look/Symbols.h"
#include "Pivorel/Look/WrappedText.h"

namespace pivorel {

namespace {

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

void setForeground(QWidget* widget, const QColor& color) {
    QPalette pal = widget->palette();
    pal.setColor(QPalette::WindowText, color);
    pal.setColor(QPalette::Text, color);
    pal.setColor(QPalette::ButtonText, color);
    widget->setPalette(pal);
}

// A hairline across the view at the separator colour's 0.6.
class Divider final : public QWidget {
  public:
    explicit Divider(QWidget* parent) : QWidget(parent) { setFixedHeight(1); }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        QColor color = PivorelStyle::separator(palette());
        color.setAlphaF(color.alphaF() * 0.6f);
        p.fillRect(rect(), color);
    }
};

}  // namespace

// The text of one turn. Long words and addresses break anywhere rather than widen the
// view; an answer's text can be selected and copied.
class AskView::TurnView final : public QTextEdit {
  public:
    TurnView(bool user, QWidget* parent) : QTextEdit(parent), user_(user) {
        setReadOnly(true);
        setFrameShape(QFrame::NoFrame);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setLineWrapMode(QTextEdit::WidgetWidth);
        setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        setTextInteractionFlags(user ? Qt::NoTextInteraction
                                     : Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        setFocusPolicy(user ? Qt::NoFocus : Qt::ClickFocus);
        setContextMenuPolicy(user ? Qt::NoContextMenu : Qt::DefaultContextMenu);
        viewport()->setAutoFillBackground(false);
        setAutoFillBackground(false);
        document()->setDocumentMargin(0);
        setFont(user ? PivorelStyle::font(12.5, QFont::Medium) : PivorelStyle::font(13.5));
        QTextOption option = document()->defaultTextOption();
        option.setAlignment(user ? Qt::AlignRight : Qt::AlignLeft);
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        document()->setDefaultTextOption(option);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
        QSizePolicy policy = sizePolicy();
        policy.setHeightForWidth(true);
        setSizePolicy(policy);
    }

    // Shows `text`, or the placeholder of an answer that has not begun. A turn's text only
    // grows at its end, so what is already shown stays and only the rest is appended: a
    // selection survives streaming and nothing already laid out is laid out again.
    void display(const std::string& text, bool placeholder) {
        if (placeholder) {
            if (placeholder_) return;
            setPlainText(QString(QChar(0x2026)));
            placeholder_ = true;
            shownBytes_ = 0;
        } else if (placeholder_ || text.size() < shownBytes_) {
            clear();
            placeholder_ = false;
            paragraph_ = 0;
            shownBytes_ = 0;
            append(text);
        } else if (text.size() > shownBytes_) {
            append(text);
        } else {
            return;
        }
        updateGeometry();
    }
    // Whether display(text, placeholder) would change nothing.
    bool shows(const std::string& text, bool placeholder) const {
        return placeholder ? placeholder_ : !placeholder_ && text.size() == shownBytes_;
    }
    bool isEmpty() const { return !placeholder_ && shownBytes_ == 0; }

    // Every frame lays the last paragraph out again, at a cost that grows with its length:
    // a line without end is shown in paragraphs of at most this many characters.
    static constexpr qsizetype kMaxParagraph = 8192;

    bool hasHeightForWidth() const override { return true; }
    // At the shown width the document's own layout answers; other widths, which the layout
    // also asks about, are measured on a copy so the shown document keeps wrapping at the
    // real one.
    int heightForWidth(int width) const override {
        if (document()->textWidth() == width) {
            return static_cast<int>(std::ceil(document()->size().height()));
        }
        const int revision = document()->revision();
        if (width != measuredWidth_ || revision != measuredRevision_) {
            std::unique_ptr<QTextDocument> copy(document()->clone());
            copy->setDefaultFont(font());
            copy->setTextWidth(width);
            measuredHeight_ = static_cast<int>(std::ceil(copy->size().height()));
            measuredWidth_ = width;
            measuredRevision_ = revision;
        }
        return measuredHeight_;
    }
    QSize sizeHint() const override {
        const int w = width() > 0 ? width() : 400;
        return {w, heightForWidth(w)};
    }
    QSize minimumSizeHint() const override { return {0, heightForWidth(std::max(1, width()))}; }
    bool isUser() const { return user_; }

  protected:
    void resizeEvent(QResizeEvent* event) override {
        QTextEdit::resizeEvent(event);
        updateGeometry();
    }

  private:
    // Appends the text after what is shown, in one edit.
    void append(const std::string& text) {
        QString more = QString::fromUtf8(text.data() + shownBytes_,
                                         static_cast<qsizetype>(text.size() - shownBytes_));
        for (qsizetype i = 0; i < more.size(); ++i) {
            if (more[i] == u'\n') {
                paragraph_ = 0;
            } else if (++paragraph_ > kMaxParagraph && !more[i].isLowSurrogate()) {
                more.insert(i++, QChar::ParagraphSeparator);
                paragraph_ = 1;
            }
        }
        QTextCursor cursor(document());
        cursor.movePosition(QTextCursor::End);
        cursor.insertText(more);
        shownBytes_ = text.size();
    }

    bool user_;
    bool placeholder_ = false;
    qsizetype paragraph_ = 0;     // characters in the last paragraph shown
    std::size_t shownBytes_ = 0;  // of the turn's UTF-8 text
    mutable int measuredWidth_ = -1;
    mutable int measuredRevision_ = -1;
    mutable int measuredHeight_ = 0;
};

// The quoted selection on a tinted rounded rectangle, cut after six lines.
class AskView::QuoteView final : public QWidget {
  public:
    QuoteView(const std::string& text, QWidget* parent) : QWidget(parent), text_(qs(text)) {
        QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
        policy.setHeightForWidth(true);
        setSizePolicy(policy);
        setAccessibleName(text_);
    }

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override {
        return static_cast<int>(std::ceil(lines(width).height() + 2 * kPadding));
    }
    QSize sizeHint() const override {
        const int w = width() > 0 ? width() : 400;
        return {w, heightForWidth(w)};
    }
    const QString& text() const { return text_; }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        QPainterPath shape;
        shape.addRoundedRect(QRectF(rect()), 8, 8);
        p.fillPath(shape, PivorelStyle::quaternaryFill(palette()));
        lines(width()).draw(p, QPointF(kPadding, kPadding), PivorelStyle::secondary(palette()));
    }

  private:
    static constexpr double kPadding = 10;
    static constexpr int kMaxLines = 6;

    WrappedText lines(int width) const {
        return WrappedText(text_, PivorelStyle::font(12), std::max(1.0, width - 2 * kPadding),
                           kMaxLines);
    }

    QString text_;
};

// A small spinning arc shown while an answer streams.
class AskView::Spinner final : public QWidget {
  public:
    explicit Spinner(QWidget* parent) : QWidget(parent) {
        setFixedSize(14, 14);
        timer_.setInterval(80);
        QObject::connect(&timer_, &QTimer::timeout, this, [this] {
            angle_ = (angle_ + 30) % 360;
            update();
        });
    }

  protected:
    void showEvent(QShowEvent*) override { timer_.start(); }
    void hideEvent(QHideEvent*) override { timer_.stop(); }
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        QPen pen(PivorelStyle::secondary(palette()), 1.6);
        pen.setCapStyle(Qt::RoundCap);
        p.setPen(pen);
        p.drawArc(QRectF(rect()).adjusted(2, 2, -2, -2), -angle_ * 16, 270 * 16);
    }

  private:
    QTimer timer_;
    int angle_ = 0;
};

// The follow-up field: plain text on a rounded rectangle.
class AskView::FollowUpField final : public QLineEdit {
  public:
    explicit FollowUpField(QWidget* parent) : QLineEdit(parent) {
        setFrame(false);
        setAttribute(Qt::WA_MacShowFocusRect, false);
        setFont(PivorelStyle::font(13));
        setTextMargins(8, 0, 8, 0);
        setFixedHeight(28);
        setAutoFillBackground(false);
        // The style fills the field with the base colour even without a frame.
        QPalette pal = palette();
        pal.setColor(QPalette::Base, Qt::transparent);
        setPalette(pal);
    }

  protected:
    void paintEvent(QPaintEvent* event) override {
        {
            QPainter p(this);
            p.setRenderHint(QPainter::Antialiasing);
            QPainterPath shape;
            shape.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 7, 7);
            p.fillPath(shape, PivorelStyle::quaternaryFill(palette()));
            QColor border = PivorelStyle::accent(palette());
            if (!hasFocus()) border = PivorelStyle::separator(palette());
            p.strokePath(shape, QPen(border, hasFocus() ? 1.0 : 0.5));
        }
        QLineEdit::paintEvent(event);
    }
};

AskView::AskView(std::shared_ptr<AskModel> model, const std::string& selection,
                 std::function<void()> close, PasteboardLike* pasteboard, QWidget* parent)
    : QWidget(parent), model_(std::move(model)), close_(std::move(close)), pasteboard_(pasteboard) {
    setFixedSize(static_cast<int>(PanelMetrics::askSize.width),
                 static_cast<int>(PanelMetrics::askSize.height));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(makeHeader());
    column->addWidget(new Divider(this));

    scroll_ = new QScrollArea(this);
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setWidgetResizable(true);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scroll_->viewport()->setAutoFillBackground(false);
    auto* content = new QWidget(scroll_);
    content->setAutoFillBackground(false);
    items_ = new QVBoxLayout(content);
    items_->setContentsMargins(14, 14, 14, 14);
    items_->setSpacing(12);
    quote_ = new QuoteView(selection, content);
    items_->addWidget(quote_);
    errorRow_ = new QWidget(content);
    auto* errorLine = new QHBoxLayout(errorRow_);
    errorLine->setContentsMargins(0, 0, 0, 0);
    errorLine->setSpacing(6);
    errorIcon_ = new QLabel(Symbols::text("exclamationmark.triangle"), errorRow_);
    errorIcon_->setFont(Symbols::font(12));
    errorIcon_->setAlignment(Qt::AlignTop);
    errorText_ = new QLabel(errorRow_);
    errorText_->setFont(PivorelStyle::font(12));
    errorText_->setWordWrap(true);
    errorText_->setTextFormat(Qt::PlainText);
    errorLine->addWidget(errorIcon_);
    errorLine->addWidget(errorText_, 1);
    errorRow_->hide();
    items_->addWidget(errorRow_);
    bottom_ = new QWidget(content);
    bottom_->setObjectName(QStringLiteral("bottom"));
    bottom_->setFixedHeight(1);
    items_->addWidget(bottom_);
    items_->addStretch(1);
    scroll_->setWidget(content);
    // setWidget() turns the background on; the panel's own shows through instead.
    content->setAutoFillBackground(false);
    column->addWidget(scroll_, 1);
    // Follow the newest text until the reader scrolls away; a new turn follows again.
    QObject::connect(scroll_->verticalScrollBar(), &QScrollBar::rangeChanged, this,
                     [this](int, int max) {
                         if (followBottom_) scroll_->verticalScrollBar()->setValue(max);
                     });
    QObject::connect(scroll_->verticalScrollBar(), &QScrollBar::actionTriggered, this, [this] {
        QScrollBar* bar = scroll_->verticalScrollBar();
        followBottom_ = bar->sliderPosition() >= bar->maximum();
    });

    column->addWidget(new Divider(this));
    column->addWidget(makeFooter());

    applyColors();
    changed_ = model_->changed.connect([this] { refresh(); });
    refresh();
}

AskView::~AskView() = default;

QWidget* AskView::makeHeader() {
    auto* header = new QWidget(this);
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(14, 10, 10, 10);
    row->setSpacing(8);
    kindIcon_ = new QLabel(Symbols::text(askKindSymbol(model_->kind())), header);
    kindIcon_->setFont(Symbols::font(13.5));
    title_ = new QLabel(qs(askKindTitle(model_->kind())), header);
    title_->setFont(PivorelStyle::font(13.5, QFont::DemiBold));
    spinner_ = new Spinner(header);
    closeButton_ = new QToolButton(header);
    closeButton_->setAutoRaise(true);
    closeButton_->setFocusPolicy(Qt::NoFocus);
    closeButton_->setText(Symbols::text("xmark.circle.fill"));
    closeButton_->setFont(Symbols::font(14));
    closeButton_->setToolTip(qs(L("关闭（Esc）")));
    closeButton_->setAccessibleName(qs(L("关闭（Esc）")));
    QObject::connect(closeButton_, &QToolButton::clicked, this, [this] {
        auto close = close_;
        if (close) close();
    });
    row->addWidget(kindIcon_);
    row->addWidget(title_);
    row->addWidget(spinner_);
    row->addStretch(1);
    row->addWidget(closeButton_);
    return header;
}

QWidget* AskView::makeFooter() {
    auto* footer = new QWidget(this);
    auto* row = new QHBoxLayout(footer);
    row->setContentsMargins(14, 10, 14, 12);
    row->setSpacing(8);
    field_ = new FollowUpField(footer);
    field_->setPlaceholderText(qs(L("追问，回车发送")));
    QObject::connect(field_, &QLineEdit::textEdited, this,
                     [this](const QString& text) { model_->setFollowUp(text.toStdString()); });
    QObject::connect(field_, &QLineEdit::returnPressed, this, [this] {
        auto model = model_;
        model->sendFollowUp();
    });
    copy_ = new QPushButton(footer);
    copy_->setFocusPolicy(Qt::NoFocus);
    copy_->setFont(PivorelStyle::font(12.5));
    QObject::connect(copy_, &QPushButton::clicked, this, [this] { copyAnswer(); });
    archive_ = new QPushButton(footer);
    archive_->setFocusPolicy(Qt::NoFocus);
    archive_->setFont(PivorelStyle::font(12.5));
    QObject::connect(archive_, &QPushButton::clicked, this, [this] {
        auto model = model_;
        model->archive();
    });
    row->addWidget(field_, 1);
    row->addWidget(copy_);
    row->addWidget(archive_);
    return footer;
}

QLineEdit* AskView::followUpField() const {
    return field_;
}

QWidget* AskView::streamingIndicator() const {
    return spinner_;
}

std::vector<QWidget*> AskView::turnViews() const {
    std::vector<QWidget*> out;
    for (const auto& [id, view] : turns_) {
        if (!view->isHidden()) out.push_back(view);
    }
    return out;
}

void AskView::copyAnswer() {
    const std::string answer = model_->lastAnswer();
    if (answer.empty()) return;
    if (pasteboard_) {
        pasteboard_->setString(answer);
    } else if (auto* clipboard = QGuiApplication::clipboard()) {
        clipboard->setText(qs(answer));
    }
    copied_ = true;
    refresh();
}

void AskView::syncTurns() {
    const auto& turns = model_->turns();
    bool changed = turns.size() != turns_.size();
    // Turns only grow at the end; anything else is rebuilt from the first difference.
    std::size_t keep = 0;
    while (keep < turns_.size() && keep < turns.size() && turns_[keep].first == turns[keep].id)
        ++keep;
    for (std::size_t i = keep; i < turns_.size(); ++i) {
        turns_[i].second->hide();
        turns_[i].second->deleteLater();
    }
    if (keep < turns_.size()) changed = true;
    turns_.resize(keep);
    QWidget* content = scroll_->widget();
    for (std::size_t i = keep; i < turns.size(); ++i) {
        auto* view = new TurnView(turns[i].role == "user", content);
        // After the quote and the turns before it.
        items_->insertWidget(static_cast<int>(1 + i), view);
        setForeground(view, PivorelStyle::primary(palette()));
        view->hide();  // until it has something to show
        turns_.emplace_back(turns[i].id, view);
    }
    for (std::size_t i = 0; i < turns.size(); ++i) {
        TurnView* view = turns_[i].second;
        const bool last = i + 1 == turns.size();
        const std::string& text = turns[i].text;
        const bool placeholder = text.empty() && last && model_->isStreaming() && !view->isUser();
        if (view->shows(text, placeholder)) continue;
        // A streaming answer grows piece by piece, often many per frame: it is shown once a
        // frame instead.
        if (!flushing_ && last && model_->isStreaming() && !placeholder) {
            scheduleFlush();
            continue;
        }
        changed = true;
        view->display(text, placeholder);
        view->setVisible(!view->isEmpty());
    }
    if (changed) {
        followBottom_ = true;
        QTimer::singleShot(0, this, [this] {
            scroll_->verticalScrollBar()->setValue(scroll_->verticalScrollBar()->maximum());
        });
    }
}

void AskView::scheduleFlush() {
    if (flushScheduled_) return;
    flushScheduled_ = true;
    const qint64 wait = lastFlush_.isValid() ? frameMs_ - lastFlush_.elapsed() : 0;
    const auto flush = [this] {
        flushScheduled_ = false;
        QElapsedTimer took;
        took.start();
        flushing_ = true;
        syncTurns();
        flushing_ = false;
        // A frame that took long to lay out (a very long paragraph) waits longer for the
        // next, so the main thread keeps most of its time for everything else.
        lastFlush_.start();
        frameMs_ = std::max(kFrameMs, 2 * took.elapsed());
    };
    if (wait <= 0) {
        QMetaObject::invokeMethod(this, flush, Qt::QueuedConnection);
    } else {
        QTimer::singleShot(static_cast<int>(wait), Qt::PreciseTimer, this, flush);
    }
}

void AskView::refresh() {
    syncTurns();
    // Most changes are a streamed piece, which leaves the controls as they are.
    Controls now{model_->isStreaming(),
                 model_->errorText(),
                 model_->status(),
                 model_->followUp(),
                 copied_,
                 model_->archived(),
                 !model_->turns().empty()};
    if (controls_ && *controls_ == now) return;
    controls_ = std::move(now);
    spinner_->setVisible(model_->isStreaming());
    // A status takes the error's place while there is no error.
    const auto& error = model_->errorText();
    const auto& line = error ? error : model_->status();
    errorRow_->setVisible(line.has_value());
    errorIcon_->setVisible(error.has_value());
    if (line) errorText_->setText(qs(*line));
    const QString followUp = qs(model_->followUp());
    if (field_->text() != followUp) field_->setText(followUp);
    copy_->setText(qs(copied_ ? L("已复制") : L("复制")));
    archive_->setText(qs(model_->archived() ? L("已存档") : L("存档")));
    archive_->setEnabled(!model_->archived() && !model_->turns().empty());
}

void AskView::applyColors() {
    const QPalette& pal = palette();
    setForeground(kindIcon_, PivorelStyle::accent(pal));
    setForeground(title_, PivorelStyle::primary(pal));
    setForeground(closeButton_, PivorelStyle::tertiary(pal));
    setForeground(errorIcon_, PivorelStyle::orange(pal));
    setForeground(errorText_, PivorelStyle::orange(pal));
    for (const auto& [id, view] : turns_) setForeground(view, PivorelStyle::primary(pal));
}

void AskView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!focused_) {
        focused_ = true;
        field_->setFocus(Qt::OtherFocusReason);
    }
}

void AskView::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) applyColors();
}

}  // namespace pivorel
