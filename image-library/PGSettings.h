// Process-wide settings of the image library, each constant-initialised to its default; library start-up
// sets them to the same defaults again. They are plain variables without locks: programs change them only on
// the GUI thread while no worker runs, and the workers (display copies, previews) only read them.
#pragma once

#include <QFont>
#include <QString>
#include <cstdint>
#include <optional>

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

// Sets every setting above to its default, in the order start-up has always used.
void ResetPGSettings();

// A font as the library describes it in its settings: the fields of a platform logical font. Only what a
// QFont can express reaches the screen; escapement, orientation and the precisions are kept for programs
// that read them back.
struct TPGLogFont {
    int32_t Height = 8; // in pixels
    int32_t Width = 0;
    int32_t Escapement = 0;
    int32_t Orientation = 0;
    int32_t Weight = 400; // 100..900 as Qt counts them; 0 leaves the face's own
    bool Italic = false;
    bool Underline = false;
    bool StrikeOut = false;
    uint8_t CharSet = 1; // the platform's default character set
    uint8_t OutPrecision = 0;
    uint8_t ClipPrecision = 0;
    uint8_t Quality = 0;
    uint8_t PitchAndFamily = 0;
    QString FaceName = QStringLiteral("MS Sans Serif");

    // The face may not exist here, so the font falls back to any sans-serif face.
    QFont ToQFont() const;
};

// The font of the filter dialogs when set; empty, they use their own.
extern std::optional<QFont> PGDialogFont;
// The font in which the open and save dialogs write a picture's information.
extern TPGLogFont PGInfoLogFont;
// Empties PGDialogFont and puts PGInfoLogFont back to its default.
void ResetPGFonts();
