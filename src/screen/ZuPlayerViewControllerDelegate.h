#pragma once

#include "authentication/AuthenticationError.h"
#include "foundation/Error.h"
#include "screen/ZuPlayerStatus.h"
#include "signin/ErrorDisplayModel.h"

namespace lumora {

class ZuPlayerViewController;

// What the player screen tells its host, on the main thread; held weakly. Every requirement has a default,
// so a host implements only what it needs: the calls do nothing, and the error texts of a failed sign-in
// are the kit's own (`ErrorDisplayModel(error)`).
class ZuPlayerViewControllerDelegate {
  public:
    virtual ~ZuPlayerViewControllerDelegate() = default;

    // Playback was toggled (by `toggleVideoPlayback()` or the controls), or the item played to its end.
    virtual void playerControllerDidChangeStatus(ZuPlayerViewController& controller, ZuPlayerStatus status) {
        (void)controller;
        (void)status;
    }
    // Playing the asset failed: the play road (`VideoError::noAvailableStreamError` for every failure of the
    // play service, `AuthenticationError` for an account that may not play or a missing token), the stream
    // load, or the loaded item. A sign-in that is needed opens the login screen instead. A `VideoError` says
    // what happened in its description, and its `underlyingError()` is the cause to act on: a URL error
    // (`foundation::URLError::timedOut` for a time-out), the service's refusal (`PlayServiceError` with its
    // HTTP status), an answer that could not be read (`foundation::DecodingError`) or a `MapError`; see
    // src/screen/README.md. Only the latest `play` is reported on.
    virtual void playerControllerDidFailWith(ZuPlayerViewController& controller, const foundation::Error& error) {
        (void)controller;
        (void)error;
    }
    // The controls' close button was pressed; the screen neither dismisses itself nor stops playback.
    virtual void playerControllerDidPressCloseButton(ZuPlayerViewController& controller) { (void)controller; }
    // The login screen's presentation has finished.
    virtual void playerControllerDidPresentLogin(ZuPlayerViewController& controller) { (void)controller; }
    // The viewer signed in; the screen plays the asset again right after.
    virtual void playerControllerDidLoginSuccessfully(ZuPlayerViewController& controller) { (void)controller; }
    // The login screen was closed, or swiped away.
    virtual void playerControllerDidDismissLogin(ZuPlayerViewController& controller) { (void)controller; }
    // A sign-in on the login screen failed (an AuthenticationError), after its alert was shown.
    virtual void playerControllerDidFailLoginWith(ZuPlayerViewController& controller, const foundation::Error& error) {
        (void)controller;
        (void)error;
    }
    // The player-event service refused the session (too many streams at once) and the viewer was signed out.
    virtual void playerControllerDidExceedStreamLimit(ZuPlayerViewController& controller) { (void)controller; }
    // The title and message of the login screen's alert for a failed sign-in.
    virtual ErrorDisplayModel playerControllerErrorDisplayForAuthenticationError(ZuPlayerViewController& controller,
                                                                                 const AuthenticationError& error) {
        (void)controller;
        return ErrorDisplayModel(error);
    }
};

}  // namespace lumora
