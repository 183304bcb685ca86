// Start-up and shutdown of the image library, in the order the library has always used. Everything here
// runs on the GUI thread before and after all other work.
#include "image-library/PGraphicInit.h"

#include "image-library/PGCanvas.h"
#include "image-library/PGCursors.h"
#include "image-library/PGFileFormats.h"
#include "image-library/PGLangStr.h"
#include "image-library/PGSettings.h"
#include "image-library/formats/Formats.h"
#include "image-library/formats/PGBMP.h"

namespace {

// 0 while stopped, -n after n nested starts; never above 0.
int Nesting = 0;

} // namespace

void PGraphicInit() {
    if (Nesting-- != 0)
        return;
    try {
        PGraphicInitialization();
    } catch (...) {
        Nesting = 0;
        throw;
    }
}

void PGraphicDone() {
    if (Nesting == 0)
        return;
    if (++Nesting == 0)
        PGraphicFinalization();
}

void PGraphicInitialization() {
    CheckPGLangStrEntries();
    try {
        PGLanguage = 0;
        ResetPGFonts();
        // The cursors are made on first use: a QCursor needs the application, which plain programs and
        // tests of the library do not have. The clamp table is built by the compiler and the canvas list is
        // constant-initialised, so neither has a step left here.
        ResetPGSettings();
        BMPStreamWriter = std::make_unique<TBMPFileFormatWriter>();
        RegisterAllFileFormats();
        // The codecs check their own record sizes (the JPEG decompressor takes the struct size, PNG the
        // version string), so the library does not compare them.
    } catch (...) {
        PGraphicFinalization();
        throw;
    }
}

void PGraphicFinalization() {
    ReleasePGCursors();
    FreeAllPGCanvases();
    BMPStreamWriter.reset();
    ClearFileFormatRegistries();
    ReleasePGUserTexts();
}
