#pragma once

#include <memory>
#include <optional>

#include "BrisendoKit/Actions/ExtensionCatalog.h"
#include "BrisendoKit/Actions/ExtensionCatalogStore.h"
#include "BrisendoKit/Support/LifetimeToken.h"
#include "BrisendoKit/Support/MainQueue.h"
#include "BrisendoKit/Support/Signal.h"
#include "BrisendoKit/Support/Worker.h"

namespace pivorel {

// The extension library page's model. Main thread only; the download runs on a worker
// thread and its result comes back through the main queue.
class ExtensionLibraryModel {
  public:
    // Shows `initial` if given, else what the store holds now. Downloads run through
    // `runInBackground`, whose owner stops it before `queue` goes.
    ExtensionLibraryModel(ExtensionCatalogStore store, MainQueue& queue,
                          Worker::Runner runInBackground,
                          std::optional<ExtensionCatalog> initial = std::nullopt);
    ~ExtensionLibraryModel();
    ExtensionLibraryModel(const ExtensionLibraryModel&) = delete;
    ExtensionLibraryModel& operator=(const ExtensionLibraryModel&) = delete;

    const ExtensionCatalog& catalog() const { return catalog_; }
    bool refreshing() const { return refreshing_; }
    // Whether a refresh has brought a catalog since the page was made.
    bool refreshed() const { return refreshed_; }

    // Downloads the remote catalog; only a good one replaces what is shown. A refresh asked
    // for while one is running is folded into it.
    void refresh();

    // Emitted on the main thread after catalog, refreshing or refreshed changed.
    Signal<> changed;

  private:
    void finish(std::optional<ExtensionCatalog> result);

    ExtensionCatalogStore store_;
    MainQueue& queue_;
    Worker::Runner runInBackground_;
    ExtensionCatalog catalog_;
    bool refreshing_ = false;
    bool refreshed_ = false;
    // Expires with the model, so a download that ends later finds no one to tell.
    LifetimeToken<ExtensionLibraryModel> self_{this};
};

}  // namespace pivorel
