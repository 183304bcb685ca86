// The image library's exceptions: one class per kind of failure, all below EPixelGraphic, each raised with a
// ready message from the message table.
#pragma once

#include "framework/Exception.h"

LAB_DECLARE_EXCEPTION(EPixelGraphic, Exception);
LAB_DECLARE_EXCEPTION(EPGXYIndexOutOfRange, EPixelGraphic);
LAB_DECLARE_EXCEPTION(EPGNoPalette, EPixelGraphic);
LAB_DECLARE_EXCEPTION(EPGInvalidPaletteIndex, EPixelGraphic);
LAB_DECLARE_EXCEPTION(EPGEmpty, EPixelGraphic);
LAB_DECLARE_EXCEPTION(EPGCanWriteResolutionsEmpty, EPixelGraphic);
LAB_DECLARE_EXCEPTION(EPGCannotWriteColorRes, EPixelGraphic);
LAB_DECLARE_EXCEPTION(EPGFileFormatWritersEmpty, EPixelGraphic);
LAB_DECLARE_EXCEPTION(EPGUnknownExtension, EPixelGraphic);
LAB_DECLARE_EXCEPTION(EPGUnknownFileFormat, EPixelGraphic);
LAB_DECLARE_EXCEPTION(EPGUnknownClipboardFormat, EPixelGraphic);
LAB_DECLARE_EXCEPTION(EPGBMPFileFormatReader, EPixelGraphic);
LAB_DECLARE_EXCEPTION(EPGJPGFileFormatReaderWriter, EPixelGraphic);
LAB_DECLARE_EXCEPTION(EPGPNGFileFormatReaderWriter, EPixelGraphic);
LAB_DECLARE_EXCEPTION(EPGPCXFileFormatReader, EPixelGraphic);
LAB_DECLARE_EXCEPTION(EPGPxMFileFormatReader, EPixelGraphic);
LAB_DECLARE_EXCEPTION(EPGPxMFileFormatWriter, EPixelGraphic);
LAB_DECLARE_EXCEPTION(EPGTGAFileFormatReader, EPixelGraphic);
LAB_DECLARE_EXCEPTION(EPGTGAFileFormatWriter, EPixelGraphic);
LAB_DECLARE_EXCEPTION(EPGTIFFileFormatReader, EPixelGraphic);
LAB_DECLARE_EXCEPTION(EPGTIFFileFormatWriter, EPixelGraphic);
LAB_DECLARE_EXCEPTION(EPGInvalidBitCountNum, EPixelGraphic);
LAB_DECLARE_EXCEPTION(EPGInvalidSize, EPixelGraphic);
LAB_DECLARE_EXCEPTION(EPGFilter, EPixelGraphic);

// Marks a reader's exception that the user's Cancel raised: loading passes it on as it is and offers the data
// to no other reader.
class TUserAbort {
public:
    virtual ~TUserAbort() = default;
};
template <class E> class TUserAborted : public E, public TUserAbort {
public:
    using E::E;
};
