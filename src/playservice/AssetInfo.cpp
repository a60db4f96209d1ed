#include "playservice/AssetInfo.h"

namespace lumora {

void AssetInfo::Application::encode(foundation::KeyedEncodingContainer& c) const {
    c.encode("name", name);
    c.encode("version", version);
    c.encode("appId", appId);
}

void AssetInfo::Device::encode(foundation::KeyedEncodingContainer& c) const {
    c.encode("id", id);
    c.encode("type", type);
    c.encode("brand", brand);
    c.encode("model", model);
}

void AssetInfo::OS::encode(foundation::KeyedEncodingContainer& c) const {
    c.encode("name", name);
    c.encode("version", version);
}

void AssetInfo::Player::encode(foundation::KeyedEncodingContainer& c) const {
    c.encode("name", name);
    c.encode("version", version);
}

void AssetInfo::Capabilities::encode(foundation::KeyedEncodingContainer& c) const {
    c.encode("codecs", codecs);
    c.encodeIfPresent("drm", drm);
}

void AssetInfo::Preference::encode(foundation::KeyedEncodingContainer& c) const {
    c.encodeIfPresent("streamingFormat", streamingFormat);
    c.encodeIfPresent("codec", codec);
}

void AssetInfo::Ads::encode(foundation::KeyedEncodingContainer& c) const {
    c.encode("optOut", optOut);
    c.encodeIfPresent("csai", csai);
    c.encodeIfPresent("ifa", ifa);
    c.encodeIfPresent("ifaType", ifaType);
}

void AssetInfo::encode(foundation::KeyedEncodingContainer& c) const {
    c.encode("assetId", assetId);
    c.encode("application", application);
    c.encode("device", device);
    c.encode("os", os);
    c.encode("player", player);
    c.encode("capabilities", capabilities);
    c.encodeIfPresent("preference", preference);
    c.encode("ads", ads);
}

}  // namespace lumora
