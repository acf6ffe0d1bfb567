// The window to the front with the launcher's activation token: xdg-activation on SDL's
// own Wayland connection, through a private event queue so that SDL's events stay SDL's.
#include "platform/sdl/sdlplatform.h"

#include <SDL_syswm.h>
#include <wayland-client.h>

#include <cstring>

#include "xdg-activation-v1-client-protocol.h"

namespace platform {

namespace {

struct Globals {
    xdg_activation_v1* activation = nullptr;
};

void announce(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version) {
    auto* globals = static_cast<Globals*>(data);
    if (!globals->activation && std::strcmp(interface, xdg_activation_v1_interface.name) == 0)
        globals->activation =
            static_cast<xdg_activation_v1*>(wl_registry_bind(registry, name, &xdg_activation_v1_interface, 1));
}

void withdraw(void*, wl_registry*, uint32_t) {}

const wl_registry_listener registryListener = {announce, withdraw};

} // namespace

bool SdlPlatform::activateWithToken(const std::string& token) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!sdlWindow || !SDL_GetWindowWMInfo(sdlWindow, &info) || info.subsystem != SDL_SYSWM_WAYLAND) return false;
    wl_display* display = info.info.wl.display;
    wl_event_queue* queue = wl_display_create_queue(display);
    if (!queue) return false;
    auto* wrapper = static_cast<wl_display*>(wl_proxy_create_wrapper(display));
    bool sent = false;
    if (wrapper) {
        wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(wrapper), queue);
        Globals globals;
        wl_registry* registry = wl_display_get_registry(wrapper);
        wl_registry_add_listener(registry, &registryListener, &globals);
        if (wl_display_roundtrip_queue(display, queue) >= 0 && globals.activation) {
            xdg_activation_v1_activate(globals.activation, token.c_str(), info.info.wl.surface);
            sent = true;
        }
        if (globals.activation) xdg_activation_v1_destroy(globals.activation);
        wl_registry_destroy(registry);
        wl_proxy_wrapper_destroy(wrapper);
        wl_display_flush(display);
    }
    wl_event_queue_destroy(queue);
    return sent;
}

} // namespace platform
