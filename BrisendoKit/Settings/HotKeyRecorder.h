#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "BrisendoKit/Platform/KeyCodes.h"
#include "BrisendoKit/Platform/PanelWindow.h"
#include "BrisendoKit/Storage/BarSettings.h"
#include "BrisendoKit/Storage/HotKeySpec.h"
#include "BrisendoKit/Support/Signal.h"

namespace pivorel {

// The hot-key button of the general page: a press starts recording, the next key
// combination with command, option or control becomes the global hot key and is stored at
// once; Escape gives up. The application re-registers the hot key when the stored keys
// change. Main thread.
class HotKeyRecorder {
  public:
    enum class Outcome {
        notRecording,  // the key was not for us
        cancelled,     // Escape: recording stopped, nothing stored
        ignored,       // no command, option or control held: still recording
        recorded,      // stored, recording stopped
    };

    static constexpr std::uint16_t escapeKeyCode = KeyCodes::escape;

    explicit HotKeyRecorder(BarSettings settings);
    ~HotKeyRecorder();
    HotKeyRecorder(const HotKeyRecorder&) = delete;
    HotKeyRecorder& operator=(const HotKeyRecorder&) = delete;

    bool isRecording() const { return recording_; }
    HotKeySpec hotkey() const { return settings_.hotkey(); }
    // The stored hot key's display form, or the recording prompt.
    std::string buttonTitle() const;

    // The button: starts recording, or stops it when already recording.
    void toggle();
    // Stops recording without storing anything (the window went away).
    void stop();

    // One key press while the settings window has the keyboard. While recording every
    // press is consumed (the answer is anything but notRecording).
    Outcome handle(const KeyEvent& event);

    // The hot-key modifier mask (HotKeySpec bits) for a key event's modifier flags.
    static std::uint32_t modifierMask(std::uint64_t flags);

    // Emitted when recording starts or stops, and after a new hot key was stored.
    Signal<> changed;
    // Emitted with true when recording starts and false when it ends, also when a recorder
    // goes away mid-recording: the program lets go of its global hot key meanwhile, or the
    // desktop would hand that combination to it instead of the window.
    Signal<bool> recordingChanged;

  private:
    void setRecording(bool on);

    BarSettings settings_;
    bool recording_ = false;
};

}  // namespace pivorel
