#pragma once

// Test support for the player screen: a host delegate that records what it is told.

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "dispatch/DispatchQueue.h"
#include "screen/ZuPlayerViewControllerDelegate.h"

namespace lumora::testing {

// Records every call of the host's delegate as a short line ("status 0", "fail Stream not available",
// "present login", "login succeeded", "dismiss login", "login failed <text>", "stream limit",
// "error display <text>") and the errors themselves.
class RecordingScreenDelegate : public ZuPlayerViewControllerDelegate {
  public:
    void playerControllerDidChangeStatus(ZuPlayerViewController&, ZuPlayerStatus status) override {
        add("status " + std::to_string(status.rawValue()));
    }
    void playerControllerDidFailWith(ZuPlayerViewController&, const foundation::Error& error) override {
        failures.push_back(error);
        add("fail " + error.localizedDescription());
    }
    void playerControllerDidPressCloseButton(ZuPlayerViewController&) override { add("close"); }
    void playerControllerDidPresentLogin(ZuPlayerViewController&) override { add("present login"); }
    void playerControllerDidLoginSuccessfully(ZuPlayerViewController&) override { add("login succeeded"); }
    void playerControllerDidDismissLogin(ZuPlayerViewController&) override { add("dismiss login"); }
    void playerControllerDidFailLoginWith(ZuPlayerViewController&, const foundation::Error& error) override {
        loginFailures.push_back(error);
        add("login failed " + error.localizedDescription());
    }
    void playerControllerDidExceedStreamLimit(ZuPlayerViewController&) override { add("stream limit"); }
    ErrorDisplayModel playerControllerErrorDisplayForAuthenticationError(ZuPlayerViewController& controller,
                                                                         const AuthenticationError& error) override {
        add("error display " + error.localizedDescription());
        if (display) return *display;
        return ZuPlayerViewControllerDelegate::playerControllerErrorDisplayForAuthenticationError(controller, error);
    }

    // The lines so far that start with `prefix`.
    std::vector<std::string> calls(const std::string& prefix = "") const {
        std::vector<std::string> found;
        for (const auto& line : log) {
            if (line.starts_with(prefix)) found.push_back(line);
        }
        return found;
    }
    bool has(const std::string& line) const { return std::find(log.begin(), log.end(), line) != log.end(); }

    std::vector<std::string> log;
    std::vector<foundation::Error> failures;
    std::vector<foundation::Error> loginFailures;
    // What requirement 8 answers; nothing: the kit's own texts.
    std::optional<ErrorDisplayModel> display;
    bool allOnMain = true;

  private:
    void add(std::string line) {
        allOnMain = allOnMain && dispatch::DispatchQueue::isMainThread();
        log.push_back(std::move(line));
    }
};

}  // namespace lumora::testing
