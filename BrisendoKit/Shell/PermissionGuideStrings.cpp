#include "BrisendoKit/Shell/PermissionGuideStrings.h"

#include "BrisendoKit/Localization/L.h"

namespace pivorel {

PermissionGuideStrings PermissionGuideStrings::zhHans() {
    PermissionGuideStrings s;
    s.title = "把 {product} 加进「{permission}」";
    s.reasonFormat = "用于：{reason}";
    s.step1Drag = "把左边的图标拖进右边的列表，或点列表下方的 +，选择 {product}";
    s.step1Find = "在列表里找到 {product}";
    s.step2 = "打开 {product} 右边的开关";
    s.step3 = "回到这里，授权后自动继续";
    s.noteStale = "列表里已有 {product} 但开关没反应：先按 − 删掉再重新加";
    s.noteRestart = "开了开关仍没反应：退出 {product} 再打开";
    s.statusWaiting = "等待授权中…";
    s.statusGranted = "✓ 已授权";
    s.statusDropped = "已拖进列表 · 现在打开右边的开关";
    s.statusDropMissed = "列表没接住 · 点列表下方的 +，或用「在文件管理器中显示」从文件管理器拖";
    s.buttonReveal = "在文件管理器中显示";
    s.buttonSkip = "这次先不用";
    s.buttonReopen = "重新打开设置";
    s.dragTooltip = "拖到右边的列表里";
    s.titleSwitch = "{product} 需要打开桌面的「{permission}」";
    s.step1Switch = "点「打开辅助功能」：桌面对所有程序打开辅助功能，下次登录也保持";
    s.step2Switch = "已在运行的程序要重启一次，{product} 才能读到它们；打开后这里会列出";
    s.noteSwitch = "没有它，{product} 认不出密码框、可编辑区域和网页地址，小条不会弹出";
    s.buttonSwitch = "打开辅助功能";
    s.statusSwitchFailed = "没能打开：这个会话里没有辅助功能总线（at-spi2-core）";
    s.statusRestart = "✓ 已打开 · 重启这些程序后才能读到：{programs}";
    s.permissionNames = {
        {PermissionKind::accessibility, "辅助功能"},
        {PermissionKind::screenRecording, "屏幕录制"},
        {PermissionKind::inputMonitoring, "输入监控"},
        {PermissionKind::microphone, "麦克风"},
        {PermissionKind::fullDiskAccess, "完全磁盘访问权限"},
        {PermissionKind::systemAudioCapture, "仅系统音频录制"},
    };
    return s;
}

PermissionGuideStrings PermissionGuideStrings::localized() const {
    PermissionGuideStrings s = *this;
    for (std::string* text : {&s.title,         &s.reasonFormat,
                              &s.step1Drag,     &s.step1Find,
                              &s.step2,         &s.step3,
                              &s.noteStale,     &s.noteRestart,
                              &s.statusWaiting, &s.statusGranted,
                              &s.statusDropped, &s.statusDropMissed,
                              &s.buttonReveal,  &s.buttonSkip,
                              &s.buttonReopen,  &s.dragTooltip,
                              &s.titleSwitch,   &s.step1Switch,
                              &s.step2Switch,   &s.noteSwitch,
                              &s.buttonSwitch,  &s.statusSwitchFailed,
                              &s.statusRestart}) {
        *text = L(*text);
    }
    for (auto& [kind, name] : s.permissionNames) name = L(name);
    return s;
}

std::string PermissionGuideStrings::permissionName(PermissionKind kind) const {
    if (auto it = permissionNames.find(kind); it != permissionNames.end()) return it->second;
    return std::string(toString(kind));
}

const std::string& PermissionGuideStrings::statusText(GuideStatus status) const {
    switch (status) {
        case GuideStatus::waiting:
            return statusWaiting;
        case GuideStatus::granted:
            return statusGranted;
        case GuideStatus::dropped:
            return statusDropped;
        case GuideStatus::dropMissed:
            return statusDropMissed;
        case GuideStatus::switchFailed:
            return statusSwitchFailed;
    }
    return statusWaiting;
}

std::string PermissionGuideStrings::fill(std::string_view text, std::string_view product,
                                         PermissionKind kind, std::string_view reason,
                                         std::string_view programs) const {
    const std::string permission = permissionName(kind);
    const std::pair<std::string_view, std::string_view> placeholders[] = {
        {"{product}", product},
        {"{permission}", permission},
        {"{reason}", reason},
        {"{programs}", programs}};
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        bool replaced = false;
        if (text[i] == '{') {
            for (const auto& [name, value] : placeholders) {
                if (text.substr(i, name.size()) == name) {
                    out += value;
                    i += name.size();
                    replaced = true;
                    break;
                }
            }
        }
        if (!replaced) out += text[i++];
    }
    return out;
}

}  // namespace pivorel
