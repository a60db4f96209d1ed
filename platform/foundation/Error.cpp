#include "foundation/Error.h"

// Error is header-only; this unit keeps the library non-empty before other sources exist.
namespace foundation {}
