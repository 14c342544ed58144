#pragma once

#include "BrisendoKit/Platform/OnDeviceTranslator.h"

namespace pivorel {

// A platform without an offline translator: no pack is ever installed, so routing always
// passes the text on to the user's model.
class NoOnDeviceTranslator final : public OnDeviceTranslator {
  public:
    bool hasEngine() const override { return false; }
    bool isInstalled(std::string_view, std::string_view) override { return false; }
    std::optional<std::string> translate(std::string_view, std::string_view,
                                         std::string_view) override {
        return std::nullopt;
    }
};

}  // namespace pivorel
