#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "uikit/NSAttributedString.h"
#include "uikit/UIControl.h"

namespace uikit {

// A row of segments with titles, one of which is selected. A tap that lifts over a segment selects it and
// sends `valueChanged` (before the touch-up events); setting `selectedSegmentIndex` in code sends nothing.
//
// Title text attributes are kept per state. A segment's title is drawn with the attributes of its state
// (`selected` for the selected segment, `highlighted` for the one under a finger, else `normal`), falling
// back to the `normal` attributes, and to the defaults (system font 13, label colour) for what neither
// sets. Segments share the width equally; the intrinsic size gives each segment its widest title plus 8
// points on each side, and a height of 32 points.
class UISegmentedControl : public UIControl {
  public:
    static constexpr int noSegment = -1;

    // The platform's `init(items:)` with titles.
    static std::shared_ptr<UISegmentedControl> create(const std::vector<std::string>& items);
    static std::shared_ptr<UISegmentedControl> create(const CGRect& frame = CGRect());

    int numberOfSegments() const { return static_cast<int>(titles_.size()); }
    // `at` is clamped to 0…numberOfSegments.
    void insertSegment(const std::string& withTitle, int at, bool animated);
    void removeSegment(int at, bool animated);
    void removeAllSegments();
    void setTitleForSegmentAt(std::optional<std::string> title, int segment);
    std::optional<std::string> titleForSegment(int at) const;

    int selectedSegmentIndex() const { return selectedSegmentIndex_; }
    // An index out of range selects no segment.
    void setSelectedSegmentIndex(int index);
    bool isMomentary() const { return isMomentary_; }
    void setIsMomentary(bool flag) { isMomentary_ = flag; }

    void setTitleTextAttributesFor(std::optional<NSAttributes> attributes, State state);
    std::optional<NSAttributes> titleTextAttributes(State state) const;
    // The attributes segment `segment`'s title is drawn with now.
    NSAttributes effectiveTitleTextAttributes(int segment) const;
    // The segment's rectangle in the bounds.
    CGRect rectForSegment(int segment) const;
    int segmentAt(CGPoint point) const;

    CGSize intrinsicContentSize() const override;
    void draw(const CGRect& rect) override;
    void touchesBegan(const UITouchSet& touches, const UIEvent* event) override;
    void touchesMoved(const UITouchSet& touches, const UIEvent* event) override;
    void touchesEnded(const UITouchSet& touches, const UIEvent* event) override;
    void touchesCancelled(const UITouchSet& touches, const UIEvent* event) override;
    std::string snapshotAttributes() const override;

  protected:
    explicit UISegmentedControl(const CGRect& frame);

  private:
    std::vector<std::optional<std::string>> titles_;
    int selectedSegmentIndex_ = noSegment;
    int highlightedSegment_ = noSegment;
    bool isMomentary_ = false;
    std::map<State, NSAttributes> attributes_;
};

}  // namespace uikit
