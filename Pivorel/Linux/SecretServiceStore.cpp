#include "Pivorel/Linux/SecretServiceStore.h"

#include <libsecret/secret.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

#include "BrisendoKit/Support/Log.h"

namespace pivorel {

namespace {

using Clock = std::chrono::steady_clock;

// After a time-out the call is cancelled; this is how long its cancellation may take to
// come back before the call is left to finish on its own.
constexpr auto cancelGrace = std::chrono::milliseconds(200);

const SecretSchema* schema() {
    static const SecretSchema s = [] {
        SecretSchema out{};
        out.name = "com.morvale.pivorel.Password";
        // Items written by the former product or other tools under the same attributes count.
        out.flags = SECRET_SCHEMA_DONT_MATCH_NAME;
        out.attributes[0] = {"service", SECRET_SCHEMA_ATTRIBUTE_STRING};
        out.attributes[1] = {"account", SECRET_SCHEMA_ATTRIBUTE_STRING};
        return out;
    }();
    return &s;
}

// One asynchronous call. Shared by the caller and the completion callback, which may run
// after the caller gave up (during a later call's iteration of the same context).
struct Pending {
    bool done = false;
    bool ok = false;
    std::optional<std::string> text;
    std::string error;
    std::function<void(Pending&, GAsyncResult*)> finish;
    GHashTable* attributes = nullptr;

    ~Pending() {
        if (attributes) g_hash_table_unref(attributes);
    }

    // Takes the error out of `e` (if any); true when there was one.
    bool takeError(GError* e) {
        if (!e) return false;
        error = e->message ? e->message : "unknown error";
        g_error_free(e);
        return true;
    }
};

void onReady(GObject*, GAsyncResult* result, gpointer data) {
    std::unique_ptr<std::shared_ptr<Pending>> holder(static_cast<std::shared_ptr<Pending>*>(data));
    Pending& p = **holder;
    p.finish(p, result);
    p.done = true;
}

// One context for every call, never freed: a call abandoned after its time-out completes
// during a later call's iteration instead of leaking.
GMainContext* context() {
    static GMainContext* ctx = g_main_context_new();
    return ctx;
}

std::timed_mutex& callMutex() {
    static std::timed_mutex m;
    return m;
}

// Raised when the program quits: the calls waiting then give up.
std::atomic<unsigned>& stops() {
    static std::atomic<unsigned> count{0};
    return count;
}

gboolean setFlag(gpointer flag) {
    *static_cast<bool*>(flag) = true;
    return G_SOURCE_REMOVE;
}

// Iterates the context until the call is done or `until` passes.
void iterateUntil(const Pending& p, Clock::time_point until, unsigned stopsAtStart) {
    GMainContext* ctx = context();
    const auto stopped = [&] { return stops() != stopsAtStart; };
    while (!p.done && !stopped()) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
        if (left <= 0) return;
        bool expired = false;
        GSource* timer = g_timeout_source_new(static_cast<guint>(left));
        g_source_set_callback(timer, setFlag, &expired, nullptr);
        g_source_attach(timer, ctx);
        while (!p.done && !expired && !stopped()) g_main_context_iteration(ctx, TRUE);
        g_source_destroy(timer);
        g_source_unref(timer);
    }
}

GHashTable* attributesFor(std::string_view service, std::string_view account) {
    GHashTable* t = g_hash_table_new_full(g_str_hash, g_str_equal, g_free, g_free);
    g_hash_table_insert(t, g_strdup("service"), g_strndup(service.data(), service.size()));
    g_hash_table_insert(t, g_strdup("account"), g_strndup(account.data(), account.size()));
    return t;
}

using Start = std::function<void(GHashTable*, GCancellable*, GAsyncReadyCallback, gpointer)>;

// Starts one libsecret call on our context and waits for it until `deadline`. The caller
// must hold callMutex().
std::shared_ptr<Pending> run(std::string_view service, std::string_view account,
                             Clock::time_point deadline,
                             std::function<void(Pending&, GAsyncResult*)> finish,
                             const Start& start) {
    auto p = std::make_shared<Pending>();
    p->finish = std::move(finish);
    p->attributes = attributesFor(service, account);
    if (Clock::now() >= deadline) {
        p->error = "time-out";
        return p;
    }
    const unsigned stopsAtStart = stops();
    GMainContext* ctx = context();
    g_main_context_push_thread_default(ctx);
    GCancellable* cancellable = g_cancellable_new();
    start(p->attributes, cancellable, onReady, new std::shared_ptr<Pending>(p));
    iterateUntil(*p, deadline, stopsAtStart);
    if (!p->done) {
        g_cancellable_cancel(cancellable);
        iterateUntil(*p, Clock::now() + cancelGrace, stops());
        // Whatever the call reports after its cancellation, the caller was told it failed.
        p->ok = false;
        p->text.reset();
        p->error = "no answer within the time-out";
    }
    g_object_unref(cancellable);
    g_main_context_pop_thread_default(ctx);
    return p;
}

}  // namespace

void SecretServiceStore::stopWaiting() {
    ++stops();
    g_main_context_wakeup(context());
}

namespace {

void logFailure(std::string_view op, std::string_view service, std::string_view account,
                const std::string& error) {
    Log::write("Pivorel: 密钥服务不可用 op=" + std::string(op) + " service=" +
               std::string(service) + " account=" + std::string(account) + " error=" + error);
}

}  // namespace

SecretServiceStore::SecretServiceStore(std::chrono::milliseconds answerTimeout,
                                       std::chrono::milliseconds unlockTimeout)
    : answerTimeout_(answerTimeout), unlockTimeout_(unlockTimeout) {}

bool SecretServiceStore::reachable(std::string_view op, std::string_view service,
                                   std::string_view account) {
    // Opening a session needs an answer from the service but never an unlock, so a missing
    // or hung service shows here, within the short time-out.
    const auto p = run(
        service, account, Clock::now() + answerTimeout_,
        [](Pending& r, GAsyncResult* result) {
            GError* error = nullptr;
            SecretService* found = secret_service_get_finish(result, &error);
            r.ok = found != nullptr;
            if (found) g_object_unref(found);
            r.takeError(error);
        },
        [](GHashTable*, GCancellable* c, GAsyncReadyCallback cb, gpointer data) {
            secret_service_get(SECRET_SERVICE_OPEN_SESSION, c, cb, data);
        });
    if (p->ok) return true;
    logFailure(op, service, account, p->error.empty() ? "no session" : p->error);
    return false;
}

bool SecretServiceStore::exists(std::string_view service, std::string_view account) {
    const auto deadline = Clock::now() + unlockTimeout_;
    std::unique_lock lock(callMutex(), std::defer_lock);
    if (!lock.try_lock_until(deadline)) {
        logFailure("exists", service, account, "busy");
        return false;
    }
    if (!reachable("exists", service, account)) return false;
    const auto p = run(
        service, account, deadline,
        [](Pending& r, GAsyncResult* result) {
            GError* error = nullptr;
            GList* items = secret_password_search_finish(result, &error);
            r.ok = items != nullptr;
            g_list_free_full(items, g_object_unref);
            r.takeError(error);
        },
        [](GHashTable* attrs, GCancellable* c, GAsyncReadyCallback cb, gpointer data) {
            // Only the attributes: a locked collection is searched without an unlock prompt.
            secret_password_searchv(schema(), attrs, SECRET_SEARCH_NONE, c, cb, data);
        });
    if (!p->error.empty()) logFailure("exists", service, account, p->error);
    return p->ok;
}

std::optional<std::string> SecretServiceStore::get(std::string_view service,
                                                   std::string_view account) {
    const auto deadline = Clock::now() + unlockTimeout_;
    std::unique_lock lock(callMutex(), std::defer_lock);
    if (!lock.try_lock_until(deadline)) {
        logFailure("get", service, account, "busy");
        return std::nullopt;
    }
    if (!reachable("get", service, account)) return std::nullopt;
    const auto p = run(
        service, account, deadline,
        [](Pending& r, GAsyncResult* result) {
            GError* error = nullptr;
            gchar* secret = secret_password_lookup_finish(result, &error);
            if (secret && g_utf8_validate(secret, -1, nullptr)) r.text = std::string(secret);
            secret_password_free(secret);
            r.takeError(error);
        },
        [](GHashTable* attrs, GCancellable* c, GAsyncReadyCallback cb, gpointer data) {
            secret_password_lookupv(schema(), attrs, c, cb, data);
        });
    if (!p->error.empty()) logFailure("get", service, account, p->error);
    return p->text;
}

bool SecretServiceStore::set(std::string_view value, std::string_view service,
                             std::string_view account) {
    // The service keeps text: a value it would cut at a NUL or could not give back is refused.
    if (value.find('\0') != std::string_view::npos ||
        !g_utf8_validate(value.data(), static_cast<gssize>(value.size()), nullptr)) {
        logFailure("set", service, account, "value is not UTF-8 text");
        return false;
    }
    const auto deadline = Clock::now() + unlockTimeout_;
    std::unique_lock lock(callMutex(), std::defer_lock);
    if (!lock.try_lock_until(deadline)) {
        logFailure("set", service, account, "busy");
        return false;
    }
    if (!reachable("set", service, account)) return false;
    // Delete every matching item first, so exactly one holds the new value afterwards.
    const auto cleared = run(
        service, account, deadline,
        [](Pending& r, GAsyncResult* result) {
            GError* error = nullptr;
            secret_password_clear_finish(result, &error);  // false also when nothing matched
            r.takeError(error);
        },
        [](GHashTable* attrs, GCancellable* c, GAsyncReadyCallback cb, gpointer data) {
            secret_password_clearv(schema(), attrs, c, cb, data);
        });
    if (!cleared->error.empty()) {
        logFailure("set", service, account, cleared->error);
        return false;
    }
    const std::string label = "Pivorel " + std::string(account);
    const std::string secret(value);
    const auto stored = run(
        service, account, deadline,
        [](Pending& r, GAsyncResult* result) {
            GError* error = nullptr;
            r.ok = secret_password_store_finish(result, &error);
            r.takeError(error);
        },
        [&](GHashTable* attrs, GCancellable* c, GAsyncReadyCallback cb, gpointer data) {
            secret_password_storev(schema(), attrs, SECRET_COLLECTION_DEFAULT, label.c_str(),
                                   secret.c_str(), c, cb, data);
        });
    if (!stored->error.empty()) logFailure("set", service, account, stored->error);
    return stored->ok;
}

}  // namespace pivorel
