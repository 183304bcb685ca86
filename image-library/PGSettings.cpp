// Defaults of the image library's process-wide settings.
#include "image-library/PGSettings.h"

bool PGRound16BitColors = true;
uint8_t PGJPEGReadDCTMethod = 0;
uint8_t PGJPEGDCTMethod = 2;
uint8_t PGJPEGQuality = 80;
bool PGJPEGProgressive = false;
long double PGDisplayGamma = 1.8L;
bool PGGammaCorrection = true;
bool PGPNGUseFileBackground = true;
bool PGPNGWriteGamma = true;
bool PGPxMBinary = false;
int32_t PGTIFMaxPictures = 1000;
bool PGTIFCountPictures = false;
int32_t PGTIFCompression = 1;
bool PGTIFCMYK = false;
bool PGTIFWhiteIsZero = false;
bool PGTIFBigEndian = false;
uint8_t PGTIFResolutionUnit = 1;
int32_t PGTIFXResolutionNum = 300;
int32_t PGTIFXResolutionDen = 1;
int32_t PGTIFYResolutionNum = 300;
int32_t PGTIFYResolutionDen = 1;
int64_t PGMaxPixelMemory = int64_t(1) << 30;
