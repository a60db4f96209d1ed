#pragma once

#include "coregraphics/CGAffineTransform.h"
#include "coregraphics/CGBitmapContext.h"
#include "coregraphics/CGColor.h"
#include "coregraphics/CGContext.h"
#include "coregraphics/CGGeometry.h"
#include "coregraphics/CGGradient.h"
#include "coregraphics/CGImage.h"
#include "coregraphics/CGPath.h"
#include "coregraphics/CGRecordingContext.h"
