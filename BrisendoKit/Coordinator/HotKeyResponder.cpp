#include "BrisendoKit/Coordinator/HotKeyResponder.h"

#include <variant>

#include "BrisendoKit/Actions/ActionCatalog.h"
#include "BrisendoKit/BarPanel/PanelModel.h"
#include "BrisendoKit/Coordinator/AppController.h"
#include "BrisendoKit/Coordinator/SelectionWatcher.h"
#include "BrisendoKit/Localization/L.h"
#include "BrisendoKit/Platform/Workspace.h"
#include "BrisendoKit/Selection/SelectionReader.h"
#include "BrisendoKit/Storage/SelectRequest.h"
#include "BrisendoKit/Support/Log.h"
#include "BrisendoKit/Support/MainQueue.h"

namespace pivorel {

HotKeyResponder::HotKeyResponder(SelectionWatcher& watcher, const SelectionReader& reader,
                                 AppController& controller, Workspace& workspace, MainQueue& queue,
                                 Registrar registrar)
    : watcher_(watcher),
      reader_(reader),
      controller_(controller),
      workspace_(workspace),
      queue_(queue),
      registrar_(std::move(registrar)) {}

HotKeyResponder::~HotKeyResponder() {
    self_.reset();
}

bool HotKeyResponder::update(const HotKeySpec& spec) {
    if (spec_ == spec) return false;
    spec_ = spec;
    registered_ = false;
    if (!registrar_) return true;
    // The desktop calls back from inside its own event handling; the press is handled on a
    // fresh turn of the main queue, after whatever that handling still does.
    const auto weak = self_.guard();
    registered_ = registrar_(spec.keyCode, spec.modifiers, [weak, &queue = queue_] {
        queue.post([weak] {
            if (auto* self = weak.get()) self->pressed();
        });
    });
    return true;
}

void HotKeyResponder::forget() {
    spec_.reset();
    registered_ = false;
}

void HotKeyResponder::pressed() {
    watcher_.hotkeyPressed();
    const auto read = reader_.read();
    if (const auto* selection = std::get_if<SelectionReader::Selection>(&read)) {
        SelectRequest request;
        request.text = selection->text;
        request.app = selection->app;
        request.url = selection->url;
        request.dry = false;
        request.source = "hotkey";
        request.editable = false;
        controller_.handle(request, workspace_.pointerLocation());
    } else if (std::get<SelectionReader::Failure>(read) == SelectionReader::Failure::notTrusted) {
        // The desktop has no dialog that grants this; the notice says what is missing.
        Log::write("Pivorel: 快捷键读不到选区：辅助功能未授权");
        showNotice(
            L("需要先打开桌面的辅助功能支持：点托盘菜单里的「辅助功能」一项打开它，"
              "然后再按一次快捷键。"));
    } else {
        showNotice(
            L("读不到选中的文字。这个 App 可能不暴露选区（终端、部分 Electron 应用）。"
              "可以在设置里为它开启「拷贝兜底」。"));
    }
}

void HotKeyResponder::showNotice(const std::string& text) {
    auto model = std::make_shared<PanelModel>("", std::nullopt, std::vector<ActionID>{},
                                              std::nullopt, ActionCatalog::builtin(), true);
    model->setMode(PanelMode::notice(text));
    controller_.panel().show(model, workspace_.pointerLocation());
    controller_.panel().notice(text, noticeSeconds);
}

}  // namespace pivorel
