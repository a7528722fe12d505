#pragma once
// The engine thread: owns all typing state and handles one event at a time.
#include "app/runtime.h"
#include "desktop/desktop.h"
#include "engine/channel.h"

namespace klavix {

// Thread body: builds the dictionaries and lists, then loops until the channel disconnects.
void run_engine(Desktop& desktop, Runtime& rt, EventReceiver receiver);

}  // namespace klavix
