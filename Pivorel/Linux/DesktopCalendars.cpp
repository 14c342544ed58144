#include "Pivorel/Linux/DesktopCalendars.h"

#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>
#include <libecal/libecal.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include "BrisendoKit/Support/AppIdentity.h"
#include "BrisendoKit/Support/FileIO.h"
#include "BrisendoKit/Support/Log.h"
#include "Pivorel/Linux/ChildProcess.h"
#include "Pivorel/Linux/ICalendarText.h"
#include "Pivorel/Linux/VdirReminders.h"

namespace pivorel {

namespace {

namespace fs = std::filesystem;

constexpr const char* sourcesBusName = "org.gnome.evolution.dataserver.Sources5";
constexpr int busCallMilliseconds = 500;

template <typename T>
struct Unref {
    void operator()(T* p) const { g_object_unref(p); }
};
template <typename T>
using Ref = std::unique_ptr<T, Unref<T>>;

std::string message(const GError* error) {
    return error && error->message ? error->message : "unknown error";
}

// Cancels `cancellable` when `seconds` pass before it is destroyed.
class Deadline {
  public:
    Deadline(GCancellable* cancellable, double seconds)
        : thread_([this, cancellable, seconds] {
              std::unique_lock lock(mutex_);
              if (!done_.wait_for(lock, std::chrono::duration<double>(seconds),
                                  [this] { return finished_; })) {
                  g_cancellable_cancel(cancellable);
              }
          }) {}
    ~Deadline() {
        {
            std::lock_guard lock(mutex_);
            finished_ = true;
        }
        done_.notify_all();
        thread_.join();
    }
    Deadline(const Deadline&) = delete;
    Deadline& operator=(const Deadline&) = delete;

  private:
    std::mutex mutex_;
    std::condition_variable done_;
    bool finished_ = false;
    std::thread thread_;
};

// True when the session bus has the source registry running or can start it. Asked
// without connecting to a bus that is not there (GLib would try to launch one).
bool registryOnBus() {
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::error_code ec;
    if ((!address || !*address) && !(runtime && fs::exists(fs::path(runtime) / "bus", ec))) {
        return false;
    }
    g_autoptr(GError) error = nullptr;
    Ref<GDBusConnection> bus(g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error));
    if (!bus) return false;
    auto ask = [&](const char* method, GVariant* args, const char* type) -> GVariant* {
        return g_dbus_connection_call_sync(bus.get(), "org.freedesktop.DBus",
                                           "/org/freedesktop/DBus", "org.freedesktop.DBus", method,
                                           args, G_VARIANT_TYPE(type), G_DBUS_CALL_FLAGS_NONE,
                                           busCallMilliseconds, nullptr, nullptr);
    };
    if (g_autoptr(GVariant) owned =
            ask("NameHasOwner", g_variant_new("(s)", sourcesBusName), "(b)")) {
        gboolean has = FALSE;
        g_variant_get(owned, "(b)", &has);
        if (has) return true;
    }
    g_autoptr(GVariant) names = ask("ListActivatableNames", nullptr, "(as)");
    if (!names) return false;
    g_autofree const gchar** list = nullptr;
    g_variant_get(names, "(^a&s)", &list);
    for (auto** name = list; name && *name; ++name) {
        if (g_strcmp0(*name, sourcesBusName) == 0) return true;
    }
    return false;
}

// The source registry, when Evolution Data Server answers in time.
Ref<ESourceRegistry> openRegistry(const DesktopCalendars::Options& options) {
    if (!options.evolution || !registryOnBus()) return nullptr;
    Ref<GCancellable> cancellable(g_cancellable_new());
    g_autoptr(GError) error = nullptr;
    Ref<ESourceRegistry> registry;
    {
        Deadline deadline(cancellable.get(), options.timeoutSeconds);
        registry.reset(e_source_registry_new_sync(cancellable.get(), &error));
    }
    if (!registry) Log::write("Pivorel: Evolution 数据服务没有回应 " + message(error));
    return registry;
}

// One item into the default calendar or task list of `source`. Errors are the service's
// own message.
Result<Done, std::string> create(ESource* source, ECalClientSourceType type, const std::string& ics,
                                 ICalComponentKind kindOfItem, double timeoutSeconds) {
    Ref<GCancellable> cancellable(g_cancellable_new());
    Deadline deadline(cancellable.get(), timeoutSeconds);
    g_autoptr(GError) error = nullptr;
    // Not waiting for a remote store to connect: an offline list keeps the item and sends it
    // when it connects.
    Ref<EClient> client(e_cal_client_connect_sync(source, type, static_cast<guint32>(-1),
                                                  cancellable.get(), &error));
    if (!client) return fail(message(error));
    Ref<ICalComponent> calendar(i_cal_component_new_from_string(ics.c_str()));
    Ref<ICalComponent> item(
        calendar ? i_cal_component_get_first_component(calendar.get(), kindOfItem) : nullptr);
    if (!item) return fail(std::string("invalid item"));
    gchar* uid = nullptr;
    if (!e_cal_client_create_object_sync(E_CAL_CLIENT(client.get()), item.get(),
                                         E_CAL_OPERATION_FLAG_NONE, &uid, cancellable.get(),
                                         &error)) {
        return fail(message(error));
    }
    g_free(uid);
    return Done{};
}

std::string displayName(ESource* source) {
    const gchar* name = e_source_get_display_name(source);
    return name && *name ? name : e_source_get_uid(source);
}

class EvolutionReminders final : public RemindersService {
  public:
    EvolutionReminders(Ref<ESourceRegistry> registry, double timeoutSeconds)
        : registry_(std::move(registry)), timeoutSeconds_(timeoutSeconds) {}

    Result<bool, ReminderError> requestAccess() override { return true; }

    std::optional<std::string> defaultList() override {
        source_.reset(e_source_registry_ref_default_task_list(registry_.get()));
        if (!source_) return std::nullopt;
        return displayName(source_.get());
    }

    Result<Done, ReminderError> save(const std::string& list, const NewReminder& r) override {
        if (!source_) return fail(ReminderError::noList());
        const auto done = create(source_.get(), E_CAL_CLIENT_SOURCE_TYPE_TASKS,
                                 ical::todo(r, ical::newUid(), std::chrono::system_clock::now()),
                                 I_CAL_VTODO_COMPONENT, timeoutSeconds_);
        if (!done) return fail(ReminderError::list(list, done.error()));
        return Done{};
    }

  private:
    Ref<ESourceRegistry> registry_;
    Ref<ESource> source_;
    double timeoutSeconds_;
};

class EvolutionCalendar final : public CalendarService {
  public:
    EvolutionCalendar(Ref<ESourceRegistry> registry, double timeoutSeconds)
        : registry_(std::move(registry)), timeoutSeconds_(timeoutSeconds) {}

    Result<std::string, CalendarError> add(const NewEvent& event) override {
        Ref<ESource> source(e_source_registry_ref_default_calendar(registry_.get()));
        if (!source) return fail(CalendarError{CalendarError::Kind::noCalendar, {}, {}});
        const std::string name = displayName(source.get());
        const auto done =
            create(source.get(), E_CAL_CLIENT_SOURCE_TYPE_EVENTS,
                   ical::event(event, ical::newUid(), std::chrono::system_clock::now()),
                   I_CAL_VEVENT_COMPONENT, timeoutSeconds_);
        if (!done) return fail(CalendarError{CalendarError::Kind::failed, name, done.error()});
        return name;
    }

  private:
    Ref<ESourceRegistry> registry_;
    double timeoutSeconds_;
};

// The program the desktop opens text/calendar with, as xdg-open would choose it: the
// user's choice, else one that claims the type itself. Text editors, which GIO would offer
// for it as a kind of text/plain, do not count as a calendar.
GAppInfo* calendarProgram() {
    const auto answer = ChildProcess::run({"xdg-mime", "query", "default", "text/calendar"}, 3);
    std::string id = answer.exitStatus == 0 ? answer.output : std::string();
    while (!id.empty() && std::isspace(static_cast<unsigned char>(id.back()))) id.pop_back();
    if (id.empty()) return nullptr;
    return G_APP_INFO(g_desktop_app_info_new(id.c_str()));
}

// A one-event file opened with the program the desktop has for text/calendar.
class EventFileCalendar final : public CalendarService {
  public:
    explicit EventFileCalendar(fs::path folder) : folder_(std::move(folder)) {}

    Result<std::string, CalendarError> add(const NewEvent& event) override {
        Ref<GAppInfo> handler(calendarProgram());
        if (!handler) return fail(CalendarError{CalendarError::Kind::noCalendar, {}, {}});
        const std::string name = g_app_info_get_display_name(handler.get());
        removeOldFiles();
        const std::string uid = ical::newUid();
        const fs::path file = folder_ / (uid + ".ics");
        errno = 0;
        if (!fileio::writeFileAtomically(
                file, ical::event(event, uid, std::chrono::system_clock::now()))) {
            return fail(CalendarError{CalendarError::Kind::failed, name,
                                      std::strerror(errno ? errno : EIO)});
        }
        Ref<GFile> target(g_file_new_for_path(file.c_str()));
        GList files{target.get(), nullptr, nullptr};
        g_autoptr(GError) error = nullptr;
        if (!g_app_info_launch(handler.get(), &files, nullptr, &error)) {
            return fail(CalendarError{CalendarError::Kind::failed, name, message(error)});
        }
        return name;
    }

  private:
    // Handed-over files are imported at once; a day later they are only clutter.
    void removeOldFiles() const {
        std::error_code ec;
        const auto dayAgo = fs::file_time_type::clock::now() - std::chrono::hours(24);
        for (fs::directory_iterator it(folder_, ec), end; !ec && it != end; it.increment(ec)) {
            if (it->path().extension() != ".ics") continue;
            std::error_code timeError;
            const auto written = it->last_write_time(timeError);
            if (!timeError && written < dayAgo) fs::remove(it->path(), timeError);
        }
    }

    fs::path folder_;
};

}  // namespace

fs::path DesktopCalendars::defaultEventFolder() {
    const char* cache = std::getenv("XDG_CACHE_HOME");
    const char* home = std::getenv("HOME");
    fs::path base = cache && *cache ? fs::path(cache) : fs::path(home ? home : "/tmp") / ".cache";
    return base / AppIdentity::supportDirName / "events";
}

std::unique_ptr<CalendarService> DesktopCalendars::calendar(const Options& options) {
    if (auto registry = openRegistry(options)) {
        return std::make_unique<EvolutionCalendar>(std::move(registry), options.timeoutSeconds);
    }
    return std::make_unique<EventFileCalendar>(options.eventFolder);
}

std::unique_ptr<RemindersService> DesktopCalendars::reminders(const fs::path& folder,
                                                              const Options& options) {
    if (auto registry = openRegistry(options)) {
        return std::make_unique<EvolutionReminders>(std::move(registry), options.timeoutSeconds);
    }
    return std::make_unique<VdirReminders>(folder);
}

}  // namespace pivorel
