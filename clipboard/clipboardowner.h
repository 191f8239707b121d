#pragma once
// The owner of the X11 CLIPBOARD selection for one UTF-8 text: it answers the
// requests of the programs that paste until another program takes the
// clipboard.

#include "clipboard/textoffer.h"

#include <xcb/xcb.h>

#include <memory>
#include <string>

namespace clipboard {

class ClipboardOwner final {
  public:
    // Takes the clipboard for `utf8` on a window of its own. Null, with the
    // reason in `error`, when the text does not fit into one request to the
    // server or the clipboard cannot be had.
    static std::unique_ptr<ClipboardOwner> Take(xcb_connection_t& connection, std::string utf8,
                                                std::string& error);
    ~ClipboardOwner();
    ClipboardOwner(const ClipboardOwner&) = delete;
    ClipboardOwner& operator=(const ClipboardOwner&) = delete;

    // Answers a request for the text; false once the clipboard is lost.
    bool Handle(const xcb_generic_event_t& event);
    // Handles events until the clipboard is lost or the connection ends.
    void Serve();

  private:
    ClipboardOwner(xcb_connection_t& connection, std::string utf8);
    bool Acquire(std::string& error);
    void Answer(const xcb_selection_request_event_t& request);

    xcb_connection_t& connection_;
    const std::string text_;
    xcb_window_t window_;
    xcb_atom_t clipboard_;
    TargetAtoms atoms_;
    xcb_timestamp_t acquired_ = XCB_CURRENT_TIME;
};

// Ends a selection request: the answer is in `property`, or nowhere (none)
// when the request is refused.
void NotifyRequestor(xcb_connection_t& connection, const xcb_selection_request_event_t& request,
                     xcb_atom_t property);

} // namespace clipboard
