#include "BrisendoKit/Settings/HotKeyRecorder.h"

#include "BrisendoKit/Localization/L.h"

namespace pivorel {

HotKeyRecorder::HotKeyRecorder(BarSettings settings) : settings_(std::move(settings)) {}

HotKeyRecorder::~HotKeyRecorder() {
    // The program must not stay without its hot key because a window went away mid-recording.
    if (recording_) recordingChanged.emit(false);
}

std::string HotKeyRecorder::buttonTitle() const {
    return recording_ ? L("按下新的组合键…（Esc 取消）") : settings_.hotkey().display();
}

void HotKeyRecorder::toggle() {
    setRecording(!recording_);
}

void HotKeyRecorder::stop() {
    if (recording_) setRecording(false);
}

void HotKeyRecorder::setRecording(bool on) {
    recording_ = on;
    recordingChanged.emit(on);
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
    setRecording(false);
    return Outcome::recorded;
}

}  // namespace pivorel
