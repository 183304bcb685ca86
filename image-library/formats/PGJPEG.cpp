// JPEG reading and writing: the glue between libjpeg-turbo and the picture. Every codec call goes through the
// codec boundary (CodecBoundary.h); its failures become EPGJPGFileFormatReaderWriter with "JPG: " here.
#include "image-library/formats/PGJPEG.h"

#include "framework/MessageBox.h"
#include "image-library/PGExceptions.h"
#include "image-library/PGLangStr.h"
#include "image-library/PGSettings.h"
#include "image-library/PGraphic.h"
#include "image-library/formats/CodecBoundary.h"
#include "image-library/formats/PGFormatIO.h"

#include <algorithm>
#include <climits>
#include <cstdio> // jpeglib.h expects FILE and size_t declared before it
#include <type_traits>

#include <jerror.h>
#include <jpeglib.h>

// The records below are declared by the libjpeg 6.2 interface, and rows pass to and from the codec in the
// picture's blue-green-red order, which only libjpeg-turbo's extended colour spaces offer.
#if JPEG_LIB_VERSION != 62 || !defined(JCS_EXTENSIONS)
#error "The JPEG glue needs libjpeg-turbo with the libjpeg 6.2 interface and its extended colour spaces"
#endif

namespace {

constexpr size_t StreamBufferSize = 4096;
// Far above the scans any encoder writes (a progressive file from cjpeg has ten), and low enough that a small
// file cannot buy minutes of work: each scan is a pass over the whole coefficient buffer.
constexpr int MaxScans = 1000;
// The work of the scans, in blocks of their components, may reach this many passes over all blocks of the
// image: a dozen scans of every component, as the heaviest encoders write, stay well inside. A small image's
// scans cost next to nothing, so they may always reach MinScanBlocks.
constexpr uint64_t MaxScanPasses = 20;
constexpr uint64_t MinScanBlocks = uint64_t(1) << 20;

[[noreturn]] void Raise(const QString& Text) {
    throw EPGJPGFileFormatReaderWriter(QStringLiteral("JPG: ") + Text);
}

// What the hooks of one call reach through the codec record's client_data.
struct TJPEGErrorManager {
    jpeg_error_mgr Codec;
    std::jmp_buf Jump; // the current step's
    TCodecFailure Failure;
};

TJPEGErrorManager& ErrorManagerOf(j_common_ptr Info) {
    return *static_cast<TJPEGErrorManager*>(Info->client_data);
}

[[noreturn]] void EndStep(j_common_ptr Info) {
    std::longjmp(ErrorManagerOf(Info).Jump, 1);
}

// The codec's text for its current message. The creation calls check the interface version and the record
// sizes themselves; their failure is the library's version check.
void StoreCodecMessage(j_common_ptr Info) noexcept {
    TCodecFailure& failure = ErrorManagerOf(Info).Failure;
    const int code = Info->err->msg_code;
    if (code == JERR_BAD_LIB_VERSION || code == JERR_BAD_STRUCT_SIZE) {
        SetCodecFailure(failure, "Invalid library version");
        return;
    }
    char text[JMSG_LENGTH_MAX];
    Info->err->format_message(Info, text);
    SetCodecFailure(failure, text);
}

[[noreturn]] void JPEGErrorExit(j_common_ptr Info) {
    StoreCodecMessage(Info);
    EndStep(Info);
}

// The warning hooks: the codec's own emit_message stays in front of them, so only the first warning of an
// image arrives here.
void JPEGWarningIgnore(j_common_ptr) {}

// Shows the codec's warning; false when the call is to end (Cancel, or a box that failed).
bool ShowWarningBox(j_common_ptr Info, TMsgDlgButtons Buttons) noexcept {
    TCodecFailure& failure = ErrorManagerOf(Info).Failure;
    return CatchInHook(failure, [&] {
        char text[JMSG_LENGTH_MAX];
        Info->err->format_message(Info, text);
        const TModalResult answer =
            MessageBox(QString::fromUtf8(text), QStringLiteral("JPG ") + PGLangStr(28), mtWarning, Buttons);
        if (Buttons == mbOK || answer == mrOk)
            return true;
        SetUserAbort(failure);
        return false;
    });
}

void JPEGWarningOKBox(j_common_ptr Info) {
    if (!ShowWarningBox(Info, mbOK))
        EndStep(Info);
}

void JPEGWarningOKCancelBox(j_common_ptr Info) {
    if (!ShowWarningBox(Info, mbOK | mbCancel))
        EndStep(Info);
}

[[noreturn]] void JPEGWarningRaise(j_common_ptr Info) {
    JPEGErrorExit(Info);
}

using TWarningHook = void (*)(j_common_ptr);

TWarningHook WarningHook(TPGWarningAction Action) {
    switch (Action) {
    case pgwaIgnore:
        return JPEGWarningIgnore;
    case pgwaOKBox:
        return JPEGWarningOKBox;
    case pgwaOKCancelBox:
        return JPEGWarningOKCancelBox;
    default:
        return JPEGWarningRaise;
    }
}

// One codec record of one call with its error manager. It cannot move (the codec keeps pointers into it), and
// its destructor releases whatever the codec holds, on every path out of the call.
template <class TInfo> class TCodecRecord {
public:
    explicit TCodecRecord(TWarningHook Warning) {
        jpeg_std_error(&Errors.Codec);
        Errors.Codec.error_exit = JPEGErrorExit;
        Errors.Codec.output_message = Warning;
        Info.err = &Errors.Codec;
        Info.client_data = &Errors; // kept by the creation call
    }
    ~TCodecRecord() { jpeg_destroy(reinterpret_cast<j_common_ptr>(&Info)); } // nothing to do before creation
    TCodecRecord(const TCodecRecord&) = delete;
    TCodecRecord& operator=(const TCodecRecord&) = delete;

    // Makes the codec call(s) of Call; a failure raises the format's exception with the hook's message.
    template <class TCall> void Step(TCall&& Call) {
        if (!CodecStep(Errors.Jump, std::forward<TCall>(Call)))
            RaiseCodecFailure<EPGJPGFileFormatReaderWriter>(Errors.Failure, QStringLiteral("JPG: "));
    }

    TInfo Info{};

private:
    TJPEGErrorManager Errors{};
};

// The source manager over a stream: the codec reads through a buffer of StreamBufferSize bytes.
struct TJPEGSource {
    jpeg_source_mgr Codec;
    QIODevice* Stream;
    bool StartOfFile;
    JOCTET Buffer[StreamBufferSize];
};
static_assert(std::is_standard_layout_v<TJPEGSource>, "the codec's pointer to Codec must lead back to it");

TJPEGSource& SourceOf(j_decompress_ptr Info) {
    return *reinterpret_cast<TJPEGSource*>(Info->src);
}

// The stream's read, with an exception from a device counted as a failed read.
qint64 ReadStream(QIODevice& Stream, JOCTET* Buffer, qint64 Size) noexcept {
    try {
        return Stream.read(reinterpret_cast<char*>(Buffer), Size);
    } catch (...) {
        return -1;
    }
}

void InitSource(j_decompress_ptr Info) {
    SourceOf(Info).StartOfFile = true;
}

boolean FillInputBuffer(j_decompress_ptr Info) {
    TJPEGSource& source = SourceOf(Info);
    qint64 count = ReadStream(*source.Stream, source.Buffer, qint64(StreamBufferSize));
    if (count < 0)
        ERREXIT(Info, JERR_FILE_READ);
    if (count == 0) {
        if (source.StartOfFile)
            ERREXIT(Info, JERR_INPUT_EMPTY);
        WARNMS(Info, JWRN_JPEG_EOF);
        // An inserted end-of-image marker lets the codec finish the image with what it has.
        source.Buffer[0] = 0xFF;
        source.Buffer[1] = JPEG_EOI;
        count = 2;
    }
    source.Codec.next_input_byte = source.Buffer;
    source.Codec.bytes_in_buffer = size_t(count);
    source.StartOfFile = false;
    return TRUE;
}

void SkipInputData(j_decompress_ptr Info, long Count) {
    if (Count <= 0)
        return;
    jpeg_source_mgr& codec = SourceOf(Info).Codec;
    while (size_t(Count) > codec.bytes_in_buffer) {
        Count -= long(codec.bytes_in_buffer);
        FillInputBuffer(Info);
    }
    codec.next_input_byte += Count;
    codec.bytes_in_buffer -= size_t(Count);
}

void TermSource(j_decompress_ptr) {}

// Reading starts at the stream's position.
void BindSource(jpeg_decompress_struct& Info, TJPEGSource& Source, QIODevice& Stream) {
    Source.Codec = {};
    Source.Codec.init_source = InitSource;
    Source.Codec.fill_input_buffer = FillInputBuffer;
    Source.Codec.skip_input_data = SkipInputData;
    Source.Codec.resync_to_restart = jpeg_resync_to_restart;
    Source.Codec.term_source = TermSource;
    Source.Stream = &Stream;
    Source.StartOfFile = true;
    Info.src = &Source.Codec;
}

// The destination manager over a stream: whole buffers of StreamBufferSize bytes, then the rest at the end.
struct TJPEGDestination {
    jpeg_destination_mgr Codec;
    QIODevice* Stream;
    JOCTET Buffer[StreamBufferSize];
};
static_assert(std::is_standard_layout_v<TJPEGDestination>,
              "the codec's pointer to Codec must lead back to it");

TJPEGDestination& DestinationOf(j_compress_ptr Info) {
    return *reinterpret_cast<TJPEGDestination*>(Info->dest);
}

// The stream's write of Size bytes; false when fewer were written or the device threw.
bool WriteStream(QIODevice& Stream, const JOCTET* Buffer, qint64 Size) noexcept {
    try {
        return Stream.write(reinterpret_cast<const char*>(Buffer), Size) == Size;
    } catch (...) {
        return false;
    }
}

void InitDestination(j_compress_ptr Info) {
    TJPEGDestination& destination = DestinationOf(Info);
    destination.Codec.next_output_byte = destination.Buffer;
    destination.Codec.free_in_buffer = StreamBufferSize;
}

boolean EmptyOutputBuffer(j_compress_ptr Info) {
    TJPEGDestination& destination = DestinationOf(Info);
    if (!WriteStream(*destination.Stream, destination.Buffer, qint64(StreamBufferSize)))
        ERREXIT(Info, JERR_FILE_WRITE);
    InitDestination(Info);
    return TRUE;
}

void TermDestination(j_compress_ptr Info) {
    TJPEGDestination& destination = DestinationOf(Info);
    const size_t count = StreamBufferSize - destination.Codec.free_in_buffer;
    if (count > 0 && !WriteStream(*destination.Stream, destination.Buffer, qint64(count)))
        ERREXIT(Info, JERR_FILE_WRITE);
}

void BindDestination(jpeg_compress_struct& Info, TJPEGDestination& Destination, QIODevice& Stream) {
    Destination.Codec = {};
    Destination.Codec.init_destination = InitDestination;
    Destination.Codec.empty_output_buffer = EmptyOutputBuffer;
    Destination.Codec.term_destination = TermDestination;
    Destination.Stream = &Stream;
    Info.dest = &Destination.Codec;
}

// The decompressor's progress monitor with what it counts. The codec absorbs every scan of a multi-scan file
// inside jpeg_start_decompress, before any row and any progress event: the scans' work is bounded here.
struct TScanLimit {
    jpeg_progress_mgr Codec;
    int Scan = 0;        // the last scan counted
    uint64_t Blocks = 0; // blocks of the components of the scans so far
    uint64_t Budget = 0; // blocks the scans may reach
};
static_assert(std::is_standard_layout_v<TScanLimit>, "the codec's pointer to Codec must lead back to it");

[[noreturn]] void RefuseScan(j_common_ptr Info, const char* Text) {
    SetCodecFailure(ErrorManagerOf(Info).Failure, Text);
    EndStep(Info);
}

// Called before each piece of input the codec absorbs; counts each scan once its header is read, before
// its data.
void LimitScans(j_common_ptr Info) {
    const j_decompress_ptr d = reinterpret_cast<j_decompress_ptr>(Info);
    TScanLimit& limit = *reinterpret_cast<TScanLimit*>(d->progress);
    const int scan = d->input_scan_number;
    char text[100];
    if (scan > MaxScans) {
        std::snprintf(text, sizeof text, "Scan number %d exceeds maximum scans (%d)", scan, MaxScans);
        RefuseScan(Info, text);
    }
    if (scan == limit.Scan)
        return;
    limit.Scan = scan;
    for (int i = 0; i < d->comps_in_scan; ++i)
        limit.Blocks +=
            uint64_t(d->cur_comp_info[i]->width_in_blocks) * d->cur_comp_info[i]->height_in_blocks;
    if (limit.Blocks > limit.Budget) {
        std::snprintf(text, sizeof text, "Scan number %d exceeds the work of %d passes over the image", scan,
                      int(MaxScanPasses));
        RefuseScan(Info, text);
    }
}

// Picture row Y, counted from the top, as the codec's row pointer.
JSAMPROW CodecRow(TPixelGraphic& Picture, JDIMENSION Y) {
    return Picture.GetScanLine(int(Y));
}

void ReadPicture(QIODevice& Stream, TPixelGraphic& Picture, TObject* Sender) {
    Picture.SetFileGamma(PGDisplayGamma); // no gamma correction on loading

    TJPEGSource source;
    TScanLimit scanLimit{};
    scanLimit.Codec.progress_monitor = LimitScans;
    TCodecRecord<jpeg_decompress_struct> codec(WarningHook(Picture.GetReadWarningAction()));
    jpeg_decompress_struct& info = codec.Info;
    codec.Step([&] { jpeg_create_decompress(&info); });
    BindSource(info, source, Stream);
    info.progress = &scanLimit.Codec;
    codec.Step([&] { jpeg_read_header(&info, TRUE); });
    uint64_t blocks = 0;
    for (int i = 0; i < info.num_components; ++i)
        blocks += uint64_t(info.comp_info[i].width_in_blocks) * info.comp_info[i].height_in_blocks;
    scanLimit.Budget = std::max(MaxScanPasses * blocks, MinScanBlocks);

    info.scale_num = 1;
    info.scale_denom = 1;
    info.dct_method = Picture.GetFastLoad() ? JDCT_IFAST : J_DCT_METHOD(PGJPEGReadDCTMethod);
    info.quantize_colors = FALSE;
    info.dither_mode = JDITHER_NONE;
    info.two_pass_quantize = FALSE;
    // Only the codec's RGB default becomes blue-green-red; grey, CMYK and unknown spaces are left as they
    // are.
    if (info.out_color_space == JCS_RGB)
        info.out_color_space = JCS_EXT_BGR;
    codec.Step([&] { jpeg_calc_output_dimensions(&info); });

    // The picture takes its memory, under its own limit, before the codec sets up any of its buffers.
    if (info.output_components != 1 && info.output_components != 3)
        Raise(PGLangStr(30));
    const bool gray = info.output_components == 1;
    if (gray)
        Picture.SetPaletteIdent(pGray256);
    Picture.SetFormat(int(info.output_width), int(info.output_height), gray ? 2 : 3);
    // The codec's whole-image arrays (progressive and multi-scan files) share the picture limit with the
    // picture; 0 would mean no limit to the codec.
    info.mem->max_memory_to_use =
        long(std::clamp<int64_t>(PGMaxPixelMemory - Picture.GetImageSize(), 1, LONG_MAX));
    codec.Step([&] { jpeg_start_decompress(&info); });

    bool abort = false;
    WithProgressBracket(Picture, Sender, [&](TProgressBracket& progress) {
        const int height = int(info.output_height);
        while (info.output_scanline < info.output_height && !abort) {
            JSAMPROW row = CodecRow(Picture, info.output_scanline);
            codec.Step([&] { jpeg_read_scanlines(&info, &row, 1); });
            abort = progress.Step(int(info.output_scanline), height);
        }
    });
    if (!abort)
        codec.Step([&] { jpeg_finish_decompress(&info); });
}

QString ColorSpaceText(J_COLOR_SPACE Space) {
    switch (Space) {
    case JCS_UNKNOWN:
        return QStringLiteral("unknown");
    case JCS_GRAYSCALE:
        return QStringLiteral("GrayScale");
    case JCS_RGB:
        return QStringLiteral("RGB");
    case JCS_YCbCr:
        return QStringLiteral("YCbCr");
    case JCS_CMYK:
        return QStringLiteral("CMYK");
    case JCS_YCCK:
        return QStringLiteral("YCbCrK");
    default:
        return {};
    }
}

QString ColorsText(int Components) {
    switch (Components) {
    case 1:
        return QStringLiteral("256");
    case 2:
        return QStringLiteral("64K");
    case 3:
        return QStringLiteral("16.7M");
    case 4:
        return QStringLiteral("4294.9M");
    default:
        return QStringLiteral("?");
    }
}

} // namespace

TJPGFileFormatReader::TJPGFileFormatReader() {
    Extension = QStringLiteral("jpg");
    Description = QStringLiteral("JPEG (JFIF compliant)");
    HasSignature = true;
}

TJPEGFileFormatReader::TJPEGFileFormatReader() {
    Extension = QStringLiteral("jpeg");
}
TJIFFileFormatReader::TJIFFileFormatReader() {
    Extension = QStringLiteral("jif");
}

bool TJPGFileFormatReader::IsFormat(const TFileFormatHeader& Header) const {
    return Header[0] == 0xFF && Header[1] == 0xD8;
}

void TJPGFileFormatReader::Read(QIODevice& Stream, TPixelGraphic& Picture, int Index) const {
    if (Index != 0)
        Raise(PGLangStr(7, QStringLiteral("Index")));
    try {
        ReadPicture(Stream, Picture, const_cast<TJPGFileFormatReader*>(this));
    } catch (...) {
        // A failed read leaves an empty picture, never a part of one that looks whole.
        Picture.SetFormat(0, 0, Picture.GetBitCountNum());
        throw;
    }
}

void TJPGFileFormatReader::GetInfo(QIODevice& Stream, int Index, TFileFormatInfo& Info) const {
    TFileFormatReader::GetInfo(Stream, Index, Info);
    if (Index != 0)
        Raise(PGLangStr(20, QStringLiteral("Index")));

    TJPEGSource source;
    TCodecRecord<jpeg_decompress_struct> codec(JPEGWarningRaise);
    jpeg_decompress_struct& info = codec.Info;
    codec.Step([&] { jpeg_create_decompress(&info); });
    BindSource(info, source, Stream);
    codec.Step([&] { jpeg_read_header(&info, TRUE); });

    Info.Width = int(info.image_width);
    Info.Height = int(info.image_height);
    Info.BitsPerPixel = 8 * info.num_components;
    Info.Colors = ColorsText(info.num_components);
    QString subformat = ColorSpaceText(info.jpeg_color_space);
    if (info.progressive_mode)
        subformat += QStringLiteral(", Progressive");
    if (info.saw_Adobe_marker)
        subformat.prepend(QStringLiteral("Adope, "));
    if (info.saw_JFIF_marker)
        subformat.prepend(QStringLiteral("JFIF, "));
    Info.Subformat = subformat;
}

TJPGFileFormatWriter::TJPGFileFormatWriter() {
    Extension = QStringLiteral("jpg");
    Description = QStringLiteral("JPEG (JFIF compliant)");
    CanWriteResolutions = 1 << cr256Grays | 1 << crTrueColor;
}

TJPEGFileFormatWriter::TJPEGFileFormatWriter() {
    Extension = QStringLiteral("jpeg");
    Enabled = false;
}

TJIFFileFormatWriter::TJIFFileFormatWriter() {
    Extension = QStringLiteral("jif");
    Enabled = false;
}

void TJPGFileFormatWriter::Write(QIODevice& Stream, TPixelGraphic& Picture) const {
    TObject* const sender = const_cast<TJPGFileFormatWriter*>(this);
    TJPEGDestination destination;
    TCodecRecord<jpeg_compress_struct> codec(WarningHook(Picture.GetReadWarningAction()));
    jpeg_compress_struct& info = codec.Info;
    codec.Step([&] { jpeg_create_compress(&info); });
    BindDestination(info, destination, Stream);
    info.image_width = JDIMENSION(Picture.GetWidth());
    info.image_height = JDIMENSION(Picture.GetHeight());

    Picture.DetectPaletteIdent();
    const bool gray = Picture.GetBitCountNum() == 2 && Picture.GetPaletteIdent() == pGray256;
    if (!gray && Picture.GetBitCountNum() != 3)
        Raise(PGLangStr(20, QStringLiteral("BitCount")));
    info.input_components = gray ? 1 : 3;
    info.in_color_space = gray ? JCS_GRAYSCALE : JCS_EXT_BGR;

    const bool progressive = PGJPEGProgressive;
    const int quality = PGJPEGQuality;
    codec.Step([&] {
        jpeg_set_defaults(&info);
        if (progressive)
            jpeg_simple_progression(&info);
        jpeg_set_quality(&info, quality, TRUE);
    });
    info.dct_method = J_DCT_METHOD(PGJPEGDCTMethod);
    codec.Step([&] { jpeg_start_compress(&info, TRUE); });

    WithProgressBracket(Picture, sender, [&](TProgressBracket& progress) {
        const int height = int(info.image_height);
        while (info.next_scanline < info.image_height) {
            JSAMPROW row = CodecRow(Picture, info.next_scanline);
            codec.Step([&] { jpeg_write_scanlines(&info, &row, 1); });
            progress.Step(int(info.next_scanline), height); // writing always runs to the end
        }
    });
    codec.Step([&] { jpeg_finish_compress(&info); });
}

void RegisterJPEGFileFormats() {
    RegisterFileFormatReader(std::make_unique<TJPGFileFormatReader>());
    RegisterFileFormatReader(std::make_unique<TJPEGFileFormatReader>());
    RegisterFileFormatReader(std::make_unique<TJIFFileFormatReader>());
    RegisterFileFormatWriter(std::make_unique<TJPGFileFormatWriter>());
    RegisterFileFormatWriter(std::make_unique<TJPEGFileFormatWriter>());
    RegisterFileFormatWriter(std::make_unique<TJIFFileFormatWriter>());
}
