// Process-wide settings of the image library, each constant-initialised to its default; library start-up
// sets them to the same defaults again. They are plain variables without locks: programs change them only on
// the GUI thread while no worker runs, and the workers (display copies, previews) only read them.
#pragma once

#include <cstdint>

extern bool PGRound16BitColors;     // rounding of 16-bit bit-field components of BMP and DIB data
extern uint8_t PGJPEGReadDCTMethod; // transform of the JPEG reader, 0 = accurate integer
extern uint8_t PGJPEGDCTMethod;     // transform of the JPEG writer, 2 = floating point
extern uint8_t PGJPEGQuality;
extern bool PGJPEGProgressive;
// Gamma of the display; new pictures take it as their file gamma.
extern long double PGDisplayGamma;
extern bool PGGammaCorrection; // loading corrects pictures whose file gamma differs from the display's
extern bool PGPNGUseFileBackground;
extern bool PGPNGWriteGamma;
extern bool PGPxMBinary; // the PBM, PGM and PPM writers write the binary variants
extern int32_t PGTIFMaxPictures;
extern bool PGTIFCountPictures;
extern int32_t PGTIFCompression; // 1 none, 32773 PackBits
extern bool PGTIFCMYK;
extern bool PGTIFWhiteIsZero;
extern bool PGTIFBigEndian;
extern uint8_t PGTIFResolutionUnit;
extern int32_t PGTIFXResolutionNum;
extern int32_t PGTIFXResolutionDen;
extern int32_t PGTIFYResolutionNum;
extern int32_t PGTIFYResolutionDen;

// The most pixel memory one picture may ask for. Picture sizes come from files, and a damaged header must
// not be able to exhaust memory or overflow the row arithmetic.
extern int64_t PGMaxPixelMemory;
