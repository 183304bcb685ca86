// The one ordered table of the library's formats. Registration is explicit: a static library drops object
// files nobody references, and static constructors run in no fixed order.
#include "image-library/formats/Formats.h"

#include "image-library/formats/PGBMP.h"
#include "image-library/formats/PGJPEG.h"
#include "image-library/formats/PGPNG.h"
#include "image-library/formats/PGPCX.h"
#include "image-library/formats/PGPNM.h"
#include "image-library/formats/PGTGA.h"
#include "image-library/formats/PGTIFF.h"

namespace {

using TRegisterFunction = void (*)();

// One line per format, in the order of the format registry's documentation.
constexpr TRegisterFunction FormatTable[] = {
    RegisterBMPFileFormats,
    RegisterJPEGFileFormats,
    RegisterPNGFileFormats,
    RegisterPCXFileFormats,
    RegisterPxMFileFormats,
    RegisterTGAFileFormats,
    RegisterTIFFFileFormats,
};

} // namespace

void RegisterAllFileFormats() {
    for (TRegisterFunction registerFormat : FormatTable)
        registerFormat();
}
