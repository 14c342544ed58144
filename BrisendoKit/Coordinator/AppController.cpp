#include "BrisendoKit/Coordinator/AppController.h"

#include <algorithm>

#include "BrisendoKit/Actions/ActionAvailability.h"
#include "BrisendoKit/Actions/ActionCatalog.h"
#include "BrisendoKit/BarPanel/BarModel.h"
#include "BrisendoKit/Content/ContentClassifier.h"
#include "BrisendoKit/Content/HistoryStats.h"
#include "BrisendoKit/Content/Ranker.h"
#include "BrisendoKit/Coordinator/ActionPerformer.h"
#include "BrisendoKit/Localization/Format.h"
#include "BrisendoKit/Platform/Workspace.h"
#include "BrisendoKit/Storage/HistoryWriter.h"
#include "BrisendoKit/Storage/Store.h"
#include "BrisendoKit/Support/Log.h"

namespace pivorel {

AppController::AppController(Store& store, ActionConfigStore actionStore, BarController& bar,
                             PanelController& panel, Workspace& workspace, const Clock& clock)
    : store_(store),
      actionStore_(std::move(actionStore)),
      bar_(bar),
      panel_(panel),
      workspace_(workspace),
      clock_(clock),
      currentConfig_(ActionConfig::defaultConfig()) {
    closeLog_ = panel_.closeLogged.connect([](const std::string& reason) {
        Log::write(formatString("Pivorel: 面板关闭 reason=%@", {reason}));
    });
}

AppController::~AppController() {
    // Models may outlive the coordinator; their callbacks find it gone.
    self_.reset();
}

void AppController::setHistoryWriter(HistoryWriter* writer) {
    writer_ = writer;
    written_ = writer ? writer->rowsWritten.connect([this] { statsChanged.emit(); }) : Connection();
}

std::vector<ActionID> AppController::rank(const SelectRequest& request, const ActionConfig& config,
                                          const ContentProfile& profile) {
    const HistoryStats history =
        store_.history(request.app, profile.primary()).valueOr(HistoryStats::empty());
    std::optional<std::string_view> app;
    if (request.app) app = *request.app;
    const auto ranked = Ranker::rank(profile, app, history, config, request.editable);
    std::vector<ActionID> ranking;
    ranking.reserve(ranked.size());
    for (const auto& entry : ranked) ranking.push_back(entry.action);
    // After ranking, so the tables stay as written and the next action moves up.
    return availability_ ? availability_->available(std::move(ranking)) : ranking;
}

std::optional<std::pair<std::int64_t, std::vector<ActionID>>> AppController::record(
    const SelectRequest& request, const ActionConfig& config) {
    const ContentProfile profile = ContentClassifier::classify(request.text);
    auto ranking = rank(request, config, profile);
    if (request.unrecorded) return std::make_pair(std::int64_t{0}, std::move(ranking));
    if (writer_) {
        const std::int64_t id = writer_->insert(request, profile, ranking, clock_.now());
        return std::make_pair(id, std::move(ranking));
    }
    const auto id = store_.insert(request, profile, ranking, clock_.now());
    notifyStatsChanged();
    if (!id) {
        Log::write("Pivorel: 选区没有记下 (" + id.error().describe() + ")");
        return std::nullopt;
    }
    return std::make_pair(*id, std::move(ranking));
}

bool AppController::showBar(const SelectRequest& request, Point down, Point up) {
    const ActionConfig config = actionStore_.load(clock_.now());
    // A conversation on screen keeps the panel: the new selection is neither recorded nor shown.
    if (panel_.isVisible() && panel_.model() && panel_.model()->mode().isAsk()) return false;

    auto recorded = record(request, config);
    if (!recorded) return false;
    auto& [id, ranking] = *recorded;

    panel_.close("bar-shown");
    auto barOrder = Ranker::barOrder(ranking, config.barCount, config.smartRanking);
    auto model = std::make_shared<BarModel>(barOrder, config.barCount, ActionCatalog(config));
    barContext_ = BarContext{request, std::move(ranking), std::move(barOrder), id, config};

    const auto weak = self_.guard();
    barChoose_ = model->chosen.connect([weak](std::int64_t index) {
        if (auto* self = weak.get()) self->barChose(index);
    });
    barMore_ = model->moreChosen.connect([weak] {
        if (auto* self = weak.get()) self->barMore();
    });
    bar_.show(std::move(model), down, up);
    // Without a screen to put it on, the bar stays away: that is no bar shown.
    if (!bar_.isVisible()) {
        barContext_.reset();
        return false;
    }
    return true;
}

bool AppController::handle(const SelectRequest& request, Point mouse,
                           PanelController::Keyboard keyboard) {
    hideBar();
    const ActionConfig config = actionStore_.load(clock_.now());
    auto recorded = record(request, config);
    if (!recorded) return false;
    barFlow_ = false;
    if (request.dry) return true;
    openPanel(request, recorded->second, recorded->first, config, mouse, keyboard);
    return true;
}

void AppController::openPanel(const SelectRequest& request, const std::vector<ActionID>& ranking,
                              std::int64_t id, const ActionConfig& config, Point mouse,
                              PanelController::Keyboard keyboard) {
    currentRecordID_ = id;
    currentRequest_ = request;
    currentConfig_ = config;
    panel_.show(makeModel(request, ranking, id, config), mouse, keyboard);
}

void AppController::handleLink(const SelectRequest& request, Point mouse, Answer answer) {
    const auto keyboard = PanelController::Keyboard::whenPointed;
    if (!writer_ || request.unrecorded) {
        const bool done = handle(request, mouse, keyboard);
        answer(done ? std::nullopt : std::optional<std::string>("not stored"));
        return;
    }
    const ActionConfig config = actionStore_.load(clock_.now());
    const ContentProfile profile = ContentClassifier::classify(request.text);
    auto ranking = rank(request, config, profile);
    auto id = std::make_shared<std::int64_t>(0);
    *id =
        writer_->insert(request, profile, ranking, clock_.now(),
                        [weak = self_.guard(), request, ranking, config, mouse, id,
                         answer = std::move(answer)](const std::optional<StoreError>& error) {
                            if (error) {
                                Log::write("Pivorel: 选区没有记下 (" + error->describe() + ")");
                                answer("not stored: " + error->describe());
                                return;
                            }
                            if (auto* self = weak.get()) {
                                self->hideBar();
                                self->barFlow_ = false;
                                if (!request.dry)
                                    self->openPanel(request, ranking, *id, config, mouse, keyboard);
                            }
                            answer(std::nullopt);
                        });
}

void AppController::logBar(std::string event, std::optional<std::string> app,
                           std::optional<std::string> reason, std::optional<std::int64_t> latencyMs,
                           bool dry, Answer answer) {
    if (writer_) {
        HistoryWriter::Written written;
        if (answer) {
            written = [answer = std::move(answer)](const std::optional<StoreError>& error) {
                answer(error ? std::optional<std::string>("not stored: " + error->describe())
                             : std::nullopt);
            };
        }
        writer_->logBar(std::move(event), std::move(app), std::move(reason), latencyMs, dry,
                        clock_.now(), std::move(written));
        return;
    }
    auto logged = store_.logBar(event, app, reason, latencyMs, dry, clock_.now());
    if (answer) {
        answer(logged ? std::nullopt
                      : std::optional<std::string>("not stored: " + logged.error().describe()));
    }
}

void AppController::archive(std::int64_t selectionID, std::string kind, std::string transcript) {
    if (writer_) {
        writer_->archive(selectionID, std::move(kind), std::move(transcript), clock_.now());
    } else {
        (void)store_.archive(selectionID, kind, transcript, clock_.now());
    }
}

void AppController::markChosen(std::int64_t id, const ActionID& action, std::int64_t rank) {
    if (id <= 0) return;
    if (writer_) {
        writer_->markChosen(id, action, rank);
    } else {
        (void)store_.markChosen(id, action, rank);
    }
}

std::shared_ptr<PanelModel> AppController::makeModel(const SelectRequest& request,
                                                     const std::vector<ActionID>& ranking,
                                                     std::int64_t /*id*/,
                                                     const ActionConfig& config) {
    std::optional<std::string> sourceApp;
    if (request.app) sourceApp = workspace_.displayName(*request.app);
    auto model =
        std::make_shared<PanelModel>(request.text, std::move(sourceApp), ranking, request.url,
                                     ActionCatalog(config), config.smartRanking, clock_.now());
    // Weak on both sides: the model must not keep itself or the coordinator alive.
    model->onChoose = [weak = self_.guard(),
                       weakModel = std::weak_ptr<PanelModel>(model)](std::int64_t index) {
        auto* self = weak.get();
        const auto chosenIn = weakModel.lock();
        if (self && chosenIn) self->choose(index, chosenIn);
    };
    return model;
}

void AppController::barChose(std::int64_t index) {
    if (!barContext_ || index < 0 ||
        index >= static_cast<std::int64_t>(barContext_->barOrder.size())) {
        return;
    }
    // The click came from the bar's model, which hiding the bar lets go of.
    const auto clicked = bar_.model();
    const Point origin = bar_.contentOrigin();
    BarContext context = std::move(*barContext_);
    const ActionID action = context.barOrder[static_cast<std::size_t>(index)];
    bar_.hide();
    barContext_.reset();
    barGone.emit();

    currentRecordID_ = context.id;
    currentRequest_ = context.request;
    currentConfig_ = context.config;
    auto model = makeModel(context.request, context.ranking, context.id, context.config);

    const auto found = std::find(context.ranking.begin(), context.ranking.end(), action);
    const std::int64_t rank = found != context.ranking.end()
                                  ? static_cast<std::int64_t>(found - context.ranking.begin()) + 1
                                  : index + 1;
    markChosen(context.id, action, rank);
    notifyStatsChanged();

    barAnchor_ = origin;
    barFlow_ = true;
    perform(action, context.request, context.id, model);
    if (action == ActionID::ask() || action == ActionID::translate()) panel_.show(model, origin);
}

void AppController::barMore() {
    if (!barContext_) return;
    const auto clicked = bar_.model();
    const Point origin = bar_.contentOrigin();
    BarContext context = std::move(*barContext_);
    bar_.hide();
    barContext_.reset();
    barGone.emit();
    barFlow_ = false;

    currentRecordID_ = context.id;
    currentRequest_ = context.request;
    currentConfig_ = context.config;
    panel_.show(makeModel(context.request, context.ranking, context.id, context.config), origin);
}

void AppController::choose(std::int64_t index, const std::shared_ptr<PanelModel>& model) {
    if (!model || index < 0 || index >= static_cast<std::int64_t>(model->rows().size()) ||
        !currentRecordID_ || !currentRequest_) {
        return;
    }
    const ActionID action = model->rows()[static_cast<std::size_t>(index)].action;
    const std::int64_t id = *currentRecordID_;
    const SelectRequest request = *currentRequest_;
    markChosen(id, action, index + 1);
    notifyStatsChanged();
    perform(action, request, id, model);
}

void AppController::notice(const std::string& text, double seconds) {
    if (panel_.model() && panel_.isVisible()) {
        panel_.notice(text, seconds);
        return;
    }
    // An action chosen in the panel that has since closed has nowhere to report.
    if (!barFlow_) return;
    auto model =
        std::make_shared<PanelModel>(std::string(), std::nullopt, std::vector<ActionID>{},
                                     std::nullopt, ActionCatalog::builtin(), true, clock_.now());
    model->setMode(PanelMode::notice(text));
    const Point near = barAnchor_ == Point{} ? workspace_.pointerLocation() : barAnchor_;
    panel_.show(std::move(model), near);
    panel_.notice(text, seconds);
}

void AppController::hideBar() {
    if (!bar_.isVisible()) return;
    bar_.hide();
    barContext_.reset();
}

void AppController::perform(const ActionID& action, const SelectRequest& request,
                            std::int64_t recordID, const std::shared_ptr<PanelModel>& model) {
    if (performer_) performer_->perform(action, request, recordID, model);
}

void AppController::notifyStatsChanged() {
    // With a writer, statistics change when its rows land.
    if (!writer_) statsChanged.emit();
}

}  // namespace pivorel
