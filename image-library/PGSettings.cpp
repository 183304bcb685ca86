// Defaults of the image library's process-wide settings. Each default is written once, here: the variables
// start with it and start-up puts it back.
#include "image-library/PGSettings.h"

namespace {
namespace Default {
constexpr bool Round16BitColors = true;
constexpr uint8_t JPEGReadDCTMethod = 0;
constexpr uint8_t JPEGDCTMethod = 2;
constexpr uint8_t JPEGQuality = 80;
constexpr bool JPEGProgressive = false;
constexpr long double DisplayGamma = 1.8L;
constexpr bool GammaCorrection = true;
constexpr bool PNGUseFileBackground = true;
constexpr bool PNGWriteGamma = true;
constexpr bool PxMBinary = false;
constexpr int32_t TIFMaxPictures = 1000;
constexpr bool TIFCountPictures = false;
constexpr int32_t TIFCompression = 1;
constexpr bool TIFCMYK = false;
constexpr bool TIFWhiteIsZero = false;
constexpr bool TIFBigEndian = false;
constexpr uint8_t TIFResolutionUnit = 1;
constexpr int32_t TIFXResolutionNum = 300;
constexpr int32_t TIFXResolutionDen = 1;
constexpr int32_t TIFYResolutionNum = 300;
constexpr int32_t TIFYResolutionDen = 1;
constexpr int64_t MaxPixelMemory = int64_t(1) << 30;
} // namespace Default
} // namespace

constinit bool PGRound16BitColors = Default::Round16BitColors;
constinit uint8_t PGJPEGReadDCTMethod = Default::JPEGReadDCTMethod;
constinit uint8_t PGJPEGDCTMethod = Default::JPEGDCTMethod;
constinit uint8_t PGJPEGQuality = Default::JPEGQuality;
constinit bool PGJPEGProgressive = Default::JPEGProgressive;
constinit long double PGDisplayGamma = Default::DisplayGamma;
constinit bool PGGammaCorrection = Default::GammaCorrection;
constinit bool PGPNGUseFileBackground = Default::PNGUseFileBackground;
constinit bool PGPNGWriteGamma = Default::PNGWriteGamma;
constinit bool PGPxMBinary = Default::PxMBinary;
constinit int32_t PGTIFMaxPictures = Default::TIFMaxPictures;
constinit bool PGTIFCountPictures = Default::TIFCountPictures;
constinit int32_t PGTIFCompression = Default::TIFCompression;
constinit bool PGTIFCMYK = Default::TIFCMYK;
constinit bool PGTIFWhiteIsZero = Default::TIFWhiteIsZero;
constinit bool PGTIFBigEndian = Default::TIFBigEndian;
constinit uint8_t PGTIFResolutionUnit = Default::TIFResolutionUnit;
constinit int32_t PGTIFXResolutionNum = Default::TIFXResolutionNum;
constinit int32_t PGTIFXResolutionDen = Default::TIFXResolutionDen;
constinit int32_t PGTIFYResolutionNum = Default::TIFYResolutionNum;
constinit int32_t PGTIFYResolutionDen = Default::TIFYResolutionDen;
constinit int64_t PGMaxPixelMemory = Default::MaxPixelMemory;

void ResetPGSettings() {
    PGRound16BitColors = Default::Round16BitColors;
    PGJPEGReadDCTMethod = Default::JPEGReadDCTMethod;
    PGJPEGDCTMethod = Default::JPEGDCTMethod;
    PGJPEGQuality = Default::JPEGQuality;
    PGJPEGProgressive = Default::JPEGProgressive;
    PGDisplayGamma = Default::DisplayGamma;
    PGGammaCorrection = Default::GammaCorrection;
    PGPNGUseFileBackground = Default::PNGUseFileBackground;
    PGPNGWriteGamma = Default::PNGWriteGamma;
    PGPxMBinary = Default::PxMBinary;
    PGTIFMaxPictures = Default::TIFMaxPictures;
    PGTIFCountPictures = Default::TIFCountPictures;
    PGTIFCompression = Default::TIFCompression;
    PGTIFCMYK = Default::TIFCMYK;
    PGTIFWhiteIsZero = Default::TIFWhiteIsZero;
    PGTIFBigEndian = Default::TIFBigEndian;
    PGTIFResolutionUnit = Default::TIFResolutionUnit;
    PGTIFXResolutionNum = Default::TIFXResolutionNum;
    PGTIFXResolutionDen = Default::TIFXResolutionDen;
    PGTIFYResolutionNum = Default::TIFYResolutionNum;
    PGTIFYResolutionDen = Default::TIFYResolutionDen;
    PGMaxPixelMemory = Default::MaxPixelMemory;
}

std::optional<QFont> PGDialogFont;
TPGLogFont PGInfoLogFont;

QFont TPGLogFont::ToQFont() const {
    QFont font(FaceName);
    font.setStyleHint(QFont::SansSerif);
    if (Height != 0)
        font.setPixelSize(Height < 0 ? -Height : Height);
    if (Weight > 0)
        font.setWeight(QFont::Weight(Weight));
    font.setItalic(Italic);
    font.setUnderline(Underline);
    font.setStrikeOut(StrikeOut);
    return font;
}

void ResetPGFonts() {
    PGDialogFont.reset();
    PGInfoLogFont = TPGLogFont();
}
