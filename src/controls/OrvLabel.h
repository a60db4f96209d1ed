#pragma once

#include <memory>

#include "uikit/UILabel.h"

namespace lumora {

// A label that honours the top and bottom content modes when it draws its text: in the top modes (top,
// top-left, top-right) the text hugs the top edge, in the bottom modes the bottom edge; every other mode
// centres it vertically, as a plain label does. Text taller than the label is drawn as a plain label draws
// it. Main thread only.
class OrvLabel : public uikit::UILabel {
  public:
    static std::shared_ptr<OrvLabel> create(const uikit::CGRect& frame = uikit::CGRect());

    void drawText(const uikit::CGRect& in) override;

  protected:
    explicit OrvLabel(const uikit::CGRect& frame) : UILabel(frame) {}
};

}  // namespace lumora
