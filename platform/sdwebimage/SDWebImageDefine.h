#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <variant>

#include "foundation/Data.h"
#include "foundation/Error.h"
#include "foundation/URL.h"
#include "uikit/UIGeometry.h"
#include "uikit/UIImage.h"

namespace sdwebimage {

class SDImageTransformer;

// How a load behaves (a bit set). This loader has no option that changes a load: every load fetches,
// decodes and transforms; the set exists so callers can pass the platform's "no options".
struct SDWebImageOptions {
    unsigned rawValue = 0;
    friend constexpr bool operator==(const SDWebImageOptions&, const SDWebImageOptions&) = default;
};

// The keys of a load's context.
using SDWebImageContextOption = std::string;
// The transformer applied to the decoded image (a std::shared_ptr<SDImageTransformer>).
inline const SDWebImageContextOption SDWebImageContextImageTransformer = "imageTransformer";
// The scale the image is made with (a CGFloat): pixels ÷ scale = points. A value that is not a positive
// finite number is ignored (scale 1).
inline const SDWebImageContextOption SDWebImageContextImageScaleFactor = "imageScaleFactor";

// A context value: a scale, or a transformer.
using SDWebImageContextValue = std::variant<uikit::CGFloat, std::shared_ptr<SDImageTransformer>>;
// Extra settings of one load, by key. Unknown keys are ignored; a value of the wrong kind for its key too.
using SDWebImageContext = std::map<SDWebImageContextOption, SDWebImageContextValue>;

// Where an image came from. This loader keeps no cache: every image comes from the network.
enum class SDImageCacheType { none = 0, disk = 1, memory = 2, all = 3 };

// Bytes received so far and expected (−1 when unknown), and the URL.
using SDImageLoaderProgressBlock =
    std::function<void(std::int64_t receivedSize, std::int64_t expectedSize, const std::optional<foundation::URL>&)>;

// The outcome of a load: the image (nullptr on failure), its bytes, the error, where it came from, whether
// the load is over, and the URL.
using SDInternalCompletionBlock = std::function<void(
    std::shared_ptr<uikit::UIImage> image, std::optional<foundation::Data> data, std::optional<foundation::Error> error,
    SDImageCacheType cacheType, bool finished, std::optional<foundation::URL> imageURL)>;

}  // namespace sdwebimage
