#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "foundation/JSON.h"
#include "playservice/AssetInfoFactory.h"
#include "playservice/PlayService.h"
#include "playservice/PlayableAssetProvider.h"
#include "rx/Observable.h"

// Stand-ins for the play road's collaborators, for tests.
namespace lumora::testing {

using TokenObservable = rx::Observable<std::optional<std::string>>;

// A token source that gives `token` (nothing = nobody signed in) and completes; counts its subscriptions.
struct FakeTokenSource {
    std::optional<std::string> token;
    std::shared_ptr<int> subscriptions = std::make_shared<int>(0);

    AccessTokenSource source() const {
        return [token = token, count = subscriptions] {
            return TokenObservable::create([token, count](const rx::AnyObserver<std::optional<std::string>>& observer) {
                ++*count;
                const std::optional<std::string> copy = token;
                observer.onNext(copy);
                observer.onCompleted();
                return rx::Disposables::create();
            });
        };
    }
};

// A token source that fails with `error`.
inline AccessTokenSource failingTokenSource(foundation::Error error) {
    return [error] { return TokenObservable::error(error); };
}

// A token source that completes without a token.
inline AccessTokenSource emptyTokenSource() {
    return [] { return TokenObservable::empty(); };
}

// A play service that keeps each request's body and completion until the test answers it.
class FakePlayService final : public PlayServiceType {
  public:
    std::vector<AssetInfo> requests;
    std::vector<Completion> pending;

    void fetch(const AssetInfo& assetInfo, Completion completion) override {
        requests.push_back(assetInfo);
        pending.push_back(std::move(completion));
    }
    void answer(std::expected<PlayAssetAPIModel, PlayServiceError> result) {
        auto completion = std::move(pending.front());
        pending.erase(pending.begin());
        completion(std::move(result));
    }
};

// A playable-asset manager that answers every request at once with `result`.
class FakeAssetManager final : public PlayableAssetManagerInterface {
  public:
    explicit FakeAssetManager(std::function<std::expected<PlayAsset, foundation::Error>()> result)
        : result_(std::move(result)) {}
    std::vector<AssetInfo> requests;
    void fetchPlayAsset(const AssetInfo& assetInfo, Completion completion) override {
        requests.push_back(assetInfo);
        completion(result_());
    }

  private:
    std::function<std::expected<PlayAsset, foundation::Error>()> result_;
};

// A decoded play response from JSON text (the test fails loudly on bad text).
inline PlayAssetAPIModel apiModel(const std::string& json) {
    auto model = foundation::JSONDecoder().decode<PlayAssetAPIModel>(json);
    if (!model) throw std::runtime_error(model.error().localizedDescription());
    return *model;
}

}  // namespace lumora::testing
