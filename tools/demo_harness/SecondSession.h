#pragma once

#include <functional>
#include <memory>
#include <string>

#include "rx/Disposables.h"

namespace lumora {
class PlayerEventController;
struct AssetStreamContent;
}  // namespace lumora

namespace demoharness::detail {

// The stream-limit road (--second-session): another device of the same viewer starts watching the asset
// first. It signs in, asks the play service for the asset, opens its own player-event session ("str_start"
// under its own device id) and signs out again, so that this device still starts signed out. Main thread.
class SecondSession : public std::enable_shared_from_this<SecondSession> {
  public:
    static constexpr const char* deviceId = "lumora-demo-second-device";

    struct Hooks {
        // A timeline line ("second session: ...").
        std::function<void(const std::string&)> say;
        // The other device has left (signed out), whatever became of its session; on the main queue.
        std::function<void()> done;
    };

    static std::shared_ptr<SecondSession> start(std::string email, std::string password, std::string assetId,
                                                Hooks hooks);

  private:
    SecondSession(std::string email, std::string password, std::string assetId, Hooks hooks);
    void signIn();
    void fetchStream();
    void openSession(const lumora::AssetStreamContent& content);
    void leave();

    std::string email_;
    std::string password_;
    std::string assetId_;
    Hooks hooks_;
    std::shared_ptr<lumora::PlayerEventController> controller_;
    rx::DisposeBag bag_;
};

}  // namespace demoharness::detail
