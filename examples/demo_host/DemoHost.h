#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "AssetExtras.h"
#include "CastReceiver.h"
#include "KeyMomentsControlsDelegate.h"
#include "casting/CastManager.h"
#include "controls/ZuAdControlsView.h"
#include "foundation/KeyValueObserving.h"
#include "playback/LicenceRedirect.h"
#include "screen/ZuPlayerViewController.h"
#include "uikit/UIWindow.h"

namespace demohost {

// Whoever runs the host hears what the player screen tells it (every delegate call, passed on after the host
// has acted on it) and what the host itself did. Main thread; held weakly.
class DemoHostListener : public lumora::ZuPlayerViewControllerDelegate {
  public:
    // A part of the asset's extras has been handed to the screen, or could not be had: `extras` holds that
    // part alone (`extras.describe()` says what it came to). The ad breaks go once the stream's length is
    // known, the thumbnails once the stream plays.
    virtual void hostDidGiveExtras(AssetExtras::Part part, const AssetExtras& extras) {
        (void)part;
        (void)extras;
    }
    // The viewer picked a key moment on the strip; the screen has been told.
    virtual void hostDidSelectKeyMoment(const lumora::ZuKeyMomentEvent& event) { (void)event; }
};

// The example host: a window with the kit's player screen in it, the screen's delegate, and what the screen
// leaves to its host — the asset's ad breaks, key moments and scrubbing thumbnails from the host's own back
// end, the ad controls over the player, and a cast receiver. The kit must be configured first
// (`HostConfiguration`). Main thread only.
//
// The extras are fetched while the viewer signs in, and each goes to the screen on its own, whatever the
// others do: the key moments as soon as they come; the ad breaks once the stream's length is known too (ads
// that do not fit in the stream are refused); the thumbnails only once the stream plays: nothing scrubs
// before that, and decoding them then keeps the host's own work off the road from the sign-in to the first
// picture.
//
//   auto host = demohost::DemoHost::create({.assetId = "vod-protected-ads", .serviceBase = base}, listener);
//   host->start();                  // the window, the screen, the extras; plays the asset
//   ... run the main loop ...
//   host->tearDown();
class DemoHost final : public lumora::ZuPlayerViewControllerDelegate, public std::enable_shared_from_this<DemoHost> {
  public:
    struct Settings {
        std::string assetId;
        // Where the host's back end serves ad breaks, key moments and thumbnails ("http://host:port").
        std::string serviceBase;
        // A licence server on this machine that the kit's licence requests for 127.0.0.1 go to instead
        // ("http://127.0.0.1:<port>"); nothing: the requests go where the key addresses say.
        std::optional<std::string> loopbackLicenceBase;
        // The screen's services; the fields left empty are the kit's own.
        lumora::ZuPlayerViewController::Dependencies services;
        // The cast receivers offered.
        std::vector<std::string> castDevices{"Living Room TV"};
    };

    static std::shared_ptr<DemoHost> create(Settings settings, std::weak_ptr<DemoHostListener> listener = {});
    ~DemoHost() override;

    // Puts the screen in a window of the main screen's size, fetches the asset's extras and plays the asset.
    void start();
    // Stops the player and takes the window down; the host can then be released.
    void tearDown();

    const std::shared_ptr<uikit::UIWindow>& window() const { return window_; }
    const std::shared_ptr<lumora::ZuPlayerViewController>& screen() const { return screen_; }
    // The key moments answered to the controls.
    const std::vector<lumora::ZuKeyMomentEvent>& keyMoments() const;
    // The parts of the extras whose answer has not come yet.
    std::vector<AssetExtras::Part> extrasAwaited() const;

    // The viewer picked a receiver: the local player pauses and the receiver takes the stream where it was.
    // Returns that position (seconds of the stream), or nothing for a receiver not offered or no player.
    std::optional<double> castTo(const std::string& device);
    // The viewer stopped casting: playback comes back to this device. Returns where the receiver was.
    std::optional<double> endCast();

    // Whether the screen is between transitions: nothing over it is being presented or dismissed.
    bool isSettled() const;
    // Whether the viewer now sees what went wrong: the host's alert over the stopped player, fully up.
    bool isShowingFailure() const;

    // ---- The screen's delegate ----
    void playerControllerDidChangeStatus(lumora::ZuPlayerViewController& controller,
                                         lumora::ZuPlayerStatus status) override;
    void playerControllerDidFailWith(lumora::ZuPlayerViewController& controller,
                                     const foundation::Error& error) override;
    void playerControllerDidPressCloseButton(lumora::ZuPlayerViewController& controller) override;
    void playerControllerDidPresentLogin(lumora::ZuPlayerViewController& controller) override;
    void playerControllerDidLoginSuccessfully(lumora::ZuPlayerViewController& controller) override;
    void playerControllerDidDismissLogin(lumora::ZuPlayerViewController& controller) override;
    void playerControllerDidFailLoginWith(lumora::ZuPlayerViewController& controller,
                                          const foundation::Error& error) override;
    void playerControllerDidExceedStreamLimit(lumora::ZuPlayerViewController& controller) override;

  private:
    DemoHost(Settings settings, std::weak_ptr<DemoHostListener> listener);
    void extrasArrived(AssetExtras::Part part, AssetExtras extras);
    void giveAdBreaksOnceLoaded();
    void decodeThumbnailsOncePlaying();
    void thumbnailsDecoded(AssetExtras extras);
    void tellListener(AssetExtras::Part part, const AssetExtras& extras);
    double playhead() const;
    // Stops the player and tells the viewer in an alert once the screen is settled. One failure at a time,
    // but the stream limit takes the place of a failure it caused (keys refused once the viewer was signed out).
    struct Failure {
        std::string title;
        std::string message;
        bool isStreamLimit = false;
    };
    void showFailure(Failure failure);
    void presentFailureWhenSettled(int attempts);

    Settings settings_;
    std::weak_ptr<DemoHostListener> listener_;
    std::optional<lumora::LicenceRedirect> licenceRedirect_;
    std::shared_ptr<uikit::UIWindow> window_;
    std::shared_ptr<lumora::ZuPlayerViewController> screen_;
    std::shared_ptr<KeyMomentsControlsDelegate> controlsDelegate_;
    std::shared_ptr<lumora::ZuAdControlsView> adControls_;
    std::shared_ptr<lumora::CastManager> castManager_;
    std::shared_ptr<CastReceiver> receiver_;
    // The parts not answered yet; the ad breaks waiting for the stream's length; the thumbnails waiting for
    // the stream to play, and whether it has.
    std::vector<AssetExtras::Part> awaited_;
    std::optional<AssetExtras> adBreaks_;
    std::optional<AssetExtras> thumbnails_;
    bool playing_ = false;
    foundation::NSKeyValueObservation playingObservation_;
    foundation::NSKeyValueObservation durationObservation_;
    // The failure waiting for the screen to settle, and the one whose alert is (being) presented.
    std::optional<Failure> pendingFailure_;
    std::optional<Failure> shownFailure_;
    std::shared_ptr<uikit::UIViewController> alert_;
    bool alertShown_ = false;
    bool presentingScheduled_ = false;
};

}  // namespace demohost
