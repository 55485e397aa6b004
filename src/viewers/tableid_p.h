#pragma once

#include "viewers/csvparser.h"

namespace Viewers::Internal {

using LargeCells = Base::LargeBuffer<CellSpan>;

// A random identifier from a per-thread generator seeded once from the system's entropy source.
TableId randomTableId();

} // namespace Viewers::Internal
