#pragma once
// The whole host, every role in one, for the composition root: the Qt host
// implements it. The application and the requests take only the roles they
// use, and tests fake only those.

#include "host/browserframes.h"
#include "host/desktop.h"
#include "host/eventloop.h"
#include "host/notices.h"
#include "host/runtime.h"
#include "host/tray.h"
#include "host/windows.h"

namespace host {

class Host : public Runtime,
             public EventLoop,
             public Windows,
             public Tray,
             public BrowserFrames,
             public Notices,
             public Desktop {};

} // namespace host
