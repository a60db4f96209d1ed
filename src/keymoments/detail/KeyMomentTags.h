#pragma once

#include "keymoments/ZuKeyMomentEvent.h"

namespace lumora::detail {

// The view tag that ties a marker to its event within this run of the program: a small positive number
// per distinct event (its code and its time, −0 taken as +0), handed out in order of first use. Equal
// events get the same tag, different events never share one, and no event gets 0 (the tag of every view
// that sets none). Thread-safe.
int keyMomentTag(const ZuKeyMomentEvent& event);

}  // namespace lumora::detail
