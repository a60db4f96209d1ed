#pragma once

// Test support: a small HLS origin for the local back end, with playlists set by the test, synthetic
// segments, answers held until released (slow segments) and per-path status overrides. Header-only;
// link lumora_devserver.
//
//   auto hls = std::make_shared<devserver::testing::HlsTestService>();
//   auto server = devserver::Server::start({.services = {hls}, .echo = false});
//   hls->setPlaylist("/vod/media.m3u8", devserver::testing::vodPlaylist(20, 6.0));
//   hls->hold("/vod/seg3.ts");           // answered only after hls->release("/vod/seg3.ts")
//   ...
//   hls->shutdown();                      // before stopping the server: frees held requests
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "devserver/Server.h"
#include "dispatch/RunLoop.h"

namespace devserver::testing {

// Runs the main loop until `predicate` holds or `bound` of real time has passed; also notices conditions
// that other threads make true without posting to the main queue (a server thread, a worker queue).
inline bool runUntil(const std::function<bool()>& predicate,
                     std::chrono::milliseconds bound = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (std::chrono::steady_clock::now() < deadline) {
        if (dispatch::RunLoop::main().runUntil(predicate, std::chrono::milliseconds(5))) return true;
    }
    return predicate();
}

class HlsTestService final : public devserver::Service {
  public:
    std::string name() const override { return "hls-test"; }

    void registerRoutes(devserver::Router& router) override {
        router.add("GET", "/*", [this](const devserver::RecordedRequest& request) { return answer(request); });
    }

    void setPlaylist(const std::string& path, std::string text) {
        std::lock_guard lock(mutex_);
        playlists_[path] = [text = std::move(text)] { return text; };
    }
    // A playlist made anew for every request (live windows).
    void setDynamicPlaylist(const std::string& path, std::function<std::string()> make) {
        std::lock_guard lock(mutex_);
        playlists_[path] = std::move(make);
    }
    // Every request of `path` answers `status` (and `body`) until cleared with 0.
    void setStatus(const std::string& path, int status, std::string body = "not found") {
        std::lock_guard lock(mutex_);
        if (status == 0) {
            statuses_.erase(path);
        } else {
            statuses_[path] = {status, std::move(body)};
        }
    }
    // Segments (paths ending in ".ts") answer this many bytes.
    void setSegmentSize(std::size_t bytes) {
        std::lock_guard lock(mutex_);
        segmentSize_ = bytes;
    }
    // Requests of `path` wait until `release(path)`.
    void hold(const std::string& path) {
        std::lock_guard lock(mutex_);
        held_.insert(path);
    }
    void release(const std::string& path) {
        {
            std::lock_guard lock(mutex_);
            held_.erase(path);
        }
        cv_.notify_all();
    }
    // True once a request of `path` is waiting.
    bool isWaiting(const std::string& path) const {
        std::lock_guard lock(mutex_);
        return waiting_.count(path) > 0;
    }
    int requestCount(const std::string& path) const {
        std::lock_guard lock(mutex_);
        auto it = counts_.find(path);
        return it == counts_.end() ? 0 : it->second;
    }
    void shutdown() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
            held_.clear();
        }
        cv_.notify_all();
    }

  private:
    devserver::Reply answer(const devserver::RecordedRequest& request) {
        std::unique_lock lock(mutex_);
        ++counts_[request.path];
        if (held_.count(request.path)) {
            ++waiting_[request.path];
            cv_.wait(lock, [&] { return stopping_ || !held_.count(request.path); });
            if (--waiting_[request.path] == 0) waiting_.erase(request.path);
        }
        if (auto it = statuses_.find(request.path); it != statuses_.end()) {
            return devserver::Reply::text(it->second.first, it->second.second);
        }
        if (auto it = playlists_.find(request.path); it != playlists_.end()) {
            auto make = it->second;
            lock.unlock();
            return devserver::Reply{.status = 200, .body = make(), .contentType = "application/vnd.apple.mpegurl"};
        }
        if (request.path.ends_with(".ts")) {
            return devserver::Reply{.status = 200, .contentType = "video/mp2t", .generatedBodySize = segmentSize_};
        }
        return devserver::Reply::text(404, "not found");
    }

    mutable std::mutex mutex_;  // guards everything below
    std::condition_variable cv_;
    std::map<std::string, std::function<std::string()>> playlists_;
    std::map<std::string, std::pair<int, std::string>> statuses_;
    std::set<std::string> held_;
    std::map<std::string, int> waiting_;
    std::map<std::string, int> counts_;
    std::size_t segmentSize_ = 1000;
    bool stopping_ = false;
};

// A multivariant playlist. Each variant is (bandwidth, resolution "WxH" or "", URI); subtitles are
// (language, name, default) renditions of the group "subs" with URIs "subs/<language>.m3u8".
struct VariantEntry {
    long long bandwidth = 150000;
    std::string resolution;
    std::string uri;
};
struct SubtitleEntry {
    std::string language;
    std::string name;
    bool isDefault = false;
};
inline std::string multivariantPlaylist(const std::vector<VariantEntry>& variants,
                                        const std::vector<SubtitleEntry>& subtitles = {}) {
    std::ostringstream out;
    out << "#EXTM3U\n#EXT-X-VERSION:6\n#EXT-X-INDEPENDENT-SEGMENTS\n";
    for (const auto& s : subtitles) {
        out << "#EXT-X-MEDIA:TYPE=SUBTITLES,GROUP-ID=\"subs\",NAME=\"" << s.name << "\",LANGUAGE=\"" << s.language
            << "\",DEFAULT=" << (s.isDefault ? "YES" : "NO") << ",AUTOSELECT=YES,URI=\"subs/" << s.language
            << ".m3u8\"\n";
    }
    for (const auto& v : variants) {
        out << "#EXT-X-STREAM-INF:BANDWIDTH=" << v.bandwidth << ",CODECS=\"avc1.64001f,mp4a.40.2\"";
        if (!v.resolution.empty()) out << ",RESOLUTION=" << v.resolution;
        if (!subtitles.empty()) out << ",SUBTITLES=\"subs\"";
        out << "\n" << v.uri << "\n";
    }
    return out.str();
}

// A media playlist of `count` segments named <prefix><i>.ts, each `duration` seconds, numbered from
// `firstSequence`. `keys` maps a segment index to the skd key address in force from that segment on.
// Without the end tag it is a live window.
inline std::string mediaPlaylist(int count, double duration, bool endList = true, long long firstSequence = 0,
                                 const std::map<int, std::string>& keys = {}, const std::string& prefix = "seg") {
    std::ostringstream out;
    out << "#EXTM3U\n#EXT-X-VERSION:6\n#EXT-X-TARGETDURATION:" << static_cast<long long>(std::ceil(duration)) << "\n";
    out << "#EXT-X-MEDIA-SEQUENCE:" << firstSequence << "\n";
    if (endList) out << "#EXT-X-PLAYLIST-TYPE:VOD\n";
    for (int i = 0; i < count; ++i) {
        if (auto k = keys.find(i); k != keys.end()) {
            out << "#EXT-X-KEY:METHOD=SAMPLE-AES,URI=\"" << k->second
                << "\",KEYFORMAT=\"com.apple.streamingkeydelivery\",KEYFORMATVERSIONS=\"1\"\n";
        }
        char line[64];
        std::snprintf(line, sizeof line, "#EXTINF:%.3f,\n", duration);
        out << line << prefix << (firstSequence + i) << ".ts\n";
    }
    if (endList) out << "#EXT-X-ENDLIST\n";
    return out.str();
}

}  // namespace devserver::testing
