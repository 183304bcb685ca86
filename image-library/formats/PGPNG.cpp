// PNG reading and writing over libpng 1.6. Every stretch of codec calls goes through the codec boundary
// (CodecBoundary.h), with libpng's own jump buffer as the step's; its failures become
// EPGPNGFileFormatReaderWriter with "PNG: " here.
#include "image-library/formats/PGPNG.h"

#include "framework/MessageBox.h"
#include "framework/Rounding.h"
#include "framework/StreamIO.h"
#include "image-library/PGExceptions.h"
#include "image-library/PGLangStr.h"
#include "image-library/PGSettings.h"
#include "image-library/PGraphic.h"
#include "image-library/formats/CodecBoundary.h"
#include "image-library/formats/PGFormatIO.h"

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <vector>

namespace {

constexpr uint8_t Signature[8] = {137, 80, 78, 71, 13, 10, 26, 10};
constexpr png_uint_32 ChunkIDAT = 0x49444154;
// libpng reads image data in pieces of 8192 bytes. Deflate packs up to about 1030 bytes into one, so a
// picture whose rows inflate to less than 1024 pieces' worth takes smaller ones: what libpng still holds
// when the last row is in then inflates to no more than the rows did. Smaller pieces than 256 bytes would
// only add calls.
constexpr size_t LargestDataRead = 8192;
constexpr size_t SmallestDataRead = 256;
const char* const TooMuchDataText = "Too much image data";

[[noreturn]] void Raise(const QString& Text) {
    throw EPGPNGFileFormatReaderWriter(QStringLiteral("PNG: ") + Text);
}

// The transformations below and their order are those of libpng 1.6, over the zlib it was built with.
void CheckLibraryVersions() {
    const auto major = [](const char* version) { return version ? std::strtol(version, nullptr, 10) : -1L; };
    if (png_access_version_number() / 100 != 106 || major(zlibVersion()) != major(ZLIB_VERSION))
        Raise(QStringLiteral("Invalid library version"));
}

// What the callbacks reach through libpng's error and I/O pointers.
struct TPNGContext {
    QIODevice& Stream;
    TCodecFailure Failure; // why the last codec step failed, without the format's tag
    // Once the last row is in, libpng only looks for the end of the image data, inflating whatever comes: it
    // may read this many more bytes of them, so data that run on cost no more than the picture's own. Not
    // counted while nothing is set.
    std::optional<size_t> DataLeft;
    png_uint_32 Height = 0;
    bool TooMuchData = false; // the reading stopped there
};

// Whether libpng is past the last row: it counts the rows of a plain file up to the height, and the passes of
// an interlaced one up to seven.
bool PastTheLastRow(png_structp Png, png_uint_32 Height) {
    return png_get_current_pass_number(Png) >= 7 || png_get_current_row_number(Png) >= Height;
}

TPNGContext& ContextOf(png_structp Png) {
    return *static_cast<TPNGContext*>(png_get_error_ptr(Png));
}

// The codec's error callback, also the warning callback of pgwaRaise. Nothing with a destructor may be alive
// in this frame when it jumps.
void PNGError(png_structp Png, png_const_charp Message) {
    SetCodecFailure(ContextOf(Png).Failure, Message);
    png_longjmp(Png, 1);
}

void PNGWarningIgnore(png_structp, png_const_charp) {}

// Shows the codec's warning; false, with the reason stored, when the codec must stop. A box with a Cancel
// button stops on every answer but OK.
bool GoOnAfterWarning(png_structp Png, png_const_charp Message, TMsgDlgButtons Buttons) noexcept {
    TCodecFailure& failure = ContextOf(Png).Failure;
    return CatchInHook(failure, [&] {
        const TModalResult answer = MessageBox(QString::fromUtf8(Message),
                                               QStringLiteral("PNG ") + PGLangStr(28), mtWarning, Buttons);
        if (answer == mrOk || !(Buttons & mbCancel))
            return true;
        SetUserAbort(failure);
        return false;
    });
}

void PNGWarningOKBox(png_structp Png, png_const_charp Message) {
    if (!GoOnAfterWarning(Png, Message, mbOK))
        png_longjmp(Png, 1);
}

void PNGWarningOKCancelBox(png_structp Png, png_const_charp Message) {
    if (!GoOnAfterWarning(Png, Message, mbOK | mbCancel))
        png_longjmp(Png, 1);
}

png_error_ptr WarningCallback(TPGWarningAction Action) {
    switch (Action) {
    case pgwaIgnore:
        return PNGWarningIgnore;
    case pgwaOKBox:
        return PNGWarningOKBox;
    case pgwaOKCancelBox:
        return PNGWarningOKCancelBox;
    default:
        return PNGError;
    }
}

// The stream in place of a file: exactly the bytes asked for, or the codec's own error.
bool Transfer(png_structp Png, png_bytep Data, size_t Length, bool Writing) noexcept {
    try {
        QIODevice& stream = static_cast<TPNGContext*>(png_get_io_ptr(Png))->Stream;
        return Writing ? WriteExact(stream, Data, qint64(Length)) : ReadExact(stream, Data, qint64(Length));
    } catch (...) {
        return false;
    }
}

void ReadData(png_structp Png, png_bytep Data, size_t Length) {
    TPNGContext& context = *static_cast<TPNGContext*>(png_get_io_ptr(Png));
    if (context.DataLeft && png_get_io_chunk_type(Png) == ChunkIDAT &&
        (png_get_io_state(Png) & PNG_IO_MASK_LOC) == PNG_IO_CHUNK_DATA &&
        PastTheLastRow(Png, context.Height)) {
        if (Length > *context.DataLeft) {
            context.TooMuchData = true;
            png_error(Png, TooMuchDataText);
        }
        *context.DataLeft -= Length;
    }
    if (!Transfer(Png, Data, Length, false))
        png_error(Png, "Read Error");
}

void WriteData(png_structp Png, png_bytep Data, size_t Length) {
    if (!Transfer(Png, Data, Length, true))
        png_error(Png, "Write Error");
}

void FlushData(png_structp) {}

// One read or write record of the codec with its information record, destroyed on every path.
class TPNGCodec {
public:
    enum TDirection { Reading, Writing };

    TPNGCodec(TDirection Direction, QIODevice& Stream, png_error_ptr Warning)
        : Direction(Direction), Context{Stream, {}, {}, false} {
        Png = Direction == Writing
                  ? png_create_write_struct(PNG_LIBPNG_VER_STRING, &Context, PNGError, Warning)
                  : png_create_read_struct(PNG_LIBPNG_VER_STRING, &Context, PNGError, Warning);
        if (!Png)
            Raise(PGLangStr(31, Direction == Writing ? QStringLiteral("png_create_write_struct")
                                                     : QStringLiteral("png_create_read_struct")));
        Info = png_create_info_struct(Png);
        if (!Info) {
            Destroy();
            Raise(PGLangStr(31, QStringLiteral("png_create_info_struct")));
        }
    }
    ~TPNGCodec() { Destroy(); }
    TPNGCodec(const TPNGCodec&) = delete;
    TPNGCodec& operator=(const TPNGCodec&) = delete;

    // Runs a stretch of codec calls (nothing else: see CodecStep); a codec failure raises with its text.
    // png_longjmp, which every callback here leaves by, jumps to libpng's buffer: that is the step's.
    template <class F> void Run(F&& Calls) {
        if (!CodecStep(png_jmpbuf(Png), std::forward<F>(Calls)))
            RaiseFailure();
    }

    // From here on no more than DataLeft bytes of image data may follow the last row of a picture of Height
    // rows.
    void LimitDataAfterTheRows(size_t DataLeft, png_uint_32 Height) {
        Context.DataLeft = DataLeft;
        Context.Height = Height;
    }

    // Run for calls that may reach past the last row: data beyond the limit stop them there, and are the
    // codec's warning through the warning action instead of its failure. False when they stopped so.
    template <class F> bool RunUpToTheDataLimit(F&& Calls) {
        if (CodecStep(png_jmpbuf(Png), std::forward<F>(Calls)))
            return true;
        if (!Context.TooMuchData)
            RaiseFailure();
        Run([&] { png_chunk_warning(Png, TooMuchDataText); });
        return false;
    }

    const TDirection Direction;
    TPNGContext Context;
    png_structp Png = nullptr;
    png_infop Info = nullptr;

private:
    [[noreturn]] void RaiseFailure() {
        RaiseCodecFailure<EPGPNGFileFormatReaderWriter>(Context.Failure, QStringLiteral("PNG: "));
    }

    void Destroy() {
        if (Direction == Writing)
            png_destroy_write_struct(&Png, &Info);
        else
            png_destroy_read_struct(&Png, &Info, nullptr);
    }
};

struct TPNGHeader {
    png_uint_32 Width = 0; // libpng refuses sides beyond 2^31 - 1
    png_uint_32 Height = 0;
    int BitDepth = 0;
    int ColorType = 0;
    int Interlace = 0;
    int Channels = 0;
    png_uint_32 Valid = 0; // chunk flags, PNG_INFO_gAMA = 1 .. PNG_INFO_tIME = $200

    bool Gray() const { return !(ColorType & PNG_COLOR_MASK_COLOR); }
    int PixelDepth() const { return BitDepth * Channels; }
};

// Reads the signature and the chunks up to the image data.
TPNGHeader ReadHeader(TPNGCodec& Codec) {
    Codec.Run([&] {
        png_set_read_fn(Codec.Png, &Codec.Context, ReadData);
        // Chunks this library never uses are skipped unread, so a declared length costs no memory: libpng
        // would allocate (and zero) a text, palette suggestion or calibration chunk whole before finding the
        // file short. libpng 1.6 also turns sRGB into gAMA 0.45455 plus cHRM and warns about mismatches and
        // ICC profiles; this library knows neither chunk and reads such files by their gAMA alone. Chunks
        // unknown to libpng are skipped as well.
        static constexpr char Unused[] = "tEXt\0zTXt\0iTXt\0sPLT\0pCAL\0sCAL\0eXIf\0sRGB\0iCCP";
        png_set_keep_unknown_chunks(Codec.Png, PNG_HANDLE_CHUNK_NEVER, nullptr, 0);
        png_set_keep_unknown_chunks(Codec.Png, PNG_HANDLE_CHUNK_NEVER,
                                    reinterpret_cast<png_const_bytep>(Unused), int(sizeof Unused / 5));
        png_read_info(Codec.Png, Codec.Info);
    });
    TPNGHeader header;
    png_get_IHDR(Codec.Png, Codec.Info, &header.Width, &header.Height, &header.BitDepth, &header.ColorType,
                 &header.Interlace, nullptr, nullptr);
    header.Channels = png_get_channels(Codec.Png, Codec.Info);
    header.Valid = png_get_valid(Codec.Png, Codec.Info, ~png_uint_32(0));
    return header;
}

// The colour table, taken from the file before any transformation: composing over a background changes only
// libpng's own copy of a palette.
void TakeColorTable(TPNGCodec& Codec, const TPNGHeader& Header, TPixelGraphic& Picture) {
    if (Header.Channels >= 3)
        return;
    if (Header.Gray()) {
        Picture.SetPaletteIdent(Header.BitDepth == 1   ? pBlackWhite
                                : Header.BitDepth == 2 ? pGray4
                                : Header.BitDepth == 4 ? pGray16
                                                       : pGray256);
        return;
    }
    png_colorp palette = nullptr;
    int count = 0;
    png_get_PLTE(Codec.Png, Codec.Info, &palette, &count);
    Picture.SetColorCount(count);
    for (int i = 0; i < count; ++i)
        Picture.SetPaletteColor(i, RGB(palette[i].red, palette[i].green, palette[i].blue));
}

// The file's bKGD as the picture's colour, in 8-bit components.
TColor FileBackgroundColor(TPNGCodec& Codec, const TPNGHeader& Header, const png_color_16& Background) {
    if (Header.ColorType == PNG_COLOR_TYPE_PALETTE) {
        png_colorp palette = nullptr;
        int count = 0;
        png_get_PLTE(Codec.Png, Codec.Info, &palette, &count);
        if (Background.index >= count)
            return clBlack;
        const png_color& entry = palette[Background.index];
        return RGB(entry.red, entry.green, entry.blue);
    }
    const int maxSample = (1 << Header.BitDepth) - 1;
    const auto eightBit = [&](png_uint_16 v) {
        const int value = Header.BitDepth == 16 ? v >> 8 : Header.BitDepth == 8 ? v : v * 255 / maxSample;
        return uint8_t(std::min(value, 255));
    };
    if (Header.Gray())
        return RGB(eightBit(Background.gray), eightBit(Background.gray), eightBit(Background.gray));
    return RGB(eightBit(Background.red), eightBit(Background.green), eightBit(Background.blue));
}

// Lets libpng compose transparent pixels over a background, the file's or the picture's Color, and drop the
// alpha channel. Returns the file's background colour when that is the one composed over, for the picture to
// take once it has its format.
std::optional<TColor> ComposeOverBackground(TPNGCodec& Codec, const TPNGHeader& Header, TColor Color) {
    if (!(Header.Valid & PNG_INFO_tRNS) && !(Header.ColorType & PNG_COLOR_MASK_ALPHA))
        return std::nullopt;
    png_color_16p fileBackground = nullptr;
    if (PGPNGUseFileBackground && (Header.Valid & PNG_INFO_bKGD) &&
        png_get_bKGD(Codec.Png, Codec.Info, &fileBackground)) {
        // In the file's own sample scale (need_expand 1): libpng brings it to the scale of the rows.
        Codec.Run([&] { png_set_background(Codec.Png, fileBackground, PNG_BACKGROUND_GAMMA_FILE, 1, 1.0); });
        return FileBackgroundColor(Codec, Header, *fileBackground);
    }
    // In the scale of the rows delivered (need_expand 0): 8 bits, also for stripped 16-bit files, and
    // 0 .. 2^depth - 1 for packed grey, where a larger value would spill into the neighbouring pixels.
    png_color_16 background{};
    background.red = GetRValue(Color);
    background.green = GetGValue(Color);
    background.blue = GetBValue(Color);
    const int gray = (GetRValue(Color) + GetGValue(Color) + GetBValue(Color)) / 3;
    background.gray = png_uint_16(
        Header.Gray() && Header.BitDepth < 8 ? Round(gray * ((1 << Header.BitDepth) - 1) / 255.0L) : gray);
    Codec.Run([&] { png_set_background(Codec.Png, &background, PNG_BACKGROUND_GAMMA_SCREEN, 0, 1.0); });
    return std::nullopt;
}

uint8_t BitCountNumOf(const TPNGHeader& Header) {
    if (Header.Channels >= 3)
        return 3;
    return Header.BitDepth == 1 ? 0 : Header.BitDepth <= 4 ? 1 : 2;
}

// libpng delivers two-bit samples packed four to a byte, first pixel in the high bits, at the start of each
// four-bit row. Working from the right end reads every packed byte before an expanded nibble overwrites it.
void ExpandTwoBitRows(TPixelGraphic& Picture, int Rows) {
    const int width = Picture.GetWidth();
    for (int y = 0; y < Rows; ++y) {
        uint8_t* row = Picture.GetScanLine(y);
        for (int x = width - 1; x >= 0; --x) {
            const uint8_t value = (row[x / 4] >> (6 - 2 * (x % 4))) & 3;
            const int shift = x % 2 ? 0 : 4;
            row[x / 2] = uint8_t((row[x / 2] & ~(0xF << shift)) | (value << shift));
        }
    }
}

// PLTE for a paletted picture: its colour table, extended up to the largest index its pixels use with the
// colour such pixels have everywhere else, since libpng refuses to finish a file whose pixels point past the
// palette.
std::vector<png_color> PaletteOf(TPixelGraphic& Picture) {
    const int entries = 1 << Picture.GetBitCount();
    int count = std::min(Picture.GetColorCount(), entries);
    for (int y = 0; y < Picture.GetHeight() && count < entries; ++y)
        for (int x = 0; x < Picture.GetWidth(); ++x)
            count = std::max(count, int(Picture.GetPixelValue(x, y)) + 1);
    std::vector<png_color> palette(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        const TColor c = Picture.PixelValueColor(uint32_t(i));
        palette[size_t(i)] = {GetRValue(c), GetGValue(c), GetBValue(c)};
    }
    return palette;
}

} // namespace

TPNGFileFormatReader::TPNGFileFormatReader() {
    Extension = QStringLiteral("png");
    Description = QStringLiteral("Portable Network Graphics");
    HasSignature = true;
}

bool TPNGFileFormatReader::IsFormat(const TFileFormatHeader& Header) const {
    return std::equal(std::begin(Signature), std::end(Signature), Header.begin());
}

void TPNGFileFormatReader::Read(QIODevice& Stream, TPixelGraphic& Picture, int Index) const {
    if (Index != 0)
        Raise(PGLangStr(7, QStringLiteral("Index")));
    CheckLibraryVersions();
    Picture.SetFileGamma(PGDisplayGamma);
    TPNGCodec codec(TPNGCodec::Reading, Stream, WarningCallback(Picture.GetReadWarningAction()));
    const TPNGHeader header = ReadHeader(codec);

    // The background colour as the caller gave it, read while the table still belongs to its value.
    const TColor pictureBackground = Picture.GetBackGroundColor();
    TakeColorTable(codec, header, Picture);
    const std::optional<TColor> fileBackground = ComposeOverBackground(codec, header, pictureBackground);
    double gamma = 0;
    if (png_get_gAMA(codec.Png, codec.Info, &gamma))
        Picture.SetFileGamma(1.0L / gamma); // the file stores the encoding exponent, 0.45455 for gamma 2.2
    // The bytes the rows inflate to, each with its filter byte.
    const uint64_t rowData =
        (uint64_t(header.Width) * uint64_t(header.PixelDepth()) + 7) / 8 * header.Height + header.Height;
    const size_t dataRead = size_t(std::clamp<uint64_t>(rowData / 1024, SmallestDataRead, LargestDataRead));
    int passes = 1;
    codec.Run([&] {
        png_set_compression_buffer_size(codec.Png, dataRead);
        if (header.BitDepth == 16)
            png_set_strip_16(codec.Png);
        if (header.ColorType == PNG_COLOR_TYPE_RGB || header.ColorType == PNG_COLOR_TYPE_RGB_ALPHA)
            png_set_bgr(codec.Png);
        passes = png_set_interlace_handling(codec.Png);
        png_read_update_info(codec.Png, codec.Info);
    });

    Picture.SetFormat(int(header.Width), int(header.Height), BitCountNumOf(header));
    // Only now: before its format the picture is 24-bit and would keep a colour where an index belongs.
    if (fileBackground)
        Picture.SetBackGroundColor(*fileBackground);
    if (png_get_rowbytes(codec.Png, codec.Info) > size_t(Picture.GetRowBytes()))
        Raise(PGLangStr(30));

    // Each row is read straight into its storage row; an interlaced file passes over every row seven times,
    // each pass adding its pixels to those of the earlier ones.
    TObject* sender = const_cast<TPNGFileFormatReader*>(this);
    const int height = Picture.GetHeight();
    const bool twoBit = header.Channels < 3 && header.BitDepth == 2;
    codec.LimitDataAfterTheRows(dataRead, header.Height);
    bool aborted = false;
    bool cutShort = false; // the image data ran on past the last row
    WithProgressBracket(Picture, sender, [&](TProgressBracket& progress) {
        int rowsRead = 0;
        try {
            for (int pass = 0; pass < passes && !aborted && Picture.GetWidth() > 0; ++pass)
                for (int y = 0; y < height && !aborted; ++y) {
                    const png_bytep row = Picture.GetScanLine(y);
                    cutShort = !codec.RunUpToTheDataLimit([&] { png_read_row(codec.Png, row, nullptr); });
                    rowsRead = std::max(rowsRead, y + 1);
                    aborted = progress.Step(y + height * pass, height * passes);
                }
        } catch (...) {
            // Packed rows left behind would read as indices up to 15 into a four-entry table.
            if (twoBit)
                ExpandTwoBitRows(Picture, rowsRead);
            throw;
        }
        if (twoBit)
            ExpandTwoBitRows(Picture, rowsRead);
    });
    if (!aborted && !cutShort) // the chunks after the image data are only worth reading when these end
        codec.RunUpToTheDataLimit([&] { png_read_end(codec.Png, codec.Info); });
}

void TPNGFileFormatReader::GetInfo(QIODevice& Stream, int Index, TFileFormatInfo& Info) const {
    TFileFormatReader::GetInfo(Stream, Index, Info);
    if (Index != 0)
        Raise(PGLangStr(20, QStringLiteral("Index")));
    // Every warning is an error here: a description must not stop for a box.
    TPNGCodec codec(TPNGCodec::Reading, Stream, PNGError);
    const TPNGHeader header = ReadHeader(codec);

    Info.Subformat = header.ColorType & PNG_COLOR_MASK_PALETTE ? QStringLiteral("palette")
                     : header.ColorType & PNG_COLOR_MASK_COLOR ? QStringLiteral("RGB")
                                                               : QStringLiteral("GrayScale");
    if (header.ColorType & PNG_COLOR_MASK_ALPHA)
        Info.Subformat += QStringLiteral(", alpha");
    if (header.Interlace == PNG_INTERLACE_ADAM7)
        Info.Subformat += QStringLiteral(", interlaced");

    // Chunk names in the order of their flags, PNG_INFO_gAMA = 1 first.
    static constexpr const char* ChunkNames[] = {"gama", "sbit", "chrm", "plte", "trns",
                                                 "bkgd", "hist", "phys", "offs", "time"};
    QStringList chunks;
    for (size_t i = 0; i < std::size(ChunkNames); ++i)
        if (header.Valid & (1u << i))
            chunks << QLatin1String(ChunkNames[i]);
    if (!chunks.isEmpty())
        Info.Extra = QLatin1Char('(') + chunks.join(QStringLiteral(", ")) + QLatin1Char(')');

    Info.Width = int(header.Width);
    Info.Height = int(header.Height);
    Info.BitsPerPixel = header.PixelDepth();
    switch (Info.BitsPerPixel) {
    case 1:
        Info.Colors = QStringLiteral("2");
        break;
    case 2:
        Info.Colors = QStringLiteral("4");
        break;
    case 4:
        Info.Colors = QStringLiteral("16");
        break;
    case 8:
        Info.Colors = QStringLiteral("256");
        break;
    case 16:
        Info.Colors = QStringLiteral("64K?");
        break;
    case 24:
        Info.Colors = QStringLiteral("16.7M");
        break;
    case 32:
        Info.Colors = QStringLiteral("16.7M?");
        break;
    default:
        Info.Colors = QStringLiteral("?");
    }
}

TPNGFileFormatWriter::TPNGFileFormatWriter() {
    Extension = QStringLiteral("png");
    Description = QStringLiteral("Portable Network Graphics");
    CanWriteResolutions = 255;
}

void TPNGFileFormatWriter::Write(QIODevice& Stream, TPixelGraphic& Picture) const {
    CheckLibraryVersions();
    TPNGCodec codec(TPNGCodec::Writing, Stream, WarningCallback(Picture.GetReadWarningAction()));
    // Only an 8-bit picture with the grey table is stored as grey; every other table becomes a palette.
    const bool trueColor = Picture.GetBitCountNum() == 3;
    const int colorType = trueColor ? PNG_COLOR_TYPE_RGB
                          : Picture.GetBitCountNum() == 2 && Picture.GetPaletteIdent() == pGray256
                              ? PNG_COLOR_TYPE_GRAY
                              : PNG_COLOR_TYPE_PALETTE;
    const std::vector<png_color> palette =
        colorType == PNG_COLOR_TYPE_PALETTE ? PaletteOf(Picture) : std::vector<png_color>();
    const double gamma =
        float(1.0L / Picture.GetFileGamma()); // single precision, as the picture's 1.8 always was
    codec.Run([&] {
        png_set_write_fn(codec.Png, &codec.Context, WriteData, FlushData);
        png_set_IHDR(codec.Png, codec.Info, png_uint_32(Picture.GetWidth()), png_uint_32(Picture.GetHeight()),
                     trueColor ? 8 : Picture.GetBitCount(), colorType, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        if (!palette.empty())
            png_set_PLTE(codec.Png, codec.Info, palette.data(), int(palette.size()));
        if (PGPNGWriteGamma)
            png_set_gAMA(codec.Png, codec.Info, gamma);
        png_write_info(codec.Png, codec.Info);
        png_set_bgr(codec.Png);
    });

    // Writing always runs to the end: the file would be useless without its last rows.
    TObject* sender = const_cast<TPNGFileFormatWriter*>(this);
    const int height = Picture.GetHeight();
    WithProgressBracket(Picture, sender, [&](TProgressBracket& progress) {
        for (int y = 0; y < height; ++y) {
            const png_bytep row = Picture.GetScanLine(y);
            codec.Run([&] { png_write_row(codec.Png, row); });
            progress.Step(y, height - 1);
        }
    });
    codec.Run([&] { png_write_end(codec.Png, nullptr); });
}

void RegisterPNGFileFormats() {
    RegisterFileFormatReader(std::make_unique<TPNGFileFormatReader>());
    RegisterFileFormatWriter(std::make_unique<TPNGFileFormatWriter>());
}
