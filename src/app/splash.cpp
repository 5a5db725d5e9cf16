#include "app/splash.h"

SplashPlace CenterInWorkArea(int areaLeft, int areaTop, int areaRight, int areaBottom, int width,
                             int height) {
    return {(areaLeft + areaRight - width) / 2, (areaTop + areaBottom - height) / 2};
}

SplashBarRect ProgressBarRect(int width, int height) {
    return {4, height - 20, width - 8, 16};
}
