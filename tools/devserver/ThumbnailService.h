#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "devserver/Server.h"
#include "devserver/ThumbnailArt.h"

// The thumbnail service of the local back end (service "thumbnails"): scrubbing frames, BIF files and
// key-moment lists of the play catalogue's VOD assets, made by code (ThumbnailArt.h). Shapes in
// tools/devserver/README.md.
//
//   /thumbnails/<id>/index.bif          every frame as BIF data
//   /thumbnails/<id>/<n>.jpg            frame n (n × 5 s into the programme, ads cut out) as JPEG
//   /thumbnails/<id>/key-moments.json   the asset's key moments
namespace devserver {

struct ThumbnailOptions {
    std::string pathPrefix = "/thumbnails";
    thumbnails::FrameStyle style;
};

class ThumbnailService final : public Service {
  public:
    static std::shared_ptr<ThumbnailService> create(ThumbnailOptions options = {});
    std::string name() const override { return "thumbnails"; }
    void registerRoutes(Router& router) override;

    // "<prefix>/<id>/index.bif", "<prefix>/<id>/<n>.jpg", "<prefix>/<id>/key-moments.json".
    std::string bifPath(std::string_view assetId) const;
    std::string framePath(std::string_view assetId, int frame) const;
    std::string keyMomentsPath(std::string_view assetId) const;

  private:
    explicit ThumbnailService(ThumbnailOptions options) : options_(std::move(options)) {}
    Reply answer(const RecordedRequest& request);
    // Made once per asset (and frame) on first request, then served from memory.
    std::shared_ptr<const std::string> cached(const std::string& key, const std::function<std::string()>& make);

    ThumbnailOptions options_;
    std::mutex mutex_;
    std::map<std::string, std::shared_ptr<const std::string>> cache_;  // guarded by mutex_
};

}  // namespace devserver
