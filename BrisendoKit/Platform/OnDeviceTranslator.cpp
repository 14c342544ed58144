#include "BrisendoKit/Platform/OnDeviceTranslator.h"

#include "BrisendoKit/Platform/NoOnDeviceTranslator.h"

namespace pivorel {

std::shared_ptr<OnDeviceTranslator> OnDeviceTranslator::platformDefault() {
    static const auto engine = std::make_shared<NoOnDeviceTranslator>();
    return engine;
}

}  // namespace pivorel
