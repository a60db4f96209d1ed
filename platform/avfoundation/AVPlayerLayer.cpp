#include "avfoundation/AVPlayerLayer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "coregraphics/FontEngine.h"

namespace avfoundation {

namespace {

using coregraphics::CGColor;
using coregraphics::CGPoint;
using coregraphics::CGRect;

// The playhead as "hh:mm:ss.t" (tenths truncated); "--:--:--.-" for a time that is not a number.
std::string clockText(double seconds) {
    if (!std::isfinite(seconds) || seconds < 0) return "--:--:--.-";
    const auto tenths = static_cast<long long>(seconds * 10);
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld.%lld", tenths / 36000, tenths / 600 % 60, tenths / 10 % 60,
                  tenths % 10);
    return text;
}

// The synthetic frame at `seconds` inside `r`: sky, pitch with mown stripes, a ball, the time.
void drawTestFrame(coregraphics::CGContext& ctx, const CGRect& r, double seconds) {
    ctx.saveGState();
    ctx.clip(r);
    const double horizon = r.minY() + r.height() * 0.42;
    ctx.drawLinearGradient(coregraphics::CGGradient{{CGColor{0.10, 0.22, 0.45, 1}, CGColor{0.45, 0.62, 0.80, 1}}, {}},
                           CGPoint{r.minX(), r.minY()}, CGPoint{r.minX(), horizon});
    // The pitch: alternating stripes, darker towards the viewer.
    constexpr int stripes = 8;
    const double pitchHeight = r.maxY() - horizon;
    for (int i = 0; i < stripes; ++i) {
        const double shade = (i % 2 == 0 ? 0.50 : 0.44) - 0.02 * i;
        ctx.setFillColor(CGColor{0.12, shade, 0.18, 1});
        ctx.fill(CGRect{{r.minX(), horizon + pitchHeight * i / stripes}, {r.width(), pitchHeight / stripes + 0.5}});
    }
    // The far touch line.
    ctx.setStrokeColor(CGColor{1, 1, 1, 0.55});
    ctx.setLineWidth(std::max(1.0, r.height() / 180));
    ctx.strokeLineSegments({CGPoint{r.minX(), horizon + 2}, CGPoint{r.maxX(), horizon + 2}});
    // The ball crosses the pitch every ten seconds.
    const double phase = std::isfinite(seconds) ? std::fmod(std::max(seconds, 0.0), 10.0) / 10.0 : 0;
    const double ball = r.height() / 20;
    ctx.setFillColor(CGColor{1, 1, 1, 1});
    ctx.fillEllipse(CGRect{{r.minX() + (r.width() - ball) * phase, horizon + pitchHeight * 0.35}, {ball, ball}});
    // The playhead, centred in the sky.
    const coregraphics::CGFont font{.name = "DejaVuSansMono-Bold",
                                    .family = coregraphics::FontEngine::kMonospacedFamily,
                                    .weight = 700,
                                    .monospacedDigits = true,
                                    .pointSize = std::max(8.0, std::round(r.height() / 14))};
    const std::string text = clockText(seconds);
    const double width = coregraphics::FontEngine::shared().width(text, font);
    ctx.drawText(text, CGRect{{r.midX() - width / 2, r.minY() + r.height() * 0.16}, {width, font.pointSize * 1.2}},
                 font, CGColor{1, 1, 1, 0.9});
    ctx.restoreGState();
}

}  // namespace

std::string rawValue(AVLayerVideoGravity gravity) {
    switch (gravity) {
        case AVLayerVideoGravity::resizeAspect:
            return "AVLayerVideoGravityResizeAspect";
        case AVLayerVideoGravity::resizeAspectFill:
            return "AVLayerVideoGravityResizeAspectFill";
        case AVLayerVideoGravity::resize:
            return "AVLayerVideoGravityResize";
    }
    return {};
}

std::optional<AVLayerVideoGravity> videoGravityFromRawValue(const std::string& value) {
    for (auto g :
         {AVLayerVideoGravity::resizeAspect, AVLayerVideoGravity::resizeAspectFill, AVLayerVideoGravity::resize}) {
        if (rawValue(g) == value) return g;
    }
    return std::nullopt;
}

std::shared_ptr<AVPlayerLayer> AVPlayerLayer::create(std::shared_ptr<AVPlayer> player) {
    auto layer = std::shared_ptr<AVPlayerLayer>(new AVPlayerLayer());
    layer->player_ = std::move(player);
    return layer;
}

bool AVPlayerLayer::isReadyForDisplay() const {
    auto item = player_ ? player_->currentItem() : nullptr;
    return item && item->status() == AVPlayerItem::Status::readyToPlay;
}

quartzcore::CGRect AVPlayerLayer::videoRect() const {
    if (!isReadyForDisplay()) return {};
    const auto size = player_->currentItem()->presentationSize();
    const auto b = bounds();
    if (size.width <= 0 || size.height <= 0 || b.size.width <= 0 || b.size.height <= 0) return {};
    if (videoGravity_ == AVLayerVideoGravity::resize) return b;
    const double sx = b.size.width / size.width;
    const double sy = b.size.height / size.height;
    const double scale = videoGravity_ == AVLayerVideoGravity::resizeAspect ? std::min(sx, sy) : std::max(sx, sy);
    const double w = size.width * scale;
    const double h = size.height * scale;
    return quartzcore::CGRect{{b.origin.x + (b.size.width - w) / 2, b.origin.y + (b.size.height - h) / 2}, {w, h}};
}

void AVPlayerLayer::draw(quartzcore::CGContext& in) {
    CALayer::draw(in);
    const auto rect = videoRect();
    if (rect.width() <= 0 || rect.height() <= 0) return;
    drawTestFrame(in, rect, player_->currentTime().seconds());
}

}  // namespace avfoundation
