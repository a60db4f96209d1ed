#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "coregraphics/CGAffineTransform.h"
#include "coregraphics/CGColor.h"
#include "coregraphics/CGGeometry.h"
#include "coregraphics/CGPath.h"

namespace coregraphics {

// One thing done to a recording context. A flat record: only the fields named for a kind are meaningful.
struct CGDrawCommand {
    enum class Kind {
        clear,                   // rect
        fillRect,                // rect, color (fill colour), alpha, ctm
        fillPath,                // path, fillRule, color (fill colour), alpha, ctm
        strokePath,              // path, color (stroke colour), lineWidth, alpha, ctm
        setFillColor,            // color
        setStrokeColor,          // color
        setLineWidth,            // lineWidth
        setAlpha,                // alpha
        saveGState,              //
        restoreGState,           //
        concatenateCTM,          // transform (the one concatenated); ctm = the result
        clip,                    // rect (user space), ctm
        beginTransparencyLayer,  // rect (bounds; null when unbounded), alpha
        endTransparencyLayer,    //
        drawText,                // text, rect, fontName, fontSize, color, ctm
        drawImage,               // image, rect, alpha, ctm
    };

    Kind kind = Kind::clear;
    CGRect rect;
    CGPath path;
    CGPathFillRule fillRule = CGPathFillRule::winding;
    CGColor color;
    CGFloat lineWidth = 0;
    CGFloat alpha = 1;
    CGAffineTransform transform;
    CGAffineTransform ctm;
    std::string text;
    std::string fontName;
    CGFloat fontSize = 0;
    std::string image;

    // One line: "fillPath winding #ff0000ff M 0 0 L 10 0 Z", "drawText 'Hi' (0, 0, 20 x 20) System 16 #000000ff" ...
    std::string description() const;
};

const char* toString(CGDrawCommand::Kind kind);

// A graphics context that records what is drawn instead of rasterising it. Drawing state (fill and
// stroke colours, line width, alpha, current transform) is kept and saved / restored as on the
// platform; each drawing command is recorded with the state in force, so tests read what would be painted.
class CGContext : public std::enable_shared_from_this<CGContext> {
  public:
    // `size` is the drawable area in points (the bitmap size of a real context); recorded, not enforced.
    static std::shared_ptr<CGContext> create(CGSize size = {});

    CGSize size() const { return size_; }

    // State.
    void setFillColor(const CGColor& color);
    void setStrokeColor(const CGColor& color);
    void setLineWidth(CGFloat width);
    void setAlpha(CGFloat alpha);
    void saveGState();
    // Ignored (and not recorded) without a matching save.
    void restoreGState();
    void translateBy(CGFloat x, CGFloat y);
    void scaleBy(CGFloat x, CGFloat y);
    void rotate(CGFloat angle);
    void concatenate(const CGAffineTransform& transform);
    void clip(const CGRect& to);

    CGColor fillColor() const { return state_.fillColor; }
    CGColor strokeColor() const { return state_.strokeColor; }
    CGFloat lineWidth() const { return state_.lineWidth; }
    CGFloat alpha() const { return state_.alpha; }
    CGAffineTransform ctm() const { return state_.ctm; }
    // Bounding box of the clip in the current user space; nullopt when unclipped. Clips intersect.
    std::optional<CGRect> clipBoundingBox() const;
    int gStateDepth() const { return static_cast<int>(saved_.size()); }

    // The current path. Filling or stroking consumes it.
    void beginPath();
    void addPath(const CGPath& path);
    void move(CGPoint to);
    void addLine(CGPoint to);
    void addRect(const CGRect& rect);
    void addEllipse(const CGRect& in);
    void closePath();
    const CGPath& path() const { return path_; }
    bool isPathEmpty() const { return path_.isEmpty(); }

    // Drawing.
    void clear(const CGRect& rect);
    void fill(const CGRect& rect);
    void fillEllipse(const CGRect& in);
    // Fill / stroke the current path (nothing is recorded for an empty path), then clear it.
    void fillPath(CGPathFillRule rule = CGPathFillRule::winding);
    void strokePath();
    // Strokes a rectangle outline without touching the current path.
    void stroke(const CGRect& rect);
    void strokeLineSegments(const std::vector<CGPoint>& between);

    // Transparency layers: `bounds` limits the layer (null = unbounded). End without begin is ignored.
    void beginTransparencyLayer();
    void beginTransparencyLayer(const CGRect& in);
    void endTransparencyLayer();
    int transparencyLayerDepth() const { return layerDepth_; }

    // Text and images, as the toolkit's string and image drawing hand them over.
    void drawText(const std::string& text, const CGRect& rect, const std::string& fontName, CGFloat fontSize,
                  const CGColor& color);
    // `image` identifies the image (its name or another stable identity chosen by the caller).
    void drawImage(const std::string& image, const CGRect& in);

    // The record.
    const std::vector<CGDrawCommand>& commands() const { return commands_; }
    std::vector<CGDrawCommand> commands(CGDrawCommand::Kind kind) const;
    void removeAllCommands() { commands_.clear(); }
    // Every command's description, one per line.
    std::string description() const;

  private:
    explicit CGContext(CGSize size) : size_(size) {}

    struct State {
        CGColor fillColor = CGColor::black();
        CGColor strokeColor = CGColor::black();
        CGFloat lineWidth = 1;
        CGFloat alpha = 1;
        CGAffineTransform ctm;
        std::optional<CGRect> clip;  // device space
    };

    CGDrawCommand make(CGDrawCommand::Kind kind) const;
    void record(CGDrawCommand command) { commands_.push_back(std::move(command)); }

    CGSize size_;
    State state_;
    std::vector<State> saved_;
    CGPath path_;
    int layerDepth_ = 0;
    std::vector<CGDrawCommand> commands_;
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
