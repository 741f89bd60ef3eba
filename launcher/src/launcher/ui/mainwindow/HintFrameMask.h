#pragma once

#include <QRegion>
#include <QSize>

namespace orvan::launcher {

/// The visible shape of hint frame Index (0 to 2) of the given size. The frames are slanted tiles that interlock
/// in their row: the first has a straight left edge, the last a straight right edge, and every slanted edge runs
/// over half the frame's height. The second and third frames keep their one-pixel outline so that their slanted
/// edges stay closed.
QRegion hintFrameMask(int index, const QSize& frameSize);

} // namespace orvan::launcher
