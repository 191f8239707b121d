#include "clipboard/clipboardowner.h"

#include "clipboard/xcbhandles.h"

namespace clipboard {

namespace {

// The longest text one ChangeProperty request carries: the server's limit
// less the request's own head (24 bytes, 4 more with big requests). A longer
// text would need the incremental protocol; this keeper refuses it instead.
std::size_t LongestText(xcb_connection_t& connection) {
    const std::size_t limit = std::size_t{xcb_get_maximum_request_length(&connection)} * 4;
    return limit > 28 ? limit - 28 : 0;
}

// The server's time now, read off a property change on `window` (which asks
// for PropertyNotify): the clipboard is taken with a real time, so that late
// requests meant for an earlier owner can be told apart.
std::optional<xcb_timestamp_t> ServerTime(xcb_connection_t& connection, xcb_window_t window) {
    xcb_change_property(&connection, XCB_PROP_MODE_APPEND, window, XCB_ATOM_WM_NAME,
                        XCB_ATOM_STRING, 8, 0, nullptr);
    xcb_flush(&connection);
    while (XcbEvent event = WaitForEvent(connection)) {
        if (EventType(*event) != XCB_PROPERTY_NOTIFY)
            continue;
        const auto& notify = reinterpret_cast<const xcb_property_notify_event_t&>(*event);
        if (notify.window == window)
            return notify.time;
    }
    return std::nullopt;
}

} // namespace

ClipboardOwner::ClipboardOwner(xcb_connection_t& connection, std::string utf8)
    : connection_(connection), text_(std::move(utf8)), window_(xcb_generate_id(&connection)),
      clipboard_(InternAtom(connection, "CLIPBOARD")), atoms_{
                                                           InternAtom(connection, "TARGETS"),
                                                           InternAtom(connection, "TIMESTAMP"),
                                                           InternAtom(connection, "UTF8_STRING"),
                                                           InternAtom(connection,
                                                                      "text/plain;charset=utf-8"),
                                                           XCB_ATOM_STRING,
                                                           InternAtom(connection, "TEXT"),
                                                           XCB_ATOM_ATOM,
                                                           XCB_ATOM_INTEGER} {
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(&connection)).data;
    const std::uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(&connection, XCB_COPY_FROM_PARENT, window_, screen->root, -1, -1, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK,
                      &events);
}

ClipboardOwner::~ClipboardOwner() {
    xcb_destroy_window(&connection_, window_);
    xcb_flush(&connection_);
}

std::unique_ptr<ClipboardOwner> ClipboardOwner::Take(xcb_connection_t& connection, std::string utf8,
                                                     std::string& error) {
    if (utf8.size() > LongestText(connection)) {
        error = "the text is longer than the X server takes in one request";
        return nullptr;
    }
    std::unique_ptr<ClipboardOwner> owner(new ClipboardOwner(connection, std::move(utf8)));
    if (!owner->Acquire(error))
        return nullptr;
    return owner;
}

bool ClipboardOwner::Acquire(std::string& error) {
    const std::optional<xcb_timestamp_t> now = ServerTime(connection_, window_);
    if (!now || clipboard_ == XCB_ATOM_NONE) {
        error = "the X server does not answer";
        return false;
    }
    acquired_ = *now;
    xcb_set_selection_owner(&connection_, window_, clipboard_, acquired_);
    const XcbReply<xcb_get_selection_owner_reply_t> owner(xcb_get_selection_owner_reply(
        &connection_, xcb_get_selection_owner(&connection_, clipboard_), nullptr));
    if (!owner || owner->owner != window_) {
        error = "another program holds the clipboard";
        return false;
    }
    return true;
}

bool ClipboardOwner::Handle(const xcb_generic_event_t& event) {
    switch (EventType(event)) {
    case XCB_SELECTION_REQUEST:
        Answer(reinterpret_cast<const xcb_selection_request_event_t&>(event));
        return true;
    case XCB_SELECTION_CLEAR:
        return reinterpret_cast<const xcb_selection_clear_event_t&>(event).selection != clipboard_;
    default:
        return true;
    }
}

void ClipboardOwner::Serve() {
    while (XcbEvent event = WaitForEvent(connection_))
        if (!Handle(*event))
            return;
}

void ClipboardOwner::Answer(const xcb_selection_request_event_t& request) {
    // Requests made before the clipboard was ours are for the earlier owner.
    const bool current = request.time == XCB_CURRENT_TIME ||
                         static_cast<std::int32_t>(request.time - acquired_) >= 0;
    std::optional<Reply> reply;
    if (request.selection == clipboard_ && current)
        reply = OfferText(atoms_, request.target, text_, acquired_);
    // Old clients name no property; the reply then goes to the target's name.
    const xcb_atom_t property =
        request.property == XCB_ATOM_NONE ? request.target : request.property;
    if (reply)
        xcb_change_property(&connection_, XCB_PROP_MODE_REPLACE, request.requestor, property,
                            reply->type, reply->format,
                            static_cast<std::uint32_t>(reply->bytes.size() / (reply->format / 8)),
                            reply->bytes.data());
    NotifyRequestor(connection_, request, reply ? property : xcb_atom_t{XCB_ATOM_NONE});
}

void NotifyRequestor(xcb_connection_t& connection, const xcb_selection_request_event_t& request,
                     xcb_atom_t property) {
    xcb_selection_notify_event_t notify{};
    notify.response_type = XCB_SELECTION_NOTIFY;
    notify.time = request.time;
    notify.requestor = request.requestor;
    notify.selection = request.selection;
    notify.target = request.target;
    notify.property = property;
    xcb_send_event(&connection, 0, request.requestor, XCB_EVENT_MASK_NO_EVENT,
                   reinterpret_cast<const char*>(&notify));
    xcb_flush(&connection);
}

} // namespace clipboard
