#include "uikit/UIGraphicsImageRenderer.h"

#include <cmath>

#include "coregraphics/CGBitmapContext.h"
#include "uikit/UIScreen.h"

namespace uikit {

UIGraphicsImageRendererFormat UIGraphicsImageRendererFormat::defaultFormat() {
    return {UIScreen::main()->scale(), false};
}

std::shared_ptr<UIImage> UIGraphicsImageRendererContext::currentImage() const {
    const auto* bitmap = dynamic_cast<const coregraphics::CGBitmapContext*>(context_.get());
    if (!bitmap) return UIImage::create();
    return UIImage::create(bitmap->bitmap(), bitmap->scale());
}

UIGraphicsImageRenderer::UIGraphicsImageRenderer(CGSize size)
    : UIGraphicsImageRenderer(CGRect(CGPoint{}, size), UIGraphicsImageRendererFormat::defaultFormat()) {}

UIGraphicsImageRenderer::UIGraphicsImageRenderer(CGSize size, UIGraphicsImageRendererFormat format)
    : UIGraphicsImageRenderer(CGRect(CGPoint{}, size), format) {}

UIGraphicsImageRenderer::UIGraphicsImageRenderer(const CGRect& bounds)
    : UIGraphicsImageRenderer(bounds, UIGraphicsImageRendererFormat::defaultFormat()) {}

UIGraphicsImageRenderer::UIGraphicsImageRenderer(const CGRect& bounds, UIGraphicsImageRendererFormat format)
    : bounds_(bounds), format_(format) {
    if (!std::isfinite(format_.scale) || format_.scale <= 0) format_.scale = 1;
}

std::shared_ptr<UIImage> UIGraphicsImageRenderer::image(const DrawingActions& actions) const {
    std::shared_ptr<coregraphics::CGBitmapContext> bitmap;
    if (!bounds_.isNull() && std::isfinite(bounds_.origin.x) && std::isfinite(bounds_.origin.y))
        bitmap = coregraphics::CGBitmapContext::create(bounds_.size, format_.scale, format_.opaque);
    // Without pixels to paint, the actions still run (their other effects happen) against a recorder.
    std::shared_ptr<coregraphics::CGContext> context = bitmap;
    if (!context) context = coregraphics::CGRecordingContext::create();
    if (bitmap && bounds_.origin != CGPoint{}) bitmap->translateBy(-bounds_.origin.x, -bounds_.origin.y);
    UIGraphicsImageRendererContext rendererContext(context, format_);
    if (actions) {
        coregraphics::GraphicsContextScope scope(context);
        actions(rendererContext);
    }
    return bitmap ? UIImage::create(bitmap->bitmap(), format_.scale) : UIImage::create();
}

std::optional<std::vector<std::uint8_t>> UIGraphicsImageRenderer::pngData(const DrawingActions& actions) const {
    return image(actions)->pngData();
}

std::optional<std::vector<std::uint8_t>> UIGraphicsImageRenderer::jpegData(CGFloat withCompressionQuality,
                                                                           const DrawingActions& actions) const {
    return image(actions)->jpegData(withCompressionQuality);
}

}  // namespace uikit
