#pragma once

#include <memory>
#include <optional>
#include <string>

#include "playservice/AssetStreamContent.h"
#include "youboralib/YBLog.h"
#include "youboralib/YBOptions.h"
#include "youboralib/YBPlugin.h"

// The kit's side of the analytics library: its plug-in, its logger and the options of a session.
namespace lumora::detail {

// The vendor plug-in of one media player: the library's plug-in naming the kit's player.
class YouboraPlugin final : public youboralib::YBPlugin {
  public:
    static std::shared_ptr<YouboraPlugin> create(std::shared_ptr<youboralib::YBOptions> options);
    static std::shared_ptr<YouboraPlugin> create(std::shared_ptr<youboralib::YBOptions> options,
                                                 std::shared_ptr<youboralib::YBPlayerAdapter> adapter);
    static std::shared_ptr<YouboraPlugin> create(std::shared_ptr<youboralib::YBOptions> options,
                                                 std::shared_ptr<youboralib::YBPlayerAdapter> adapter,
                                                 youboralib::YBPluginConfig config);

    // "iOSPlayer".
    std::string getPlayerName() const override;
    // "CFBundleShortVersionString" of the kit's bundle; the empty text when it is missing or not text.
    std::string getPlayerVersion() const override;

  private:
    using YBPlugin::YBPlugin;
};

// A logger for the analytics library that writes each message (the empty text when there is none) and a
// line break to standard output, whatever its level, without the kit's log head and whether or not debug
// logging is on. The kit makes none and registers none; it is there for a developer to register.
class YouboraManagerLogger final : public youboralib::YBLogger {
  public:
    void logYouboraMessage(const std::optional<std::string>& message, youboralib::YBLogLevel level) override;
};

// What a session's options take from outside the stream content.
struct YouboraSettings {
    // The host's "SDK_YouboraPartnerSportName" and "SDK_YouboraPartnerCode" ("" when unset).
    std::string partnerSportName;
    std::string partnerCode;
    // The viewer's profile; nothing: custom dimension 11 is "unknow".
    std::optional<std::string> profile;
};

// The options a session starts with, set in the vendor's order from the content's analytics block, the
// content itself and `settings`.
std::shared_ptr<youboralib::YBOptions> makeYouboraOptions(const AssetStreamContent& content,
                                                          const YouboraSettings& settings);

}  // namespace lumora::detail
