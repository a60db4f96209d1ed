#pragma once

#include <cstddef>
#include <unordered_map>
#include <vector>

#include "keymoments/ZuKeyMomentEvent.h"

namespace lumora::detail {

// The view tags that tie one strip's markers to their events: a positive number per distinct event (its code
// and its time, −0 taken as +0) that the strip holds. The strip holds a tag once for each use it makes of it
// (the event in the list it shows, a marker of the event still among its subviews); equal events get the same
// tag, two events held at the same time never share one, and no event gets 0 (the tag of every view that sets
// none). When the last hold of a tag ends its event is forgotten and the number is handed out again, so the
// table is as large as what the strip shows, and its numbers never exceed the most events held at once.
// Owned by its strip; main thread only.
class KeyMomentTags {
  public:
    // The tag of `event`, held once more; a free number when nobody held it.
    int hold(const ZuKeyMomentEvent& event);
    // One more hold of a tag that is held (nothing for a tag that is not).
    void hold(int tag);
    // Ends one hold of `tag`; the last one forgets its event and frees the number.
    void release(int tag);
    // The tag of `event` while it is held; 0 otherwise.
    int find(const ZuKeyMomentEvent& event) const;
    // The events held (the table's size).
    std::size_t size() const { return byEvent_.size(); }

  private:
    struct Slot {
        const ZuKeyMomentEvent* event = nullptr;  // the key of its entry, while held (stays put on a rehash)
        std::size_t holds = 0;
    };
    Slot* slot(int tag);

    std::unordered_map<ZuKeyMomentEvent, int> byEvent_;
    std::vector<Slot> slots_;  // by tag − 1
    std::vector<int> free_;    // numbers released, handed out again last-released first
};

}  // namespace lumora::detail
