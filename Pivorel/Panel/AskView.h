#pragma once

#include <QElapsedTimer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "BrisendoKit/Support/Signal.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QScrollArea;
class QToolButton;
class QVBoxLayout;

namespace pivorel {

class AskModel;
class PasteboardLike;

// A conversation with the model in the panel, 460 × 400: the kind's header with a
// streaming indicator and a close button, the quoted selection and the turns in a scroll
// area that follows the newest text, the error line, and a footer with the follow-up field
// and the copy and archive buttons.
class AskView final : public QWidget {
    Q_OBJECT
  public:
    // `close` runs for the close button. Copies go to `pasteboard`, or to the toolkit's
    // clipboard without one.
    AskView(std::shared_ptr<AskModel> model, const std::string& selection,
            std::function<void()> close, PasteboardLike* pasteboard = nullptr,
            QWidget* parent = nullptr);
    ~AskView() override;

    QLineEdit* followUpField() const;
    QPushButton* copyButton() const { return copy_; }
    QPushButton* archiveButton() const { return archive_; }
    QToolButton* closeButton() const { return closeButton_; }
    QWidget* streamingIndicator() const;
    QWidget* errorLine() const { return errorRow_; }
    QLabel* errorLabel() const { return errorText_; }
    // One view per turn shown, in order; an empty turn that is not streaming shows none.
    std::vector<QWidget*> turnViews() const;

  protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    class TurnView;
    class QuoteView;
    class Spinner;
    class FollowUpField;

    QWidget* makeHeader();
    QWidget* makeFooter();
    void refresh();
    void syncTurns();
    void scheduleFlush();
    void applyColors();
    void copyAnswer();

    std::shared_ptr<AskModel> model_;
    std::function<void()> close_;
    PasteboardLike* pasteboard_;
    Connection changed_;

    QLabel* kindIcon_ = nullptr;
    QLabel* title_ = nullptr;
    Spinner* spinner_ = nullptr;
    QToolButton* closeButton_ = nullptr;
    QScrollArea* scroll_ = nullptr;
    QVBoxLayout* items_ = nullptr;
    QuoteView* quote_ = nullptr;
    std::vector<std::pair<std::uint64_t, TurnView*>> turns_;
    QWidget* errorRow_ = nullptr;
    QLabel* errorIcon_ = nullptr;
    QLabel* errorText_ = nullptr;
    QWidget* bottom_ = nullptr;
    FollowUpField* field_ = nullptr;
    QPushButton* copy_ = nullptr;
    QPushButton* archive_ = nullptr;
    bool copied_ = false;
    bool focused_ = false;
    bool followBottom_ = true;
    // What the controls last showed.
    struct Controls {
        bool streaming;
        std::optional<std::string> error;
        std::optional<std::string> status;
        std::string followUp;
        bool copied;
        bool archived;
        bool anyTurns;
        friend bool operator==(const Controls&, const Controls&) = default;
    };
    std::optional<Controls> controls_;
    // Streamed text is shown at most once a frame.
    static constexpr qint64 kFrameMs = 16;
    qint64 frameMs_ = kFrameMs;
    QElapsedTimer lastFlush_;
    bool flushScheduled_ = false;
    bool flushing_ = false;
};

}  // namespace pivorel
