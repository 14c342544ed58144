#include "BrisendoKit/Actions/ExtensionLibraryModel.h"

namespace pivorel {

ExtensionLibraryModel::ExtensionLibraryModel(ExtensionCatalogStore store, MainQueue& queue,
                                             Worker::Runner runInBackground,
                                             std::optional<ExtensionCatalog> initial)
    : store_(std::move(store)),
      queue_(queue),
      runInBackground_(std::move(runInBackground)),
      catalog_(initial ? std::move(*initial) : store_.current()) {}

ExtensionLibraryModel::~ExtensionLibraryModel() = default;

void ExtensionLibraryModel::refresh() {
    if (refreshing_) return;
    refreshing_ = true;
    changed.emit();
    runInBackground_([store = store_, queue = &queue_, guard = self_.guard()] {
        std::optional<ExtensionCatalog> result = store.refresh();
        queue->post([guard, result = std::move(result)]() mutable {
            if (auto* self = guard.get()) self->finish(std::move(result));
        });
    });
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
