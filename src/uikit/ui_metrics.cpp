#include "uikit/ui_metrics.h"

#include <cmath>

#include <QGuiApplication>
#include <QScreen>

#include "common/error_trap.h"

namespace sonivate {
namespace {
std::int32_t g_TwipsPerPixel = kReferenceTwipsPerPixel;
}

std::int32_t TwipsPerPixel() { return g_TwipsPerPixel; }

void SetTwipsPerPixel(std::int32_t pValue) { g_TwipsPerPixel = pValue > 0 ? pValue : kReferenceTwipsPerPixel; }

std::int32_t ScaledTwips(std::int32_t pTwips, float pRate) {
    return CheckedNarrow<std::int32_t>(std::nearbyint(static_cast<double>(pTwips) * pRate));
}

std::int32_t ScreenTwipsPerPixel() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) return kReferenceTwipsPerPixel;
    const double dpi = screen->logicalDotsPerInchX();
    if (!(dpi > 0)) return kReferenceTwipsPerPixel;
    const auto twips = static_cast<std::int32_t>(std::nearbyint(kTwipsPerInch / dpi));
    return twips > 0 ? twips : 1;
}

}  // namespace sonivate
