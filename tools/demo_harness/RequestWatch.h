#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "alamofire/Session.h"
#include "foundation/URLSession.h"

namespace demoharness {

// What the host sees of the kit's traffic without taking part in it, for the timeline: a request
// protocol that claims nothing but notes the licence requests (content and key ids) and the player
// events (kind and number) as the kit's URL session stack prepares them, and an event monitor that notes
// how each player event was answered. Called on the kit's threads; read on the main thread.
class RequestWatch final : public alamofire::EventMonitor, public std::enable_shared_from_this<RequestWatch> {
  public:
    struct LicenceRequest {
        std::string contentId;
        std::string keyId;
    };
    struct PlayerEventPost {
        std::int64_t number = 0;
        std::string kind;     // "str_start", "period", "end"
        std::string state;    // "playing", "pause"
        double position = 0;  // the body's VOD position, seconds
    };
    struct PlayerEventAnswer {
        PlayerEventPost post;
        std::optional<int> status;  // nothing: no answer (then `failure` says why)
        std::string failure;
    };

    // Installs the watch on the process's URL session stack until `uninstall()`.
    void install();
    void uninstall();

    // The licence requests since the last call, in the order they were made.
    std::vector<LicenceRequest> takeLicenceRequests();
    // Whether any licence request was made at all.
    bool anyLicenceRequest() const;
    // The player-event answers since the last call, in the order they came.
    std::vector<PlayerEventAnswer> takeEventAnswers();
    // Whether a player event was refused with 403 (the stream limit).
    bool anyEventRefused() const;
    // Player events posted and not yet answered, of those numbered below `number`.
    std::size_t eventsInFlightBefore(std::int64_t number) const;
    // The numbers of the player events posted since the last call.
    std::vector<std::int64_t> takeNewEventPosts();

    // Parses a player-event body; nothing when it is not one.
    static std::optional<PlayerEventPost> parseEventBody(const std::string& body);

    // Notes a request the kit is about to make.
    void noteRequest(const foundation::URLRequest& request);
    // ---- alamofire::EventMonitor ----
    void requestDidFinish(const std::optional<foundation::URLRequest>& request,
                          const std::optional<foundation::HTTPURLResponse>& response,
                          const std::optional<alamofire::AFError>& error) override;

    // The protocol registered in the shared registry: it holds the watch weakly and claims nothing.
    class Protocol;

  private:
    mutable std::mutex mutex_;
    std::vector<LicenceRequest> licenceRequests_;  // guarded by mutex_
    bool anyLicenceRequest_ = false;               // guarded by mutex_
    bool anyEventRefused_ = false;                 // guarded by mutex_
    std::set<std::int64_t> inFlight_;              // guarded by mutex_
    std::vector<std::int64_t> newPosts_;           // guarded by mutex_
    std::vector<PlayerEventAnswer> answers_;       // guarded by mutex_
    std::shared_ptr<Protocol> protocol_;
};

}  // namespace demoharness
