#include "plugins/texture/zoom_steps.h"

#include <algorithm>
#include <iterator>

namespace kestrova::texture {
namespace {

constexpr double kSteps[] = {0.125, 0.25, 0.5, 1, 2, 4, 8, 16, 32};
// Factors this close to a step count as that step (fit factors are rarely exact).
constexpr double kTolerance = 1e-6;

}  // namespace

double ZoomInStep(double current) {
    for (double step : kSteps) {
        if (step > current + kTolerance) {
            return step;
        }
    }
    return kSteps[std::size(kSteps) - 1];
}

double ZoomOutStep(double current) {
    for (auto it = std::rbegin(kSteps); it != std::rend(kSteps); ++it) {
        if (*it < current - kTolerance) {
            return *it;
        }
    }
    return kSteps[0];
}

double FitZoom(std::uint32_t imageWidth, std::uint32_t imageHeight, int areaWidth, int areaHeight) {
    if (imageWidth == 0 || imageHeight == 0 || areaWidth <= 0 || areaHeight <= 0) {
        return 1;
    }
    return std::min(static_cast<double>(areaWidth) / imageWidth,
                    static_cast<double>(areaHeight) / imageHeight);
}

}  // namespace kestrova::texture
