#pragma once
// The text the program put on the clipboard outlives the program, as the
// user expects: on X11 the clipboard otherwise empties with its owner.

namespace gui {

// To be called once the last window is gone, while the application object
// still exists. When the program still owns the clipboard with its text: a
// clipboard manager on the display gets the text from Qt as the application
// ends; without one a detached lodestone-clipboard takes the clipboard over
// and serves the text. Elsewhere than on X11 (on Wayland the compositor keeps
// the clipboard) nothing is done.
void KeepClipboardText();

} // namespace gui
