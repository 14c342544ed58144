#pragma once

#include <atomic>

#include "BrisendoKit/Support/Signal.h"

namespace pivorel {

// Counts effective changes of the language preference; views re-render on `changed`.
class LanguageStore {
  public:
    static LanguageStore& shared();

    long long revision() const { return revision_.load(); }
    void bump() {
        const long long r = ++revision_;
        changed.emit(r);
    }

    Signal<long long> changed;

  private:
    std::atomic<long long> revision_{0};
};

}  // namespace pivorel
