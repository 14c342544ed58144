#include "BrisendoKit/Actions/ExtensionLibraryModel.h"

#include <thread>

namespace pivorel {

ExtensionLibraryModel::ExtensionLibraryModel(ExtensionCatalogStore store, MainQueue& queue,
                                             std::optional<ExtensionCatalog> initial)
    : store_(std::move(store)),
      queue_(queue),
      catalog_(initial ? std::move(*initial) : store_.current()),
      self_(std::make_shared<ExtensionLibraryModel*>(this)) {}

ExtensionLibraryModel::~ExtensionLibraryModel() = default;

void ExtensionLibraryModel::refresh() {
    if (refreshing_) return;
    refreshing_ = true;
    changed.emit();
    std::thread([store = store_, queue = &queue_,
                 weak = std::weak_ptr<ExtensionLibraryModel*>(self_)] {
        std::optional<ExtensionCatalog> result = store.refresh();
        queue->post([weak, result = std::move(result)]() mutable {
            if (const auto self = weak.lock()) (*self)->finish(std::move(result));
        });
    }).detach();
}

void ExtensionLibraryModel::finish(std::optional<ExtensionCatalog> result) {
    if (result) {
        catalog_ = std::move(*result);
        refreshed_ = true;
    }
    refreshing_ = false;
    changed.emit();
}

}  // namespace pivorel
