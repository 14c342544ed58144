#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace pivorel {

// The machine's own offline translator and its language packs. Languages are BCP 47 tags
// ("en", "zh-Hans", "ja"). The desktop build has no engine yet (NoOnDeviceTranslator);
// the port stays so one can be added without touching translation routing.
class OnDeviceTranslator {
  public:
    virtual ~OnDeviceTranslator() = default;

    // Whether this machine has an engine at all. Without one, nothing about it (the engine
    // choice, language packs) is offered. Quick; may be called on any thread.
    virtual bool hasEngine() const = 0;

    // Whether the packs for translating `source` into `target` are on this machine.
    // Quick; may be called on any thread.
    virtual bool isInstalled(std::string_view source, std::string_view target) = 0;

    // Translates the whole text in one request; nothing when the engine fails. May take
    // long: called on a worker thread.
    virtual std::optional<std::string> translate(std::string_view text, std::string_view source,
                                                 std::string_view target) = 0;

    // The engine of this platform.
    static std::shared_ptr<OnDeviceTranslator> platformDefault();
};

}  // namespace pivorel
