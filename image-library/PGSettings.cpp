// Defaults of the image library's process-wide settings.
#include "image-library/PGSettings.h"

long double PGDisplayGamma = 1.8L;
int64_t PGMaxPixelMemory = int64_t(1) << 30;
