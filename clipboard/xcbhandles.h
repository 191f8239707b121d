#pragma once
// Owners of the X connection and of what libxcb hands out to be freed.

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>
#include <string_view>

namespace clipboard {

struct XcbDisconnect {
    void operator()(xcb_connection_t* connection) const { xcb_disconnect(connection); }
};
using XcbConnection = std::unique_ptr<xcb_connection_t, XcbDisconnect>;

struct XcbFree {
    void operator()(void* block) const { std::free(block); }
};
template <typename T> using XcbReply = std::unique_ptr<T, XcbFree>;
using XcbEvent = XcbReply<xcb_generic_event_t>;

// The display named by DISPLAY; null when it cannot be reached.
XcbConnection ConnectToDisplay();

// XCB_ATOM_NONE when the server does not answer.
xcb_atom_t InternAtom(xcb_connection_t& connection, std::string_view name);

// Null once the connection is broken, which is how the end of the X server
// shows.
inline XcbEvent WaitForEvent(xcb_connection_t& connection) {
    return XcbEvent(xcb_wait_for_event(&connection));
}

inline std::uint8_t EventType(const xcb_generic_event_t& event) {
    return event.response_type & 0x7F;
}

} // namespace clipboard
