#pragma once

namespace avfoundation::detail {

// What an item tells the player it is the current item of (the player implements it, privately). Main
// thread only.
class PlayerItemHost {
  public:
    // The item's media or state changed (segments arrived, it became ready, its live window moved): the
    // player looks at it again.
    virtual void itemDidChange() = 0;
    // The item failed.
    virtual void itemDidFail() = 0;

  protected:
    ~PlayerItemHost() = default;
};

}  // namespace avfoundation::detail
