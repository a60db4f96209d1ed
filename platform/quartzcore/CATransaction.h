#pragma once

#include "coregraphics/CGGeometry.h"

namespace quartzcore {

// Groups layer changes. Only what the kit uses: whether implicit actions are disabled, and the
// duration given to implicit animations. Per thread. Outside `begin()`/`commit()` the settings go to
// an implicit transaction that lasts until `flush()` (the end of a turn of the display cycle).
class CATransaction {
  public:
    static void begin();
    // Ends the innermost explicit transaction; ignored when none is open.
    static void commit();
    // Ends the implicit transaction (its settings return to the defaults).
    static void flush();

    // While true, changing a layer property runs no action (no implicit animation). Default false.
    static bool disableActions();
    static void setDisableActions(bool flag);
    // Seconds; default 0.25.
    static coregraphics::CGFloat animationDuration();
    static void setAnimationDuration(coregraphics::CGFloat seconds);
    // Open explicit transactions on this thread.
    static int depth();
};

}  // namespace quartzcore
