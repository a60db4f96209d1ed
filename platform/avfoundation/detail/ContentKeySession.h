#pragma once

#include <cstddef>
#include <expected>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "avfoundation/AVAssetResourceLoader.h"
#include "avfoundation/HLS.h"
#include "avfoundation/detail/MediaTimeline.h"
#include "dispatch/RunLoop.h"
#include "foundation/Date.h"
#include "foundation/Error.h"

namespace avfoundation::detail {

class ItemLogs;

// The content keys of an item ("skd://" addresses of its media playlists): each is asked once of the
// asset's resource loader, and asked again through the loader's renewal method when the renewal date its
// answer set comes on the one clock. Main thread only; answers arrive from the delegate's queue and are
// handled on the main queue. Keys are found by address in a hash table.
//
// A live item retires the keys its window has moved past (`retireUnused`): their renewals stop, they are
// forgotten and their ids are given to later keys, so that what the session holds and renews follows the
// window, not the length of the session. A retired key that comes back is a new key, asked afresh.
class ContentKeySession {
  public:
    class Delegate {
      public:
        // Whether keys may be asked now (the item is in a player and has not failed).
        virtual bool keySessionMayAsk() const = 0;
        // A key was answered with a content key.
        virtual void keySessionDidAnswer() = 0;
        // A key was refused, failed or answered with something that is not a content key.
        virtual void keySessionDidFail(foundation::Error error) = 0;

      protected:
        ~Delegate() = default;
    };

    ContentKeySession(Delegate& delegate, ItemLogs& logs);
    ~ContentKeySession();
    ContentKeySession(const ContentKeySession&) = delete;
    ContentKeySession& operator=(const ContentKeySession&) = delete;

    // The session as its owner shares it (an aliasing pointer into the owner): what its callbacks lock.
    void setSelf(std::weak_ptr<ContentKeySession> self) { self_ = std::move(self); }
    void setResourceLoader(std::shared_ptr<AVAssetResourceLoader> loader) { resourceLoader_ = std::move(loader); }

    // The ids of a playlist's keys, in its order; a key not seen before is asked of the resource loader.
    // A key the player cannot use (not skd://) is an error, and nothing is asked.
    std::expected<std::vector<KeyId>, foundation::Error> add(const std::vector<hls::Key>& keys);
    bool isAnswered(KeyId key) const { return keys_[key].answered; }
    bool allAnswered() const { return answered_ == count(); }
    // The keys held (asked and not retired).
    std::size_t count() const { return keys_.size() - freeIds_.size(); }

    // Retires every key held that `inUse` says is no longer used: its renewal timer is cancelled, a request
    // under way for it is cancelled (its answer is ignored), and it is forgotten.
    void retireUnused(const std::function<bool(KeyId)>& inUse);

    // Renewal timers run while the item is in a player: armed again on attach, stopped on detach.
    void resumeRenewals();
    void pauseRenewals();
    // The item failed: requests under way are cancelled and no key is renewed again.
    void cancelAll();

  private:
    struct Key {
        std::string uri;  // empty: the id is free (its key was retired)
        bool answered = false;
        std::shared_ptr<AVAssetResourceLoadingRequest> outstanding;
        std::optional<foundation::Date> renewalDate;
        dispatch::RunLoop::TimerId renewalTimer = 0;
    };

    void ask(KeyId id, bool renewal);
    void didAnswer(KeyId id, const std::shared_ptr<AVAssetResourceLoadingRequest>& request);
    void scheduleRenewal(KeyId id);
    void retire(KeyId id);

    Delegate& delegate_;
    ItemLogs& logs_;
    std::weak_ptr<ContentKeySession> self_;
    std::shared_ptr<AVAssetResourceLoader> resourceLoader_;
    std::vector<Key> keys_;       // by id
    std::vector<KeyId> freeIds_;  // ids of retired keys, given to the next new ones
    std::unordered_map<std::string, KeyId> byURI_;
    std::size_t answered_ = 0;
};

}  // namespace avfoundation::detail
