#pragma once
// The zoom factors the texture panel offers: fit to the view, or fixed steps from 1/8 to 32.

#include <cstdint>

namespace kestrova::texture {

// The smallest step above `current`, or the largest step when there is none.
double ZoomInStep(double current);
// The largest step below `current`, or the smallest step when there is none.
double ZoomOutStep(double current);
// The factor that shows a whole image of the given sides in an area of the given sides (1 for an
// empty image or area).
double FitZoom(std::uint32_t imageWidth, std::uint32_t imageHeight, int areaWidth, int areaHeight);

}  // namespace kestrova::texture
