#pragma once

// The image loader: `SDWebImageManager::shared()->loadImage(...)`.
#include "sdwebimage/SDImageLoader.h"
#include "sdwebimage/SDImageTransformer.h"
#include "sdwebimage/SDWebImageDefine.h"
#include "sdwebimage/SDWebImageError.h"
#include "sdwebimage/SDWebImageManager.h"
