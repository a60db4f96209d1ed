#pragma once

#include <any>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "foundation/NotificationCenter.h"
#include "foundation/URL.h"
#include "uikit/UIEvent.h"
#include "uikit/UIResponder.h"

namespace uikit {

class UIWindow;

// The application-state notifications, posted on the default notification centre with the application as
// object and no user info.
inline const foundation::Notification::Name UIApplicationWillResignActiveNotification =
    "UIApplicationWillResignActiveNotification";
inline const foundation::Notification::Name UIApplicationDidBecomeActiveNotification =
    "UIApplicationDidBecomeActiveNotification";
inline const foundation::Notification::Name UIApplicationDidEnterBackgroundNotification =
    "UIApplicationDidEnterBackgroundNotification";
inline const foundation::Notification::Name UIApplicationWillEnterForegroundNotification =
    "UIApplicationWillEnterForegroundNotification";

// The running application: the one object every input event passes through (`sendEvent`), the opener of
// URLs and the holder of the application state.
//
// `shared()` is a plain UIApplication unless a subclass instance has been installed with `setShared` (the
// host's application class, as the platform's principal class). Main thread only.
class UIApplication : public UIResponder {
  public:
    enum class State { active = 0, inactive = 1, background = 2 };
    using OpenExternalURLOptionsKey = std::string;
    using OpenExternalURLOptions = std::map<OpenExternalURLOptionsKey, std::any>;

    // What answers `canOpenURL` and performs `open`. By default every http and https URL can be opened and
    // opening one succeeds; other schemes cannot.
    struct URLOpener {
        std::function<bool(const foundation::URL&)> canOpenURL;
        std::function<bool(const foundation::URL&)> open;
    };

    static std::shared_ptr<UIApplication> shared();
    // Installs `application` as the shared one; nullptr installs a fresh plain application (test isolation).
    static void setShared(std::shared_ptr<UIApplication> application);
    static std::shared_ptr<UIApplication> create();

    // Dispatches an event: a touch event to the gesture recognisers of its touches and then to the touches'
    // views; a presses event to the recognisers of its presses and then to their responder. Subclasses
    // override it to see every event, calling this first to let it be dispatched.
    virtual void sendEvent(const std::shared_ptr<UIEvent>& event);

    // ---- URLs -------------------------------------------------------------------------------------------
    // Asks the opener; every question is recorded.
    bool canOpenURL(const foundation::URL& url);
    // Asks the opener to open `url`; the request is recorded whatever the answer, and `completionHandler`
    // gets the answer on a later turn of the main loop.
    void openOptions(const foundation::URL& url, OpenExternalURLOptions options = {},
                     std::function<void(bool success)> completionHandler = nullptr);
    void setURLOpener(URLOpener opener);
    const std::vector<foundation::URL>& openedURLs() const { return openedURLs_; }
    const std::vector<foundation::URL>& canOpenURLQueries() const { return canOpenQueries_; }

    // ---- State ------------------------------------------------------------------------------------------
    State applicationState() const { return state_; }
    // The transitions of the platform, each posting its notifications in the platform's order:
    // resign active (active → inactive: will resign active), enter background (→ inactive → background:
    // will resign active when active, did enter background), enter foreground (background → inactive →
    // active: will enter foreground, did become active), become active (inactive → active: did become
    // active). A transition from a state where it does not apply posts nothing.
    void simulateResignActive();
    void simulateEnterBackground();
    void simulateEnterForeground();
    void simulateBecomeActive();

    std::shared_ptr<UIWindow> keyWindow() const;
    std::vector<std::shared_ptr<UIWindow>> windows() const;

  protected:
    UIApplication();

  private:
    void post(const foundation::Notification::Name& name);

    URLOpener opener_;
    std::vector<foundation::URL> openedURLs_;
    std::vector<foundation::URL> canOpenQueries_;
    State state_ = State::active;
};

}  // namespace uikit
