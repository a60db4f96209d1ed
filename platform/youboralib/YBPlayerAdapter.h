#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <type_traits>

#include "foundation/AnyObject.h"
#include "foundation/KeyValueObserving.h"

// The generic player adapter: ties a plug-in to the player it reports on, whatever that player is.
//
//   auto adapter = youboralib::YBPlayerAdapter::create(player);     // any std::shared_ptr<T>
//   auto plugin = youboralib::YBPlugin::create(options, adapter);
//   adapter->player().as<avfoundation::AVPlayer>();                  // the player while it lives
//
// The adapter holds its player weakly: it never keeps a player alive, and `player()` is nil once the
// player is gone. A player that can be observed by name (a foundation::KVOObservable) with a numeric
// "rate" key (as media players have) is watched while the plug-in's view is open: the first rate above 0
// is the start of playback, which the plug-in reports. Other players are reported on only through
// what the integration tells the plug-in.
namespace youboralib {

class YBPlugin;

class YBPlayerAdapter : public std::enable_shared_from_this<YBPlayerAdapter> {
  public:
    template <class Player>
    static std::shared_ptr<YBPlayerAdapter> create(const std::shared_ptr<Player>& player) {
        std::weak_ptr<Player> weak = player;
        Source source;
        source.player = [weak] { return foundation::AnyObject(weak.lock()); };
        if constexpr (std::is_convertible_v<Player*, const foundation::KVOObservable*>) {
            source.observable = [weak]() -> std::shared_ptr<const foundation::KVOObservable> { return weak.lock(); };
        }
        return std::shared_ptr<YBPlayerAdapter>(new YBPlayerAdapter(std::move(source)));
    }

    // The player while it lives, as the type it was given as; nil once it is gone.
    foundation::AnyObject player() const { return source_.player(); }

    // True once the player has been seen playing in the current view.
    bool isPlaying() const;

    YBPlayerAdapter(const YBPlayerAdapter&) = delete;
    YBPlayerAdapter& operator=(const YBPlayerAdapter&) = delete;

  private:
    friend class YBPlugin;
    struct Source {
        std::function<foundation::AnyObject()> player;
        std::function<std::shared_ptr<const foundation::KVOObservable>()> observable;
    };

    explicit YBPlayerAdapter(Source source) : source_(std::move(source)) {}

    // The plug-in's view opened: `onStart` runs once, on the thread that sets the rate, when the rate
    // first rises above 0 (at once when the player already plays).
    void beginMonitoring(std::function<void()> onStart);
    // The view closed or the adapter was removed: nothing more is reported.
    void endMonitoring();

    const Source source_;
    mutable std::mutex mutex_;  // guards the three below
    foundation::NSKeyValueObservation rateObservation_;
    std::function<void()> onStart_;
    bool playing_ = false;
};

}  // namespace youboralib
