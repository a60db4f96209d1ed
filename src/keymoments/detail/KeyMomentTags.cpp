#include "keymoments/detail/KeyMomentTags.h"

namespace lumora::detail {

KeyMomentTags::Slot* KeyMomentTags::slot(int tag) {
    if (tag <= 0 || static_cast<std::size_t>(tag) > slots_.size()) return nullptr;
    Slot& s = slots_[static_cast<std::size_t>(tag) - 1];
    return s.holds > 0 ? &s : nullptr;
}

int KeyMomentTags::hold(const ZuKeyMomentEvent& event) {
    auto [entry, inserted] = byEvent_.try_emplace(event, 0);
    if (!inserted) {
        ++slots_[static_cast<std::size_t>(entry->second) - 1].holds;
        return entry->second;
    }
    int tag;
    if (!free_.empty()) {
        tag = free_.back();
        free_.pop_back();
    } else {
        // At most one number per event held: the count of events held fits an int long before memory runs out.
        slots_.emplace_back();
        tag = static_cast<int>(slots_.size());
    }
    entry->second = tag;
    slots_[static_cast<std::size_t>(tag) - 1] = Slot{&entry->first, 1};
    return tag;
}

void KeyMomentTags::hold(int tag) {
    if (Slot* s = slot(tag)) ++s->holds;
}

void KeyMomentTags::release(int tag) {
    Slot* s = slot(tag);
    if (!s || --s->holds > 0) return;
    byEvent_.erase(byEvent_.find(*s->event));
    s->event = nullptr;
    free_.push_back(tag);
}

int KeyMomentTags::find(const ZuKeyMomentEvent& event) const {
    auto found = byEvent_.find(event);
    return found == byEvent_.end() ? 0 : found->second;
}

}  // namespace lumora::detail
