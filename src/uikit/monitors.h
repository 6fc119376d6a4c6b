#pragma once
// The extent of all monitors. The screen list goes through a replaceable
// source so that tests set up any monitor arrangement.

#include <cstdint>
#include <vector>

#include <QRect>

#include "common/settings_store.h"

namespace sonivate {

// Full rectangles of the monitors (not their work areas), logical pixels.
class ScreenList {
public:
    virtual ~ScreenList() = default;
    virtual std::vector<QRect> Geometries() const = 0;
};
// The list in use: QGuiApplication::screens() unless replaced.
const ScreenList& Screens();
// Installs pList (not owned; nullptr = the real screens) and forgets the
// cached extent.
void SetScreenList(const ScreenList* pList);

inline constexpr std::int32_t kExtentRight = 0;
inline constexpr std::int32_t kExtentBottom = 1;

// pIndex 0: the largest right edge, 1: the largest bottom edge over all
// monitors (an edge is the first pixel beyond a monitor); in pixels when
// pInPixels, else in twips. Computed on first use and cached; 0 without any
// screen or for another index.
std::int32_t MonitorExtent(std::int32_t pIndex, bool pInPixels);
// Both edges in twips, for RestoreWindowPlacement.
DesktopExtent DesktopExtentTwips();

}  // namespace sonivate
