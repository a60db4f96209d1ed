#pragma once

// The media framework: assets, player items and the player over real HLS playlists, content keys
// through a resource loader, media selection, and the player layer.
#include "avfoundation/AVAsset.h"
#include "avfoundation/AVAssetResourceLoader.h"
#include "avfoundation/AVError.h"
#include "avfoundation/AVMediaSelection.h"
#include "avfoundation/AVPlayer.h"
#include "avfoundation/AVPlayerItem.h"
#include "avfoundation/AVPlayerLayer.h"
#include "avfoundation/ContentKey.h"
#include "avfoundation/HLS.h"
