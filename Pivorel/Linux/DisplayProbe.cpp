#include "Pivorel/Linux/DisplayProbe.h"

#include <xcb/xcb.h>
#include <xcb/xinput.h>

#include <cstdlib>
#include <memory>

namespace pivorel {

bool x11InputReachable(const std::string& display) {
    const char* name = display.empty() ? std::getenv("DISPLAY") : display.c_str();
    // Without a display name xcb would fall back to ":0"; that is not the user's display.
    if (!name || !*name) return false;
    xcb_connection_t* c = xcb_connect(name, nullptr);
    std::unique_ptr<xcb_connection_t, void (*)(xcb_connection_t*)> guard(c, xcb_disconnect);
    if (!c || xcb_connection_has_error(c)) return false;

    const xcb_query_extension_reply_t* ext = xcb_get_extension_data(c, &xcb_input_id);
    if (!ext || !ext->present) return false;
    xcb_generic_error_t* error = nullptr;
    std::unique_ptr<xcb_input_xi_query_version_reply_t, decltype(&std::free)> reply(
        xcb_input_xi_query_version_reply(c, xcb_input_xi_query_version(c, 2, 2), &error),
        &std::free);
    std::free(error);
    if (!reply) return false;
    return reply->major_version > 2 || (reply->major_version == 2 && reply->minor_version >= 2);
}

}  // namespace pivorel
