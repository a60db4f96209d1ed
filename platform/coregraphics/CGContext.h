#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "coregraphics/CGAffineTransform.h"
#include "coregraphics/CGColor.h"
#include "coregraphics/CGFont.h"
#include "coregraphics/CGGeometry.h"
#include "coregraphics/CGGradient.h"
#include "coregraphics/CGImage.h"
#include "coregraphics/CGPath.h"

namespace coregraphics {

enum class CGLineCap { butt, round, square };
enum class CGLineJoin { miter, round, bevel };

// One thing done to a context, with the state in force. A flat record: only the fields named for a kind
// are meaningful. Every context turns each call into one of these; the recording context keeps them, the
// bitmap context paints them.
struct CGDrawCommand {
    enum class Kind {
        clear,           // rect
        fillRect,        // rect, color (fill colour), alpha, ctm
        fillPath,        // path, fillRule, color (fill colour), alpha, ctm
        strokePath,      // path, color (stroke colour), lineWidth, lineCap, lineJoin, miterLimit, dash…, alpha, ctm
        setFillColor,    // color
        setStrokeColor,  // color
        setLineWidth,    // lineWidth
        setAlpha,        // alpha
        saveGState,      //
        restoreGState,   //
        concatenateCTM,  // transform (the one concatenated); ctm = the result
        clip,            // rect (user space; null for a path clip), path, fillRule, ctm
        beginTransparencyLayer,  // rect (bounds; null when unbounded), alpha (the layer's, applied at its end)
        endTransparencyLayer,    //
        drawText,                // text, rect, font (and fontName, fontSize), kern, color, alpha, ctm
        drawImage,               // image (its description), cgImage, rect, alpha, ctm
        setLineCap,              // lineCap
        setLineJoin,             // lineJoin
        setMiterLimit,           // miterLimit
        setLineDash,             // dashPhase, dashLengths
        drawLinearGradient,      // gradient, startPoint, endPoint, gradientOptions, alpha, ctm
        drawRadialGradient,  // gradient, startPoint / startRadius, endPoint / endRadius, gradientOptions, alpha, ctm
        fillMask,            // image, cgImage, rect, color (fill colour), alpha, ctm
    };

    Kind kind = Kind::clear;
    CGRect rect;
    CGPath path;
    CGPathFillRule fillRule = CGPathFillRule::winding;
    CGColor color;
    CGFloat lineWidth = 0;
    CGLineCap lineCap = CGLineCap::butt;
    CGLineJoin lineJoin = CGLineJoin::miter;
    CGFloat miterLimit = 10;
    CGFloat dashPhase = 0;
    std::vector<CGFloat> dashLengths;  // empty: solid
    CGFloat alpha = 1;
    CGAffineTransform transform;
    CGAffineTransform ctm;
    std::string text;
    CGFont font;
    std::string fontName;  // font.name
    CGFloat fontSize = 0;  // font.pointSize
    CGFloat kern = 0;
    std::string image;
    std::shared_ptr<const CGImage> cgImage;
    CGGradient gradient;
    CGPoint startPoint;
    CGPoint endPoint;
    CGFloat startRadius = 0;
    CGFloat endRadius = 0;
    unsigned gradientOptions = 0;

    // One line: "fillPath winding #ff0000ff M 0 0 L 10 0 Z", "drawText 'Hi' (0, 0, 20 x 20) System 16 #000000ff" ...
    std::string description() const;
};

const char* toString(CGDrawCommand::Kind kind);

class CGRecordingContext;

// The drawing interface: a graphics state (fill and stroke colours, line style, alpha, current transform,
// clip) saved and restored as on the platform, a current path, and drawing calls that paint with the state
// in force. Two back ends implement it: `CGRecordingContext` keeps what is drawn as commands (tests of drawing
// order and of what a view draws) and `CGBitmapContext` paints pixels with cairo.
//
// Coordinates are the toolkit's: y grows downwards, one unit is one point; a bitmap context's current
// transform starts with its scale, so that drawing code never sees pixels.
//
// Invalid input is ignored rather than trusted: a restore or a layer end without its begin, negative or
// non-finite widths, dash patterns that would draw nothing sensible.
// A context is used by one thread at a time.
class CGContext : public std::enable_shared_from_this<CGContext> {
  public:
    virtual ~CGContext();
    CGContext(const CGContext&) = delete;
    CGContext& operator=(const CGContext&) = delete;

    // A recording context (the same as `CGRecordingContext::create`): kept so that drawing tests written
    // against the recorder read as before.
    static std::shared_ptr<CGRecordingContext> create(CGSize size = {});

    // The drawable area in points (a bitmap's pixels ÷ its scale).
    CGSize size() const { return size_; }

    // ---- State ------------------------------------------------------------------------------------
    void setFillColor(const CGColor& color);
    void setStrokeColor(const CGColor& color);
    void setLineWidth(CGFloat width);
    void setLineCap(CGLineCap cap);
    void setLineJoin(CGLineJoin join);
    // Limits the length of mitred joins (in line widths); values below 1 are ignored.
    void setMiterLimit(CGFloat limit);
    // Dashes of the given lengths, alternating on and off, starting `phase` points into the pattern. An empty
    // pattern draws solid lines; a pattern with a negative or non-finite length, or with no positive
    // length, is ignored.
    void setLineDash(CGFloat phase, const std::vector<CGFloat>& lengths);
    // The global alpha every drawing is painted with, clamped to [0, 1].
    void setAlpha(CGFloat alpha);
    void saveGState();
    // Ignored (and not recorded) without a matching save.
    void restoreGState();
    void translateBy(CGFloat x, CGFloat y);
    void scaleBy(CGFloat x, CGFloat y);
    void rotate(CGFloat angle);
    void concatenate(const CGAffineTransform& transform);
    // Clips intersect with the clip in force until the state is restored.
    void clip(const CGRect& to);
    // Clips to the current path (and consumes it); an empty path clips everything away.
    void clip(CGPathFillRule rule = CGPathFillRule::winding);

    CGColor fillColor() const { return state_.fillColor; }
    CGColor strokeColor() const { return state_.strokeColor; }
    CGFloat lineWidth() const { return state_.lineWidth; }
    CGLineCap lineCap() const { return state_.lineCap; }
    CGLineJoin lineJoin() const { return state_.lineJoin; }
    CGFloat alpha() const { return state_.alpha; }
    // User space to device space (points to pixels for a bitmap context).
    CGAffineTransform ctm() const { return state_.ctm; }
    // Bounding box of the clip in the current user space; nullopt when unclipped. Clips intersect.
    std::optional<CGRect> clipBoundingBox() const;
    int gStateDepth() const { return static_cast<int>(saved_.size()); }

    // ---- The current path (filling, stroking or clipping consumes it) --------------------------------
    void beginPath();
    void addPath(const CGPath& path);
    void move(CGPoint to);
    void addLine(CGPoint to);
    void addCurve(CGPoint to, CGPoint control1, CGPoint control2);
    void addQuadCurve(CGPoint to, CGPoint control);
    // A circular arc, joined to the current point by a line; `clockwise` in the y-down screen sense.
    void addArc(CGPoint center, CGFloat radius, CGFloat startAngle, CGFloat endAngle, bool clockwise);
    void addRect(const CGRect& rect);
    void addEllipse(const CGRect& in);
    void closePath();
    const CGPath& path() const { return path_; }
    bool isPathEmpty() const { return path_.isEmpty(); }

    // ---- Drawing ----------------------------------------------------------------------------------
    // Makes the rectangle fully transparent (clip and transform apply, alpha does not).
    void clear(const CGRect& rect);
    void fill(const CGRect& rect);
    void fillEllipse(const CGRect& in);
    // Fill / stroke the current path (nothing is drawn for an empty path), then clear it.
    void fillPath(CGPathFillRule rule = CGPathFillRule::winding);
    void strokePath();
    // Strokes a rectangle / ellipse outline without touching the current path.
    void stroke(const CGRect& rect);
    void strokeEllipse(const CGRect& in);
    void strokeLineSegments(const std::vector<CGPoint>& between);

    // Gradients paint the whole clip (see CGGradientDrawingOptions for what lies beyond their ends). A
    // radial gradient runs between two circles. Gradients without colours paint nothing.
    void drawLinearGradient(const CGGradient& gradient, CGPoint start, CGPoint end, unsigned options = 0);
    void drawRadialGradient(const CGGradient& gradient, CGPoint startCenter, CGFloat startRadius, CGPoint endCenter,
                            CGFloat endRadius, unsigned options = 0);

    // Transparency layers: what is drawn until the end is composed on its own, then painted with the alpha
    // in force at the begin. `in` limits the layer (null = unbounded). End without begin is ignored.
    void beginTransparencyLayer();
    void beginTransparencyLayer(const CGRect& in);
    void endTransparencyLayer();
    int transparencyLayerDepth() const { return layerDepth_; }

    // One line of text, as the toolkit's string drawing lays it out: `rect` is the line box (its left edge
    // and top; the baseline lies the font's ascent below the top), `kern` extra points after each character.
    // Not clipped to the rectangle. The bitmap context shapes and paints it with the font engine.
    void drawText(const std::string& text, const CGRect& rect, const CGFont& font, const CGColor& color,
                  CGFloat kern = 0);
    // The image stretched over `in`, upright in the y-down space. A null image draws nothing.
    void draw(const std::shared_ptr<const CGImage>& image, const CGRect& in);
    // Paints the fill colour over `in` through the image's alpha (how template images and icons are tinted).
    void fillMask(const std::shared_ptr<const CGImage>& image, const CGRect& in);

  protected:
    // `baseTransform` is the device transform the state starts with (a bitmap's scale).
    explicit CGContext(CGSize size, const CGAffineTransform& baseTransform = CGAffineTransform::identity());

    // Carries out one command. Called once for every call that changes the state or draws, after the state
    // has changed (a restore's command comes after the state is restored; a layer's begin carries the alpha
    // of the layer).
    virtual void perform(CGDrawCommand command) = 0;

  private:
    struct State {
        CGColor fillColor = CGColor::black();
        CGColor strokeColor = CGColor::black();
        CGFloat lineWidth = 1;
        CGLineCap lineCap = CGLineCap::butt;
        CGLineJoin lineJoin = CGLineJoin::miter;
        CGFloat miterLimit = 10;
        CGFloat dashPhase = 0;
        std::vector<CGFloat> dashLengths;
        CGFloat alpha = 1;
        CGAffineTransform ctm;
        std::optional<CGRect> clip;  // bounding box, device space
    };

    CGDrawCommand make(CGDrawCommand::Kind kind) const;
    void clipDevice(const CGRect& userBox);
    // Saves below this depth belong to open transparency layers.
    int layerSaveFloor() const { return layerSaves_.empty() ? 0 : static_cast<int>(layerSaves_.back()); }

    CGSize size_;
    State state_;
    std::vector<State> saved_;
    CGPath path_;
    int layerDepth_ = 0;
    std::vector<std::size_t> layerSaves_;  // the depth of `saved_` just after each open layer's own save
};

// The context that drawing code draws into: current only while a draw pass has pushed it. Per thread.
// nullptr outside a draw pass.
std::shared_ptr<CGContext> currentContext();
void pushCurrentContext(std::shared_ptr<CGContext> context);
// Pops the innermost pushed context; ignored when none is pushed.
void popCurrentContext();

// Makes a context current for the lifetime of the scope (the draw pass of a view or layer).
class GraphicsContextScope {
  public:
    explicit GraphicsContextScope(std::shared_ptr<CGContext> context);
    ~GraphicsContextScope();
    GraphicsContextScope(const GraphicsContextScope&) = delete;
    GraphicsContextScope& operator=(const GraphicsContextScope&) = delete;
};

}  // namespace coregraphics

// The recorder is what `CGContext::create` makes; included here so that either header gives both types.
#include "coregraphics/CGRecordingContext.h"
