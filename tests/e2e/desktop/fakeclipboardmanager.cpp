// A clipboard manager as small as the clipboard-manager protocol allows: it
// owns CLIPBOARD_MANAGER and, asked to SAVE_TARGETS by a program that ends,
// fetches the clipboard's UTF-8 text, takes the clipboard over and serves it.
// Says "ready" once it runs, "saved" once it holds a text and "lost" when
// another program takes the clipboard from it, which ends it.

#include "clipboard/clipboardowner.h"
#include "clipboard/xcbhandles.h"

#include <cstdio>
#include <memory>
#include <string>

using namespace clipboard;

namespace {

void Say(const char* word) {
    std::puts(word);
    std::fflush(stdout);
}

class Manager final {
  public:
    explicit Manager(xcb_connection_t& connection)
        : connection_(connection), window_(xcb_generate_id(&connection)),
          manager_(InternAtom(connection, "CLIPBOARD_MANAGER")),
          saveTargets_(InternAtom(connection, "SAVE_TARGETS")),
          clipboard_(InternAtom(connection, "CLIPBOARD")),
          utf8_(InternAtom(connection, "UTF8_STRING")),
          saved_(InternAtom(connection, "_LODESTONE_SAVED")) {
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(&connection)).data;
        xcb_create_window(&connection, XCB_COPY_FROM_PARENT, window_, screen->root, -1, -1, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
        xcb_set_selection_owner(&connection, window_, manager_, XCB_CURRENT_TIME);
        xcb_flush(&connection);
    }

    int Run() {
        Say("ready");
        while (XcbEvent event = WaitForEvent(connection_)) {
            const auto& request = reinterpret_cast<const xcb_selection_request_event_t&>(*event);
            if (EventType(*event) == XCB_SELECTION_REQUEST && request.selection == manager_) {
                Save(request);
            } else if (owner_ && !owner_->Handle(*event)) {
                Say("lost");
                return 0;
            }
        }
        return 1;
    }

  private:
    void Save(const xcb_selection_request_event_t& request) {
        const bool saved = request.target == saveTargets_ && Fetch();
        NotifyRequestor(connection_, request, saved ? request.property : xcb_atom_t{XCB_ATOM_NONE});
        if (saved)
            Say("saved");
    }

    bool Fetch() {
        xcb_convert_selection(&connection_, window_, clipboard_, utf8_, saved_, XCB_CURRENT_TIME);
        xcb_flush(&connection_);
        while (XcbEvent event = WaitForEvent(connection_)) {
            if (EventType(*event) != XCB_SELECTION_NOTIFY)
                continue;
            const XcbReply<xcb_get_property_reply_t> property(
                xcb_get_property_reply(&connection_,
                                       xcb_get_property(&connection_, 1, window_, saved_,
                                                        XCB_GET_PROPERTY_TYPE_ANY, 0, 1u << 24),
                                       nullptr));
            if (!property || property->type != utf8_)
                return false;
            const auto* text = static_cast<const char*>(xcb_get_property_value(property.get()));
            std::string error;
            owner_ = ClipboardOwner::Take(
                connection_, std::string(text, xcb_get_property_value_length(property.get())),
                error);
            return owner_ != nullptr;
        }
        return false;
    }

    xcb_connection_t& connection_;
    xcb_window_t window_;
    xcb_atom_t manager_, saveTargets_, clipboard_, utf8_, saved_;
    std::unique_ptr<ClipboardOwner> owner_;
};

} // namespace

int main() {
    const XcbConnection connection = ConnectToDisplay();
    if (!connection)
        return 1;
    return Manager(*connection).Run();
}
