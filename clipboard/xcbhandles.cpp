#include "clipboard/xcbhandles.h"

namespace clipboard {

XcbConnection ConnectToDisplay() {
    XcbConnection connection(xcb_connect(nullptr, nullptr));
    if (xcb_connection_has_error(connection.get()))
        return nullptr;
    return connection;
}

xcb_atom_t InternAtom(xcb_connection_t& connection, std::string_view name) {
    const XcbReply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        &connection,
        xcb_intern_atom(&connection, 0, static_cast<std::uint16_t>(name.size()), name.data()),
        nullptr));
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

} // namespace clipboard
