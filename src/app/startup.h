#pragma once
// The start-up steps both shells share (the Windows program and the simulated one): the
// settings folder and its files, the settings published, the welcome marker.
#include "app/runtime.h"

namespace klavix {

// Creates the settings folder, writes settings.ini with the defaults when it has no readable
// metadata (that is the first run), writes the default exceptions.txt and apps.txt when they
// are missing (an existing file is never touched), then loads and applies the settings.
// Returns first_run. Every failure is ignored.
bool prepare_settings(Runtime& rt);

// The once-per-user welcome: true when the ".welcome" marker was missing, in which case it is
// created now. A marker that cannot be created brings the welcome at every start.
bool welcome_due();

}  // namespace klavix
