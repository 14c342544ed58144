#include "BrisendoKit/LanguageModel/StreamTask.h"

#include <thread>

#include "BrisendoKit/Support/MainQueue.h"

namespace pivorel {

namespace {

class WorkerHandle final : public Cancellable {
  public:
    WorkerHandle(std::shared_ptr<StreamTask> task, std::thread worker)
        : task_(std::move(task)), worker_(std::move(worker)) {}
    ~WorkerHandle() override {
        cancel();
        if (worker_.joinable()) worker_.join();
    }
    void cancel() override { task_->cancel(); }

  private:
    std::shared_ptr<StreamTask> task_;
    std::thread worker_;
};

}  // namespace

StreamTask::StreamTask(MainQueue& queue, ChatStreaming::OnPiece onPiece,
                       ChatStreaming::OnFinish onFinish)
    : queue_(queue), onPiece_(std::move(onPiece)), onFinish_(std::move(onFinish)) {}

std::unique_ptr<Cancellable> StreamTask::start(std::shared_ptr<StreamTask> task,
                                               std::function<void()> work) {
    std::thread worker(std::move(work));
    return std::make_unique<WorkerHandle>(std::move(task), std::move(worker));
}

void StreamTask::postPiece(std::string piece) {
    queue_.post([self = shared_from_this(), piece = std::move(piece)] {
        if (!self->isCancelled() && self->onPiece_) self->onPiece_(piece);
    });
}

void StreamTask::postFinish(std::optional<StreamError> error) {
    queue_.post([self = shared_from_this(), error = std::move(error)] {
        if (self->isCancelled()) return;
        auto onFinish = std::move(self->onFinish_);
        self->onFinish_ = nullptr;
        self->onPiece_ = nullptr;
        if (onFinish) onFinish(error);
    });
}

void StreamTask::post(std::function<void()> action) {
    queue_.post([self = shared_from_this(), action = std::move(action)] {
        if (!self->isCancelled()) action();
    });
}

void StreamTask::setWake(std::function<void()> wake) {
    std::lock_guard lock(wakeMutex_);
    wake_ = std::move(wake);
}

void StreamTask::cancel() {
    cancelled_ = true;
    // Dropping the callbacks releases whatever they hold.
    onPiece_ = nullptr;
    onFinish_ = nullptr;
    std::lock_guard lock(wakeMutex_);
    if (wake_) wake_();
}

}  // namespace pivorel
