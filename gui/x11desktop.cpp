#include "gui/x11desktop.h"

#include <QAbstractNativeEventFilter>
#include <QGuiApplication>
#include <QTimer>

#include <xcb/xcb.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <type_traits>

namespace gui {

namespace {

struct FreeReply {
    void operator()(void* reply) const { std::free(reply); }
};
template <typename T> using Reply = std::unique_ptr<T, FreeReply>;

// Takes the reply and drops an error, so that a window that has gone meanwhile
// does not show up as an error in Qt's event queue.
template <typename ReplyFunction, typename Cookie>
auto Ask(xcb_connection_t* connection, ReplyFunction replyFunction, Cookie cookie) {
    xcb_generic_error_t* error = nullptr;
    Reply<std::remove_pointer_t<decltype(replyFunction(connection, cookie, &error))>> reply(
        replyFunction(connection, cookie, &error));
    std::free(error);
    return reply;
}

// X11 window identifiers have 32 bits.
bool IsXid(std::uint64_t window) {
    return window != 0 && window <= UINT32_MAX;
}

xcb_atom_t InternAtom(xcb_connection_t* connection, const char* name) {
    const auto reply = Ask(connection, xcb_intern_atom_reply,
                           xcb_intern_atom(connection, 0, std::strlen(name), name));
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

// A property of 32-bit items; empty when the window or property is missing.
std::vector<std::uint32_t> Property32(xcb_connection_t* connection, xcb_window_t window,
                                      xcb_atom_t property, xcb_atom_t type) {
    constexpr std::uint32_t MaxItems = 1 << 16;
    const auto reply = Ask(connection, xcb_get_property_reply,
                           xcb_get_property(connection, 0, window, property, type, 0, MaxItems));
    if (!reply || reply->format != 32)
        return {};
    const auto* items = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
    return {items, items + xcb_get_property_value_length(reply.get()) / 4};
}

Reply<xcb_get_window_attributes_reply_t> Attributes(xcb_connection_t* connection,
                                                    std::uint64_t window) {
    if (!IsXid(window))
        return nullptr;
    return Ask(connection, xcb_get_window_attributes_reply,
               xcb_get_window_attributes(connection, static_cast<xcb_window_t>(window)));
}

} // namespace

struct X11Desktop::Atoms {
    xcb_atom_t clientListStacking;
    xcb_atom_t pid;
    xcb_atom_t wmState;
    xcb_atom_t frameExtents;
};

class X11Desktop::ExtentsFilter final : public QObject, public QAbstractNativeEventFilter {
  public:
    ExtentsFilter(xcb_atom_t frameExtents, std::function<void(std::uint64_t)> changed)
        : frameExtents_(frameExtents), changed_(std::move(changed)) {
        qGuiApp->installNativeEventFilter(this);
    }
    ~ExtentsFilter() override {
        if (qGuiApp)
            qGuiApp->removeNativeEventFilter(this);
    }
    ExtentsFilter(const ExtentsFilter&) = delete;
    ExtentsFilter& operator=(const ExtentsFilter&) = delete;

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        if (type != "xcb_generic_event_t")
            return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7f) != XCB_PROPERTY_NOTIFY)
            return false;
        const auto* notify = static_cast<const xcb_property_notify_event_t*>(message);
        if (notify->atom == frameExtents_) {
            // Qt reads the new extents only after this filter has run.
            const std::uint64_t window = notify->window;
            QTimer::singleShot(0, this, [this, window] { changed_(window); });
        }
        return false;
    }

  private:
    xcb_atom_t frameExtents_;
    std::function<void(std::uint64_t)> changed_;
};

X11Desktop::X11Desktop() {
    const auto* x11 =
        qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection())
        return;
    connection_ = x11->connection();
    root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
    atoms_ = std::make_unique<Atoms>(Atoms{InternAtom(connection_, "_NET_CLIENT_LIST_STACKING"),
                                           InternAtom(connection_, "_NET_WM_PID"),
                                           InternAtom(connection_, "WM_STATE"),
                                           InternAtom(connection_, "_NET_FRAME_EXTENTS")});
}

X11Desktop::~X11Desktop() = default;

std::optional<std::vector<std::uint64_t>> X11Desktop::StackingOrder() const {
    if (!connection_)
        return std::nullopt;
    const std::vector<std::uint32_t> bottomFirst =
        Property32(connection_, root_, atoms_->clientListStacking, XCB_ATOM_WINDOW);
    if (bottomFirst.empty())
        return std::nullopt;
    return std::vector<std::uint64_t>(bottomFirst.rbegin(), bottomFirst.rend());
}

bool X11Desktop::IsShown(std::uint64_t window) const {
    if (!connection_)
        return false;
    const auto attributes = Attributes(connection_, window);
    if (!attributes)
        return false;
    if (attributes->map_state == XCB_MAP_STATE_VIEWABLE)
        return true;
    constexpr std::uint32_t IconicState = 3;
    const std::vector<std::uint32_t> state = Property32(
        connection_, static_cast<xcb_window_t>(window), atoms_->wmState, atoms_->wmState);
    return !state.empty() && state.front() == IconicState;
}

std::uint32_t X11Desktop::ProcessId(std::uint64_t window) const {
    if (!connection_ || !IsXid(window))
        return 0;
    const std::vector<std::uint32_t> pid =
        Property32(connection_, static_cast<xcb_window_t>(window), atoms_->pid, XCB_ATOM_CARDINAL);
    return pid.empty() ? 0 : pid.front();
}

bool X11Desktop::Exists(std::uint64_t window) const {
    return connection_ && Attributes(connection_, window) != nullptr;
}

void X11Desktop::WatchFrameExtents(std::function<void(std::uint64_t window)> changed) {
    if (connection_)
        extentsFilter_ = std::make_unique<ExtentsFilter>(atoms_->frameExtents, std::move(changed));
}

} // namespace gui
