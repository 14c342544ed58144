#include "BrisendoKit/Platform/ReminderError.h"

#include "BrisendoKit/Localization/L.h"

namespace pivorel {

std::string ReminderError::description() const {
    switch (kind) {
        case Kind::denied:
            return L("没有「提醒事项」权限：存放提醒事项的文件夹不能写入");
        case Kind::noList:
            return L("找不到默认的提醒事项列表");
        case Kind::service:
            break;
    }
    return serviceMessage;
}

}  // namespace pivorel
