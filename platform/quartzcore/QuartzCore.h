#pragma once

#include "quartzcore/CAAnimation.h"
#include "quartzcore/CAGradientLayer.h"
#include "quartzcore/CALayer.h"
#include "quartzcore/CATransaction.h"
