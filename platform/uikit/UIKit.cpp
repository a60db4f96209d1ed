// The UI toolkit is split over one file per type; this unit keeps the library non-empty.
namespace uikit {}
