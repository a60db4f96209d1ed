#pragma once

// CAShapeLayer is declared with the gradient layer (both are small CALayer subclasses).
#include "quartzcore/CAGradientLayer.h"
