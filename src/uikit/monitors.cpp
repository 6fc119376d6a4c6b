#include "uikit/monitors.h"

#include <algorithm>
#include <optional>

#include <QGuiApplication>
#include <QScreen>

#include "common/error_trap.h"
#include "uikit/ui_metrics.h"

namespace sonivate {
namespace {

class QtScreens final : public ScreenList {
public:
    std::vector<QRect> Geometries() const override {
        std::vector<QRect> rects;
        for (const QScreen* screen : QGuiApplication::screens()) rects.push_back(screen->geometry());
        return rects;
    }
};

const QtScreens g_QtScreens;
const ScreenList* g_Screens = &g_QtScreens;
// Largest right and bottom edge in pixels, once asked.
std::optional<QPoint> g_Extent;

}  // namespace

const ScreenList& Screens() { return *g_Screens; }

void SetScreenList(const ScreenList* pList) {
    g_Screens = pList != nullptr ? pList : &g_QtScreens;
    g_Extent.reset();
}

std::int32_t MonitorExtent(std::int32_t pIndex, bool pInPixels) {
    return Trapped<std::int32_t>(0, [&]() -> std::int32_t {
        if (!g_Extent) {
            QPoint extent(0, 0);
            for (const QRect& r : Screens().Geometries()) {
                extent.setX(std::max(extent.x(), r.x() + r.width()));
                extent.setY(std::max(extent.y(), r.y() + r.height()));
            }
            g_Extent = extent;
        }
        const std::int32_t pixels = pIndex == kExtentRight    ? g_Extent->x()
                                    : pIndex == kExtentBottom ? g_Extent->y()
                                                              : 0;
        return pInPixels ? pixels : CheckedNarrow<std::int32_t>(static_cast<std::int64_t>(pixels) * TwipsPerPixel());
    });
}

DesktopExtent DesktopExtentTwips() { return {MonitorExtent(kExtentRight, false), MonitorExtent(kExtentBottom, false)}; }

}  // namespace sonivate
