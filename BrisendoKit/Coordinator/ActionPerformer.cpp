#include "BrisendoKit/Coordinator/ActionPerformer.h"

#include "BrisendoKit/Support/Calendar.h"

#include <atomic>
#include <chrono>
#include <utility>
#include <vector>

#include "BrisendoKit/Actions/ActionCatalog.h"
#include "BrisendoKit/Actions/ActionConfig.h"
#include "BrisendoKit/Actions/ActionLinks.h"
#include "BrisendoKit/Actions/FlomoClient.h"
#include "BrisendoKit/BarPanel/PanelModel.h"
#include "BrisendoKit/Content/DateExtractor.h"
#include "BrisendoKit/Content/EventDraft.h"
#include "BrisendoKit/Content/ReminderDraft.h"
#include "BrisendoKit/Coordinator/AppController.h"
#include "BrisendoKit/LanguageModel/AskModel.h"
#include "BrisendoKit/LanguageModel/LLMClient.h"
#include "BrisendoKit/LanguageModel/ModelTranslationChannel.h"
#include "BrisendoKit/LanguageModel/Prompts.h"
#include "BrisendoKit/LanguageModel/RoutedTranslator.h"
#include "BrisendoKit/LanguageModel/SystemTranslationChannel.h"
#include "BrisendoKit/LanguageModel/TranslateEngine.h"
#include "BrisendoKit/Localization/Format.h"
#include "BrisendoKit/Localization/L.h"
#include "BrisendoKit/Platform/CalendarService.h"
#include "BrisendoKit/Platform/DesktopTargets.h"
#include "BrisendoKit/Platform/NoOnDeviceTranslator.h"
#include "BrisendoKit/Platform/PasteboardLike.h"
#include "BrisendoKit/Platform/Workspace.h"
#include "BrisendoKit/Storage/BarSettings.h"
#include "BrisendoKit/Storage/Credentials.h"
#include "BrisendoKit/Storage/Store.h"
#include "BrisendoKit/Support/Clock.h"
#include "BrisendoKit/Support/Log.h"
#include "BrisendoKit/Support/MainQueue.h"
#include "BrisendoKit/Support/Text.h"

namespace pivorel {

namespace {

constexpr std::size_t dictionaryTextLimit = 200;

std::optional<std::string_view> view(const std::optional<std::string>& s) {
    if (!s) return std::nullopt;
    return std::string_view(*s);
}

}  // namespace

ActionPerformer::ActionPerformer(Services services) : s_(std::move(services)) {
    if (!s_.onDeviceTranslator) s_.onDeviceTranslator = std::make_shared<NoOnDeviceTranslator>();
}

ActionPerformer::~ActionPerformer() {
    self_.reset();
    background_.stop();
}

void ActionPerformer::perform(const ActionID& action, const SelectRequest& request,
                              std::int64_t recordID, const std::shared_ptr<PanelModel>& model) {
    AppController& controller = s_.controller;
    if (action == ActionID::ask()) {
        startAsk(AskKind::ask, request, recordID, model);
    } else if (action == ActionID::translate()) {
        startAsk(AskKind::translate, request, recordID, model);
    } else if (action == ActionID::flomo()) {
        sendToFlomo(request);
    } else if (action == ActionID::calendar()) {
        addEvent(request);
    } else if (action == ActionID::todo()) {
        addReminder(request);
    } else if (action == ActionID::dayOne()) {
        std::string entry = request.text;
        const auto app = displayName(request.app);
        if (auto line = ActionLinks::sourceLine(view(app), view(request.url))) {
            entry += "\n\n" + *line;
        }
        open(ActionLinks::dayOne(entry), L("没有找到 Day One"));
    } else if (action == ActionID::google()) {
        open(ActionLinks::google(request.text), L("打不开浏览器"));
    } else if (action == ActionID::kagi()) {
        open(ActionLinks::kagi(request.text), L("打不开浏览器"));
    } else if (action == ActionID::openURL()) {
        open(ActionLinks::openable(request.text), L("打不开这个链接"));
    } else if (action == ActionID::copy()) {
        // The text as selected, untrimmed: what a copy in the application would have given.
        s_.pasteboard.setString(request.text);
        controller.notice(L("已复制"), 1.4);
    } else if (action == ActionID::cut()) {
        edit(SelectionReader::EditCommand::cut, request);
    } else if (action == ActionID::paste()) {
        edit(SelectionReader::EditCommand::paste, request);
    } else if (action == ActionID::lookup()) {
        lookUp(request.text);
    } else {
        performCustom(action, request);
    }
}

std::string ActionPerformer::dictionaryText(const std::string& text) {
    return text::graphemePrefix(text::trim(text), dictionaryTextLimit);
}

std::string ActionPerformer::dictionaryURL(const std::string& text) {
    return "dict://" + URLTemplate::percentEncode(dictionaryText(text));
}

void ActionPerformer::lookUp(const std::string& text) {
    if (s_.targets && s_.targets->lookUp(dictionaryText(text))) {
        s_.controller.panel().close("action-opened");
        return;
    }
    open(dictionaryURL(text), L("没有找到「词典」"));
}

void ActionPerformer::performCustom(const ActionID& action, const SelectRequest& request) {
    AppController& controller = s_.controller;
    const auto custom = controller.currentConfig().customAction(action);
    if (!custom) {
        controller.notice(L("这个自定义动作已被删除"), 3.0);
        return;
    }
    std::optional<std::string> url;
    if (!custom->validationError()) {
        url = URLTemplate::expand(custom->urlTemplate, request.text, view(request.url));
    }
    if (!url) {
        controller.notice(L("「%@」的 URL 模板无效，请到设置 → 动作里修改", custom->name), 4.0);
        return;
    }
    open(url, L("没有能打开这个链接的 App"));
}

void ActionPerformer::open(const std::optional<std::string>& url, const std::string& missing) {
    if (!url || !s_.workspace.canOpen(*url)) {
        s_.controller.notice(missing, 3.0);
        return;
    }
    s_.workspace.open(*url);
    s_.controller.panel().close("action-opened");
}

void ActionPerformer::edit(SelectionReader::EditCommand command, const SelectRequest& request) {
    AppController& controller = s_.controller;
    // The source application must be in front again before its Edit menu is pressed.
    controller.panel().close("action-opened");
    const auto result = s_.reader.performEdit(command, request.app);
    const bool cut = command == SelectionReader::EditCommand::cut;
    std::string message;
    switch (result) {
        case SelectionReader::EditResult::pressed:
            message = cut ? L("已剪切") : L("已粘贴");
            break;
        case SelectionReader::EditResult::disabled:
            message = cut ? L("这里不能剪切（只读内容）") : L("这里不能粘贴（只读内容）");
            break;
        case SelectionReader::EditResult::noMenu:
            message = L("没有找到这个 App 的「编辑」菜单");
            break;
    }
    const bool pressed = result == SelectionReader::EditResult::pressed;
    if (controller.barFlow()) {
        controller.notice(message, pressed ? 1.2 : 2.5);
        return;
    }
    // From the panel, which is closed by now: success speaks for itself, a failure gets a
    // small panel at the pointer.
    if (pressed) return;
    auto notice =
        std::make_shared<PanelModel>(std::string(), std::nullopt, std::vector<ActionID>{},
                                     std::nullopt, ActionCatalog::builtin(), true, s_.clock.now());
    notice->setMode(PanelMode::notice(message));
    controller.panel().show(std::move(notice), s_.workspace.pointerLocation());
    controller.panel().notice(message, 4.5);
}

void ActionPerformer::addReminder(const SelectRequest& request) {
    const auto calendar = currentCalendar();
    const auto app = displayName(request.app);
    ReminderDraft draft = ReminderDraftBuilder::make(request.text, view(app), view(request.url),
                                                     s_.clock.now(), *calendar);
    s_.controller.notice(L("正在加到提醒事项…"), 60);
    const auto due = draft.due;
    ReminderCreator(s_.queue, s_.reminders, background_.runner())
        .add(std::move(draft),
             [guard = self_.guard(), due](const ReminderCreator::Outcome& result) {
                 auto* self = guard.get();
                 if (!self) return;
                 AppController& controller = self->s_.controller;
                 if (!result) {
                     controller.notice(result.error().description(), 6.0);
                 } else if (due) {
                     controller.notice(
                         L("已加到「%@」，截止 %@", *result, DateExtractor::describe(*due)), 2.0);
                 } else {
                     controller.notice(L("已加到「%@」", *result), 2.0);
                 }
             });
}

void ActionPerformer::addEvent(const SelectRequest& request) {
    const auto calendar = currentCalendar();
    const auto app = displayName(request.app);
    EventDraft draft =
        EventDraft::make(request.text, view(app), view(request.url), s_.clock.now(), *calendar);
    s_.controller.notice(L("正在加到日历…"), 60);
    const auto started = std::chrono::steady_clock::now();
    background_.runner()([open = s_.calendar, queue = &s_.queue, guard = self_.guard(),
                          draft = std::move(draft), started] {
        auto service = open ? open() : nullptr;
        auto result = service ? service->add(draft.event)
                              : Result<std::string, CalendarError>(
                                    fail(CalendarError{CalendarError::Kind::noCalendar, {}, {}}));
        queue->post([guard, draft, result = std::move(result), started] {
            auto* self = guard.get();
            if (!self) return;
            const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::steady_clock::now() - started);
            Log::write(formatString("Pivorel: 日历 结果=%@ 用时=%dms",
                                    {result ? *result : std::string("失败"),
                                     static_cast<std::int64_t>(elapsed.count())}));
            AppController& controller = self->s_.controller;
            if (!result) {
                const auto& error = result.error();
                controller.notice(error.kind == CalendarError::Kind::noCalendar
                                      ? L("没有找到日历 App")
                                      : L("没法加到日历「%@」：%@", error.calendar, error.reason),
                                  6.0);
            } else if (draft.dated) {
                controller.notice(L("已加到日历，%@", DateExtractor::describe(draft.event.start)),
                                  2.0);
            } else {
                controller.notice(L("已加到日历"), 2.0);
            }
        });
    });
}

void ActionPerformer::sendToFlomo(const SelectRequest& request) {
    const bool dry = s_.settings.flomoDry();
    s_.controller.notice(dry ? L("flomo（dry-run，未发送）…") : L("正在记到 flomo…"), 30);
    const FlomoClient client(dry, s_.queue, FlomoClient::storedWebhook(*s_.credentials.store()),
                             background_.runner());
    client.send(request.text, displayName(request.app), request.url,
                [guard = self_.guard()](const FlomoResult& result) {
                    auto* self = guard.get();
                    if (!self) return;
                    AppController& controller = self->s_.controller;
                    switch (result.kind) {
                        case FlomoResult::Kind::dryRun:
                            controller.notice(L("dry-run：已构造 flomo 内容，没有发送"), 1.4);
                            break;
                        case FlomoResult::Kind::failed:
                            controller.notice(L("flomo 失败：%@", result.text), 4.0);
                            break;
                        case FlomoResult::Kind::sent:
                            controller.notice(L("已记到 flomo"), 1.4);
                            break;
                    }
                });
}

void ActionPerformer::startAsk(AskKind kind, const SelectRequest& request, std::int64_t recordID,
                               const std::shared_ptr<PanelModel>& model) {
    if (!model) return;
    auto messages = kind == AskKind::ask
                        ? Prompts::askMessages(request.text, displayName(request.app))
                        : Prompts::translateMessages(request.text);
    // The conversation, once made; only touched on the main thread.
    auto shownIn = std::make_shared<std::weak_ptr<AskModel>>();
    // Runs on the stream's worker thread. A locked keyring holds the key until the user
    // unlocks it; the conversation says so meanwhile.
    auto key = [credentials = s_.credentials, queue = &s_.queue, shownIn] {
        auto answered = std::make_shared<std::atomic<bool>>(false);
        queue->postAfter(Credentials::unlockNoteDelay, [answered, shownIn] {
            if (*answered) return;
            if (auto ask = shownIn->lock()) ask->setStatus(L("正在等钥匙环解锁…"));
        });
        auto value = credentials.get(Credentials::llmAccount);
        *answered = true;
        queue->post([shownIn] {
            if (auto ask = shownIn->lock()) ask->setStatus(std::nullopt);
        });
        return value;
    };
    auto client = std::make_shared<LLMClient>(s_.settings.llmBaseURL(), s_.settings.llmModel(),
                                              s_.queue, std::move(key));

    std::shared_ptr<ChatStreaming> source = client;
    if (kind == AskKind::translate) {
        // Runs on a worker thread for every stream, so it takes only shared copies.
        auto channels = [queue = &s_.queue, defaults = s_.settings.defaults(),
                         translator = s_.onDeviceTranslator, client, credentials = s_.credentials] {
            const bool modelReady = LLMClient::isLoopback(client->baseURL()) ||
                                    credentials.exists(Credentials::llmAccount);
            return RoutedTranslator::order(
                currentTranslateEngine(*defaults, translator->hasEngine()),
                std::make_shared<SystemTranslationChannel>(*queue, translator),
                std::make_shared<ModelTranslationChannel>(client,
                                                          [modelReady] { return modelReady; }),
                modelReady);
        };
        source = std::make_shared<RoutedTranslator>(s_.queue, std::move(channels));
    }

    auto archive = [guard = self_.guard(), recordID,
                    kindName = std::string(toString(kind))](const std::string& transcript) {
        auto* self = guard.get();
        // A selection kept out of the history keeps its conversation out too.
        if (!self || recordID <= 0) return;
        const Services& s = self->s_;
        s.controller.archive(recordID, kindName, transcript);
    };
    auto ask = std::make_shared<AskModel>(kind, std::move(source), std::move(messages),
                                          std::move(archive));
    *shownIn = ask;
    model->ask = ask;
    model->setMode(PanelMode::ask(kind));
    ask->start();
}

std::optional<std::string> ActionPerformer::displayName(
    const std::optional<std::string>& app) const {
    if (!app) return std::nullopt;
    return s_.workspace.displayName(*app);
}

}  // namespace pivorel
