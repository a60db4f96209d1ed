#include "keymoments/detail/KeyMomentTags.h"

#include <limits>
#include <mutex>
#include <unordered_map>

namespace lumora::detail {

int keyMomentTag(const ZuKeyMomentEvent& event) {
    static std::mutex mutex;
    static std::unordered_map<ZuKeyMomentEvent, int> tags;
    static int last = 0;
    std::lock_guard lock(mutex);
    auto [found, inserted] = tags.try_emplace(event, 0);
    if (inserted) {
        // Two thousand million distinct events in one run would be needed to run out; past that, every new
        // event shares the last tag rather than wrapping onto 0 or a negative number.
        if (last < std::numeric_limits<int>::max()) ++last;
        found->second = last;
    }
    return found->second;
}

}  // namespace lumora::detail
