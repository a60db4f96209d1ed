#include "telemetry/detail/YouboraPlugin.h"

#include "kitfoundation/KitBundle.h"
#include "kitfoundation/Log.h"
#include "youboralib/YBYouboraUtils.h"

namespace lumora::detail {

std::shared_ptr<YouboraPlugin> YouboraPlugin::create(std::shared_ptr<youboralib::YBOptions> options) {
    return std::shared_ptr<YouboraPlugin>(new YouboraPlugin(std::move(options)));
}

std::shared_ptr<YouboraPlugin> YouboraPlugin::create(std::shared_ptr<youboralib::YBOptions> options,
                                                     std::shared_ptr<youboralib::YBPlayerAdapter> adapter) {
    return std::shared_ptr<YouboraPlugin>(new YouboraPlugin(std::move(options), std::move(adapter)));
}

std::shared_ptr<YouboraPlugin> YouboraPlugin::create(std::shared_ptr<youboralib::YBOptions> options,
                                                     std::shared_ptr<youboralib::YBPlayerAdapter> adapter,
                                                     youboralib::YBPluginConfig config) {
    return std::shared_ptr<YouboraPlugin>(new YouboraPlugin(std::move(options), std::move(adapter), std::move(config)));
}

std::string YouboraPlugin::getPlayerName() const {
    return "iOSPlayer";
}

std::string YouboraPlugin::getPlayerVersion() const {
    // The bundle's own text, not sdkVersion(): the vendor is told no version rather than a made-up "0.0.0".
    const foundation::PropertyList* version = KitBundle::shared().object("CFBundleShortVersionString");
    const std::string* text = version ? version->asString() : nullptr;
    return text ? *text : std::string();
}

void YouboraManagerLogger::logYouboraMessage(const std::optional<std::string>& message, youboralib::YBLogLevel) {
    lumora::detail::writeLogLine(message.value_or("") + "\n");
}

std::shared_ptr<youboralib::YBOptions> makeYouboraOptions(const AssetStreamContent& content,
                                                          const YouboraSettings& settings) {
    const PlayAsset::Youbora& youbora = content.youbora;
    auto options = youboralib::YBOptions::create();
    options->setOffline(false);
    options->setAccountCode(youbora.accountCode);
    options->setAppName(youbora.appName);
    options->setAppReleaseVersion(youbora.appReleaseVersion);
    options->setContentCdn(content.contentProvider);
    options->setContentCustomDimension1(youbora.contentCustomDimension1);
    options->setContentCustomDimension3(settings.partnerSportName);
    options->setContentCustomDimension9(content.assetType);
    // Spelt as the service's analytics reports expect it: not a typo to correct.
    options->setContentCustomDimension11(settings.profile.value_or("unknow"));
    options->setContentCustomDimension12(settings.partnerCode);
    options->setContentCustomDimension13(content.id);
    options->setContentCustomDimension16("1");
    options->setContentId(youbora.contentId);
    options->setContentResource(content.resource);
    options->setContentStreamingProtocol(std::string(youboralib::YBConstantsStreamProtocol::hls));
    options->setContentTitle(youbora.contentTitle);
    options->setContentTransactionCode(youbora.contentTransactionCode);
    options->setContentType(youbora.contentType);
    options->setContentTransportFormat(content.contentMediaFormat);
    options->setUsername(youbora.userName);
    options->setUserType(youbora.userType);
    return options;
}

}  // namespace lumora::detail
