#pragma once

#include <array>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "foundation/JSON.h"

// The options of one analytics view: who the account is, what is played and how, and the content
// metrics that the player integration keeps up to date while it plays.
//
//   auto options = youboralib::YBOptions::create();
//   options->setAccountCode("lumora");
//   options->setContentTitle("Harbour Derby");
//   options->setContentCdn(std::nullopt);          // every text option may be none
//   auto plugin = youboralib::YBPlugin::create(options, adapter);
//
// Every option starts as none (`offline` as false). Text options hold any text, none included; numbers
// are kept as given and written as null in beacons when they are not finite. Safe from any thread:
// the plug-in reads the options when it writes a beacon while the integration sets metrics.
namespace youboralib {

class YBOptions {
  public:
    static std::shared_ptr<YBOptions> create();

    bool offline() const;
    void setOffline(bool offline);

    std::optional<std::string> accountCode() const { return text(Text::accountCode); }
    void setAccountCode(std::optional<std::string> v) { setText(Text::accountCode, std::move(v)); }
    std::optional<std::string> appName() const { return text(Text::appName); }
    void setAppName(std::optional<std::string> v) { setText(Text::appName, std::move(v)); }
    std::optional<std::string> appReleaseVersion() const { return text(Text::appReleaseVersion); }
    void setAppReleaseVersion(std::optional<std::string> v) { setText(Text::appReleaseVersion, std::move(v)); }

    // The content delivery network the stream comes from.
    std::optional<std::string> contentCdn() const { return text(Text::contentCdn); }
    void setContentCdn(std::optional<std::string> v) { setText(Text::contentCdn, std::move(v)); }

    // Free-form dimensions the account defines the meaning of.
    std::optional<std::string> contentCustomDimension1() const { return text(Text::contentCustomDimension1); }
    void setContentCustomDimension1(std::optional<std::string> v) {
        setText(Text::contentCustomDimension1, std::move(v));
    }
    std::optional<std::string> contentCustomDimension3() const { return text(Text::contentCustomDimension3); }
    void setContentCustomDimension3(std::optional<std::string> v) {
        setText(Text::contentCustomDimension3, std::move(v));
    }
    std::optional<std::string> contentCustomDimension9() const { return text(Text::contentCustomDimension9); }
    void setContentCustomDimension9(std::optional<std::string> v) {
        setText(Text::contentCustomDimension9, std::move(v));
    }
    std::optional<std::string> contentCustomDimension11() const { return text(Text::contentCustomDimension11); }
    void setContentCustomDimension11(std::optional<std::string> v) {
        setText(Text::contentCustomDimension11, std::move(v));
    }
    std::optional<std::string> contentCustomDimension12() const { return text(Text::contentCustomDimension12); }
    void setContentCustomDimension12(std::optional<std::string> v) {
        setText(Text::contentCustomDimension12, std::move(v));
    }
    std::optional<std::string> contentCustomDimension13() const { return text(Text::contentCustomDimension13); }
    void setContentCustomDimension13(std::optional<std::string> v) {
        setText(Text::contentCustomDimension13, std::move(v));
    }
    std::optional<std::string> contentCustomDimension16() const { return text(Text::contentCustomDimension16); }
    void setContentCustomDimension16(std::optional<std::string> v) {
        setText(Text::contentCustomDimension16, std::move(v));
    }

    std::optional<std::string> contentId() const { return text(Text::contentId); }
    void setContentId(std::optional<std::string> v) { setText(Text::contentId, std::move(v)); }
    // The address of what is played (a manifest URL).
    std::optional<std::string> contentResource() const { return text(Text::contentResource); }
    void setContentResource(std::optional<std::string> v) { setText(Text::contentResource, std::move(v)); }
    // One of the YBConstantsStreamProtocol texts.
    std::optional<std::string> contentStreamingProtocol() const { return text(Text::contentStreamingProtocol); }
    void setContentStreamingProtocol(std::optional<std::string> v) {
        setText(Text::contentStreamingProtocol, std::move(v));
    }
    std::optional<std::string> contentTitle() const { return text(Text::contentTitle); }
    void setContentTitle(std::optional<std::string> v) { setText(Text::contentTitle, std::move(v)); }
    std::optional<std::string> contentTransactionCode() const { return text(Text::contentTransactionCode); }
    void setContentTransactionCode(std::optional<std::string> v) {
        setText(Text::contentTransactionCode, std::move(v));
    }
    std::optional<std::string> contentType() const { return text(Text::contentType); }
    void setContentType(std::optional<std::string> v) { setText(Text::contentType, std::move(v)); }
    std::optional<std::string> contentTransportFormat() const { return text(Text::contentTransportFormat); }
    void setContentTransportFormat(std::optional<std::string> v) {
        setText(Text::contentTransportFormat, std::move(v));
    }
    std::optional<std::string> username() const { return text(Text::username); }
    void setUsername(std::optional<std::string> v) { setText(Text::username, std::move(v)); }
    std::optional<std::string> userType() const { return text(Text::userType); }
    void setUserType(std::optional<std::string> v) { setText(Text::userType, std::move(v)); }

    // Content metrics: bits per second of the rendition playing, its description
    // (YBYouboraUtils::buildRenditionString), and the content's length in seconds (none for live).
    std::optional<double> contentBitrate() const;
    void setContentBitrate(std::optional<double> bitsPerSecond);
    std::optional<std::string> contentRendition() const { return text(Text::contentRendition); }
    void setContentRendition(std::optional<std::string> v) { setText(Text::contentRendition, std::move(v)); }
    std::optional<double> contentDuration() const;
    void setContentDuration(std::optional<double> seconds);

    // Every option under its name ("offline", "accountCode", ..., "contentBitrate", "contentRendition",
    // "contentDuration"), none as null. One consistent snapshot: a copy of the one the options keep (made on
    // the first call, each change written into it), not made anew for every beacon.
    foundation::JSONValue toJSON() const;

    YBOptions(const YBOptions&) = delete;
    YBOptions& operator=(const YBOptions&) = delete;

  private:
    enum class Text {
        accountCode,
        appName,
        appReleaseVersion,
        contentCdn,
        contentCustomDimension1,
        contentCustomDimension3,
        contentCustomDimension9,
        contentCustomDimension11,
        contentCustomDimension12,
        contentCustomDimension13,
        contentCustomDimension16,
        contentId,
        contentResource,
        contentStreamingProtocol,
        contentTitle,
        contentTransactionCode,
        contentType,
        contentTransportFormat,
        username,
        userType,
        contentRendition,
        count_,
    };

    YBOptions() = default;
    std::optional<std::string> text(Text key) const;
    void setText(Text key, std::optional<std::string> value);
    // With the lock held: the options as toJSON writes them, and the value at `position` of the kept JSON
    // (when it has been made) written anew.
    foundation::JSONValue makeJSON() const;
    void refresh(std::size_t position, foundation::JSONValue value);

    mutable std::mutex mutex_;  // guards everything below
    bool offline_ = false;
    std::array<std::optional<std::string>, static_cast<std::size_t>(Text::count_)> texts_;
    std::optional<double> contentBitrate_;
    std::optional<double> contentDuration_;
    mutable std::optional<foundation::JSONValue> json_;  // toJSON's object, made on its first call
};

}  // namespace youboralib
