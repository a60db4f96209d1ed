#pragma once

// The geometry value types under the toolkit's namespace, so toolkit code and its users can write
// `uikit::CGRect` as well as `coregraphics::CGRect` (the same types).
#include "coregraphics/CGAffineTransform.h"
#include "coregraphics/CGGeometry.h"
#include "uikit/UIEdgeInsets.h"

namespace uikit {

using coregraphics::CGAffineTransform;
using coregraphics::CGFloat;
using coregraphics::CGPoint;
using coregraphics::CGRect;
using coregraphics::CGRectEdge;
using coregraphics::CGSize;
using coregraphics::CGVector;

}  // namespace uikit
