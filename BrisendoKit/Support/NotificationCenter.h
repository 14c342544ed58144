#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "BrisendoKit/Support/Signal.h"

namespace pivorel {

// Named in-process notifications with no payload ("com.morvale.pivorel.languageDidChange").
// Observers run on the posting thread.
class NotificationCenter {
  public:
    static NotificationCenter& defaultCenter();

    [[nodiscard]] Connection observe(std::string_view name, std::function<void()> handler);
    void post(std::string_view name);

  private:
    std::mutex mutex_;
    std::map<std::string, std::unique_ptr<Signal<>>, std::less<>> signals_;
};

}  // namespace pivorel
