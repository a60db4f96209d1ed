#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "keymoments/ZuKeyMomentEvent.h"

namespace uikit {
class UIWindow;
}  // namespace uikit

namespace lumora {
class LoginViewController;
class ZuPlayerViewController;
}  // namespace lumora

namespace demoharness {

// The person in front of the demo: types into the kit's login screen, taps the picture to show the
// controls, scrubs with the slider, picks a key moment, jumps back and forth and switches captions, each
// once, at fixed points of the asset. Every touch goes through the toolkit's event path (the window's
// hit-testing, the application's `sendEvent`), spaced out on the one clock as a person's would be.
// Main thread only.
class ScriptedViewer : public std::enable_shared_from_this<ScriptedViewer> {
  public:
    struct Hooks {
        // A line for the timeline ("viewer: ...").
        std::function<void(const std::string&)> say;
        // A picture of the window at this moment: a short name and a caption.
        std::function<void(const std::string& slug, const std::string& caption)> screenshot;
        // Casting to a receiver starts (true) or ends (false); nothing when the host offers no casting.
        std::function<void(bool)> cast;
    };

    static std::shared_ptr<ScriptedViewer> create(std::shared_ptr<uikit::UIWindow> window,
                                                  std::weak_ptr<lumora::ZuPlayerViewController> screen, Hooks hooks);

    // The login screen is up: type the e-mail address and the password, take a picture, tap "Login".
    void signIn(const std::shared_ptr<lumora::LoginViewController>& login, const std::string& email,
                const std::string& password);
    // The host's key moments (the strip the viewer picks from).
    void setKeyMoments(std::vector<lumora::ZuKeyMomentEvent> events) { keyMoments_ = std::move(events); }
    // Called with the playhead (content time, ads cut out) and the content's duration as the stream
    // plays: starts the next step when its moment has come and the previous one has finished.
    void playing(double position, double duration);
    // An ad began to be shown (the first one gets a picture).
    void adStarted(const std::string& title);
    // The stream played to its end: shows the controls and takes a last picture.
    void ended();
    // Whether the last picture has been taken.
    bool isFinished() const { return !done_.empty() && done_.back() == "end"; }

    // The steps done so far, by name ("controls", "scrub", "key moment", ...).
    const std::vector<std::string>& stepsDone() const { return done_; }

  private:
    ScriptedViewer(std::shared_ptr<uikit::UIWindow> window, std::weak_ptr<lumora::ZuPlayerViewController> screen,
                   Hooks hooks);

    bool controlsShown() const;
    // Taps the middle of the picture when the controls are hidden, then runs `next` once they are up
    // (or when they did not come up after a few tries; the step then says what it missed).
    void withControls(std::function<void()> next, int attempts = 3);
    void after(double seconds, std::function<void()> block);
    void finishStep(const std::string& name);

    void showControls();
    void switchCaptions();
    void scrub(double duration);
    void pickKeyMoment(double position);
    void jump(bool forward);
    void castForAMoment();

    std::shared_ptr<uikit::UIWindow> window_;
    std::weak_ptr<lumora::ZuPlayerViewController> screen_;
    Hooks hooks_;
    std::vector<lumora::ZuKeyMomentEvent> keyMoments_;
    // Index of the next step; a step under way blocks the following ones.
    std::size_t next_ = 0;
    bool busy_ = false;
    bool adPictured_ = false;
    std::vector<std::string> done_;
};

}  // namespace demoharness
