#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "coregraphics/CGContext.h"
#include "uikit/UIGeometry.h"
#include "uikit/UIImage.h"

namespace uikit {

// How a renderer makes its bitmap: pixels a point, and whether it starts opaque (black) instead of clear.
struct UIGraphicsImageRendererFormat {
    CGFloat scale = 1;
    bool opaque = false;

    // The main screen's scale, not opaque: what a renderer made without a format uses.
    static UIGraphicsImageRendererFormat defaultFormat();
    friend bool operator==(const UIGraphicsImageRendererFormat&, const UIGraphicsImageRendererFormat&) = default;
};

// What the drawing actions of a renderer receive: its graphics context (also current during the actions,
// so `UIGraphicsGetCurrentContext()` and the drawing calls of colours, paths, strings and images reach it).
class UIGraphicsImageRendererContext {
  public:
    UIGraphicsImageRendererContext(std::shared_ptr<coregraphics::CGContext> context,
                                   UIGraphicsImageRendererFormat format)
        : context_(std::move(context)), format_(format) {}

    coregraphics::CGContext& cgContext() const { return *context_; }
    const UIGraphicsImageRendererFormat& format() const { return format_; }
    // What has been drawn so far (the empty image for a renderer of zero size).
    std::shared_ptr<UIImage> currentImage() const;
    // Fill / stroke a rectangle with the context's current colours.
    void fill(const CGRect& rect) const { context_->fill(rect); }
    void stroke(const CGRect& rect) const { context_->stroke(rect); }
    void clip(const CGRect& to) const { context_->clip(to); }

  private:
    std::shared_ptr<coregraphics::CGContext> context_;
    UIGraphicsImageRendererFormat format_;
};

// Draws images: each call makes a fresh bitmap of the renderer's size at the format's scale, runs the drawing
// actions on it and returns what they drew. The drawing happens in points, with the renderer's bounds origin
// at the top left of the image.
//
// A renderer whose size is zero, negative or not finite (or too large for one bitmap) runs the actions on a
// context that paints nothing and gives the empty image; its `pngData` / `jpegData` give nothing.
// A renderer is a small value; renderers on different threads draw independently.
class UIGraphicsImageRenderer {
  public:
    using DrawingActions = std::function<void(UIGraphicsImageRendererContext&)>;

    explicit UIGraphicsImageRenderer(CGSize size);
    UIGraphicsImageRenderer(CGSize size, UIGraphicsImageRendererFormat format);
    explicit UIGraphicsImageRenderer(const CGRect& bounds);
    UIGraphicsImageRenderer(const CGRect& bounds, UIGraphicsImageRendererFormat format);

    const UIGraphicsImageRendererFormat& format() const { return format_; }
    const CGRect& bounds() const { return bounds_; }

    std::shared_ptr<UIImage> image(const DrawingActions& actions) const;
    std::optional<std::vector<std::uint8_t>> pngData(const DrawingActions& actions) const;
    std::optional<std::vector<std::uint8_t>> jpegData(CGFloat withCompressionQuality,
                                                      const DrawingActions& actions) const;

  private:
    CGRect bounds_;
    UIGraphicsImageRendererFormat format_;
};

}  // namespace uikit
