#include "BrisendoKit/Support/NotificationCenter.h"

namespace pivorel {

NotificationCenter& NotificationCenter::defaultCenter() {
    static NotificationCenter center;
    return center;
}

Connection NotificationCenter::observe(std::string_view name, std::function<void()> handler) {
    std::lock_guard lock(mutex_);
    auto it = signals_.find(name);
    if (it == signals_.end()) {
        it = signals_.emplace(std::string(name), std::make_unique<Signal<>>()).first;
    }
    return it->second->connect(std::move(handler));
}

void NotificationCenter::post(std::string_view name) {
    Signal<>* signal = nullptr;
    {
        std::lock_guard lock(mutex_);
        auto it = signals_.find(name);
        if (it == signals_.end()) return;
        signal = it->second.get();  // signals are never removed, so the pointer stays valid
    }
    signal->emit();
}

}  // namespace pivorel
