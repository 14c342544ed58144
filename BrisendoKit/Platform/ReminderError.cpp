#include "BrisendoKit/Platform/ReminderError.h"

#include "BrisendoKit/Localization/L.h"

namespace pivorel {

std::string ReminderError::description() const {
    switch (kind) {
        case Kind::denied:
            return place.empty() ? L("没有权限写入提醒事项")
                                 : L("没有权限写入提醒事项文件夹「%@」", place);
        case Kind::noList:
            return L("找不到默认的提醒事项列表");
        case Kind::folder:
            return L("没法写入提醒事项文件夹「%@」：%@", place, reason);
        case Kind::list:
            return L("没法加到「%@」：%@", place, reason);
        case Kind::service:
            break;
    }
    return reason;
}

}  // namespace pivorel
