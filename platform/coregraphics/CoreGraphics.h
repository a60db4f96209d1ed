#pragma once

#include "coregraphics/CGAffineTransform.h"
#include "coregraphics/CGColor.h"
#include "coregraphics/CGContext.h"
#include "coregraphics/CGGeometry.h"
#include "coregraphics/CGPath.h"
