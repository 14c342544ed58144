// Random event sequences against the detector's promises: at most one command per call, a
// token that never goes back, a visible text that follows the show and hide commands exactly,
// and shown text that is never empty and already trimmed.
#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "BrisendoKit/Selection/SelectionDetector.h"
#include "BrisendoKit/Support/Text.h"

using namespace pivorel;
using D = SelectionDetector;
using Event = D::Event;

namespace {

void check(bool ok) {
    if (!ok) __builtin_trap();
}

std::optional<std::string> pickApp(FuzzedDataProvider& in) {
    static const std::array<const char*, 4> apps = {"com.apple.Safari", "org.gnome.Terminal",
                                                    "com.morvale.pivorel", ""};
    const auto i = in.ConsumeIntegralInRange<std::size_t>(0, apps.size());
    if (i == apps.size()) return std::nullopt;
    return std::string(apps[i]);
}

double coordinate(FuzzedDataProvider& in) {
    if (in.ConsumeIntegralInRange(0, 15) == 0) return in.ConsumeFloatingPoint<double>();
    return in.ConsumeIntegralInRange(-12, 12) * 0.5;
}

Point point(FuzzedDataProvider& in) {
    const double x = coordinate(in);
    return {x, coordinate(in)};
}

// Mostly white space and short words, sometimes raw bytes.
std::string readText(FuzzedDataProvider& in) {
    static const std::array<const char*, 8> pieces = {" ",      "\n", "\t",     "\u3000",
                                                      "\u00A0", "a",  "\u4E2D", "\u200B"};
    std::string s;
    const int n = in.ConsumeIntegralInRange(0, 6);
    for (int i = 0; i < n; ++i) {
        const auto k = in.ConsumeIntegralInRange<std::size_t>(0, pieces.size());
        s += k < pieces.size() ? std::string(pieces[k]) : in.ConsumeRandomLengthString(8);
    }
    return s;
}

D::Config randomConfig(FuzzedDataProvider& in, TimePoint now) {
    D::Config config;
    config.enabled = in.ConsumeIntegralInRange(0, 3) != 0;
    if (in.ConsumeBool()) config.excluded.insert("org.gnome.Terminal");
    if (in.ConsumeBool()) {
        config.pausedUntil = now + std::chrono::milliseconds(in.ConsumeIntegral<std::int16_t>());
    }
    return config;
}

D::ReadResult randomResult(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange(0, 5)) {
        case 0:
            return D::ReadResult::Empty{"no-selection"};
        case 1:
            return D::ReadResult::Ignored{"secure-field"};
        case 2:
            return D::ReadResult::Unavailable{"timeout"};
        default:
            return D::ReadResult::Text{readText(in)};
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    TimePoint now = fromUnixSeconds(1'750'000'000);
    D detector(randomConfig(in, now));

    std::optional<std::string> shown;  // what the commands say the bar shows
    std::int64_t lastToken = detector.token();
    std::int64_t lastReadToken = 0;

    while (in.remaining_bytes() > 0) {
        if (in.ConsumeIntegralInRange(0, 63) == 0) {
            // A wild clock, within what a time point can hold.
            now = fromUnixSeconds(in.ConsumeFloatingPointInRange(-9.0e9, 9.0e9));
        } else {
            now += std::chrono::milliseconds(in.ConsumeIntegralInRange(-100, 3500));
        }
        const auto app = pickApp(in);

        D::Commands commands;
        switch (in.ConsumeIntegralInRange(0, 11)) {
            case 0:
                commands = detector.handle(
                    Event::MouseDown{in.ConsumeIntegralInRange<std::int64_t>(-1, 3), point(in)},
                    app, now);
                break;
            case 1:
                commands = detector.handle(Event::MouseDragged{point(in)}, app, now);
                break;
            case 2: {
                const auto clicks = in.ConsumeIntegralInRange<std::int64_t>(-1, 3);
                const Point at = point(in);
                commands = detector.handle(Event::MouseUp{clicks, at, in.ConsumeBool()}, app, now);
                break;
            }
            case 3:
                commands = detector.handle(
                    Event::KeyDown{in.ConsumeBool() ? std::uint16_t{53}
                                                    : in.ConsumeIntegral<std::uint16_t>()},
                    app, now);
                break;
            case 4:
                commands = detector.handle(Event::AppActivated{pickApp(in)}, app, now);
                break;
            case 5: {
                const double distance = in.ConsumeBool()
                                            ? in.ConsumeFloatingPoint<double>()
                                            : in.ConsumeIntegralInRange(355, 365) * 0.5;
                commands = detector.handle(Event::MouseMoved{distance}, app, now);
                break;
            }
            case 6:
                commands = detector.handle(Event::Scroll{}, app, now);
                break;
            case 7:
            case 8: {
                std::int64_t token = detector.token();
                switch (in.ConsumeIntegralInRange(0, 3)) {
                    case 0:
                        token = lastReadToken;
                        break;
                    case 1:
                        token = in.ConsumeIntegral<std::int64_t>();
                        break;
                    default:
                        break;
                }
                commands = detector.readFinished(token, randomResult(in), app, now);
                break;
            }
            case 9: {
                if (const auto miss = detector.hotkeyPressed(now)) {
                    check(miss->ageMs >= 0 && miss->ageMs <= 3000);
                    check(!miss->reason.empty());
                    check(!detector.hotkeyPressed(now));  // one miss per gesture
                }
                break;
            }
            case 10:
                detector.barDismissed();
                shown.reset();
                break;
            default:
                detector.setConfig(randomConfig(in, now));
                break;
        }

        check(commands.size() <= 1);
        for (const auto& command : commands) {
            if (const auto* show = std::get_if<D::Command::Show>(&command.value)) {
                check(!show->text.empty());
                check(text::trim(show->text) == show->text);
                check(shown != show->text);  // never the same text twice
                shown = show->text;
            } else if (const auto* read = std::get_if<D::Command::Read>(&command.value)) {
                check(read->token == detector.token());
                check(read->after == D::readDelay || read->after == D::retryDelay);
                lastReadToken = read->token;
            } else {
                check(shown.has_value());  // only a visible bar is hidden
                shown.reset();
            }
        }
        check(detector.token() >= lastToken);
        lastToken = detector.token();
        check(detector.visibleText() == shown);
        check(detector.isBarVisible() == shown.has_value());
        check(detector.attempt() >= 0 && detector.attempt() <= 2);
    }
    return 0;
}
