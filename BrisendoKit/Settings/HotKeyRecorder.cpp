#include "Settings/HotKeyRecorder.h"

#include "Localization/L.h"

namespace pivorel {

HotKeyRecorder::HotKeyRecorder(BarSettings settings) : settings_(std::move(settings)) {}

std::string HotKeyRecorder::buttonTitle() const {
    return recording_ ? L("按下新的组合键…（Esc 取消）") : settings_.hotkey().display();
}

void HotKeyRecorder::toggle() {
    recording_ = !recording_;
    changed.emit();
}

void HotKeyRecorder::stop() {
    if (!recording_) return;
    recording_ = false;
    changed.emit();
}

std::uint32_t HotKeyRecorder::modifierMask(std::uint64_t flags) {
    std::uint32_t mask = 0;
    if (flags & KeyEvent::commandFlag) mask |= HotKeySpec::cmd;
    if (flags & KeyEvent::shiftFlag) mask |= HotKeySpec::shift;
    if (flags & KeyEvent::optionFlag) mask |= HotKeySpec::option;
    if (flags & KeyEvent::controlFlag) mask |= HotKeySpec::control;
    return mask;
}

HotKeyRecorder::Outcome HotKeyRecorder::handle(const KeyEvent& event) {
    if (!recording_) return Outcome::notRecording;
    if (event.keyCode == escapeKeyCode) {
        stop();
        return Outcome::cancelled;
    }
    const HotKeySpec spec{event.keyCode, modifierMask(event.modifierFlags)};
    // Shift alone (or nothing) would take an ordinary key away from typing.
    if (!spec.isValid()) return Outcome::ignored;
    settings_.setHotkey(spec);
    recording_ = false;
    changed.emit();
    return Outcome::recorded;
}

}  // namespace pivorel
