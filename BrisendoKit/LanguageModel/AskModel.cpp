#include "BrisendoKit/LanguageModel/AskModel.h"

#include <atomic>

#include "BrisendoKit/Localization/L.h"
#include "BrisendoKit/Support/Text.h"

namespace pivorel {

namespace {

std::uint64_t nextTurnID() {
    static std::atomic<std::uint64_t> next{1};
    return next++;
}

}  // namespace

AskModel::AskModel(AskKind kind, std::shared_ptr<ChatStreaming> client,
                   std::vector<ChatMessage> initialMessages, Archive archive)
    : kind_(kind),
      client_(std::move(client)),
      history_(std::move(initialMessages)),
      archive_(std::move(archive)) {}

AskModel::~AskModel() {
    if (task_) task_->cancel();
}

void AskModel::setFollowUp(std::string text) {
    if (text == followUp_) return;
    followUp_ = std::move(text);
    changed.emit();
}

void AskModel::setStatus(std::optional<std::string> text) {
    if (status_ == text) return;
    status_ = std::move(text);
    changed.emit();
}

void AskModel::start() {
    stream();
}

void AskModel::stream() {
    errorText_.reset();
    isStreaming_ = true;
    turns_.push_back({nextTurnID(), "assistant", {}});
    // The callbacks need no guard for `this`: the model owns the task, and a cancelled
    // or destroyed task calls nothing.
    auto previous = std::move(task_);
    if (previous) previous->cancel();
    changed.emit();
    task_ = client_->stream(
        history_, [this](const std::string& text) { piece(text); },
        [this](const std::optional<StreamError>& error) { finished(error); });
}

void AskModel::piece(const std::string& text) {
    if (!isStreaming_) return;  // a source that calls on after cancel()
    // The streaming turn is the last one: nothing adds a turn while an answer streams.
    std::string& answer = turns_.back().text;
    if (answer.size() + text.size() > maxAnswerBytes) {
        answer += text::utf8Prefix(text, maxAnswerBytes - answer.size());
        truncate();
        return;
    }
    answer += text;
    changed.emit();
}

void AskModel::finished(const std::optional<StreamError>& error) {
    if (!isStreaming_) return;
    if (error) errorText_ = description(*error);
    isStreaming_ = false;
    if (!turns_.back().text.empty()) {
        history_.push_back({"assistant", turns_.back().text});
    } else if (errorText_) {
        turns_.pop_back();  // only the error shows
    }
    changed.emit();
}

void AskModel::truncate() {
    if (task_) task_->cancel();
    isStreaming_ = false;
    Turn& turn = turns_.back();
    history_.push_back({"assistant", turn.text});
    turn.text += "\n";
    turn.text += L("(已截断)");
    changed.emit();
}

void AskModel::sendFollowUp() {
    if (isStreaming_) return;
    std::string question = text::trim(followUp_);
    if (question.empty()) return;
    followUp_.clear();
    history_.push_back({"user", question});
    turns_.push_back({nextTurnID(), "user", std::move(question)});
    stream();
}

void AskModel::cancel() {
    if (task_) task_->cancel();
    if (!isStreaming_) return;
    isStreaming_ = false;
    changed.emit();
}

void AskModel::archive() {
    // One conversation, one archive row, however often the button is reached.
    if (turns_.empty() || archived_) return;
    if (archive_) archive_(transcript());
    archived_ = true;
    changed.emit();
}

std::string AskModel::lastAnswer() const {
    for (auto it = turns_.rbegin(); it != turns_.rend(); ++it) {
        if (it->role == "assistant") return it->text;
    }
    return {};
}

std::string AskModel::transcript() const {
    std::string out;
    for (const auto& turn : turns_) {
        if (!out.empty()) out += "\n\n";
        out += turn.role == "user" ? L("问：") : L("答：");
        out += turn.text;
    }
    return out;
}

}  // namespace pivorel
