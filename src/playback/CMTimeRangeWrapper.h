#pragma once

#include <memory>

#include "coremedia/CMTime.h"

namespace lumora {

// Carries one loaded time range to observers of the player's loaded ranges, which are published as a
// list of these objects. Immutable once made; there is no way to make one without a range.
class CMTimeRangeWrapper {
  public:
    static std::shared_ptr<CMTimeRangeWrapper> create(coremedia::CMTimeRange range) {
        return std::shared_ptr<CMTimeRangeWrapper>(new CMTimeRangeWrapper(range));
    }
    // A new wrapper around the zero range on every call, so no two holders share one object.
    static std::shared_ptr<CMTimeRangeWrapper> zero() { return create(coremedia::kCMTimeRangeZero); }

    const coremedia::CMTimeRange& range() const { return range_; }

  private:
    explicit CMTimeRangeWrapper(coremedia::CMTimeRange range) : range_(range) {}

    const coremedia::CMTimeRange range_;
};

}  // namespace lumora
