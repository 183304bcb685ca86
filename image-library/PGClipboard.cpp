// The clipboard adapter: packed DIBs of the picture's clipboard slots, carried by QClipboard.
#include "image-library/PGClipboard.h"

#include "image-library/PGExceptions.h"
#include "image-library/PGLangStr.h"
#include "image-library/PGraphic.h"

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QMimeData>
#include <memory>

namespace {

const QString BmpMimeType = QStringLiteral("image/bmp");
constexpr int FileHeaderSize = 14;

QClipboard* Clipboard() {
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) ? QGuiApplication::clipboard()
                                                                        : nullptr;
}

// A packed DIB as the pixels of any image Qt can hold: Qt writes it as a BMP file, less the file header.
QByteArray PackedDIB(const QImage& Image) {
    QByteArray file;
    QBuffer buffer(&file);
    buffer.open(QIODevice::WriteOnly);
    if (Image.isNull() || !QImageWriter(&buffer, "bmp").write(Image))
        return {};
    return file.mid(FileHeaderSize);
}

} // namespace

void CopyPictureToClipboard(TPixelGraphic& Picture) {
    QClipboard* clipboard = Clipboard();
    if (!clipboard)
        throw EPixelGraphic(PGLangStr(31, QStringLiteral("QGuiApplication::clipboard")));
    QByteArray file;
    QBuffer buffer(&file);
    buffer.open(QIODevice::WriteOnly);
    Picture.SaveToStream(buffer);
    auto mime = std::make_unique<QMimeData>();
    mime->setData(BmpMimeType, file);
    mime->setImageData(QImage::fromData(file, "BMP"));
    clipboard->setMimeData(mime.release()); // the clipboard owns it from here
}

void PastePictureFromClipboard(TPixelGraphic& Picture) {
    QByteArray dib;
    if (QClipboard* clipboard = Clipboard()) {
        const QMimeData* mime = clipboard->mimeData();
        if (mime && mime->hasFormat(BmpMimeType))
            dib = mime->data(BmpMimeType).mid(FileHeaderSize);
        else if (mime && mime->hasImage())
            dib = PackedDIB(qvariant_cast<QImage>(mime->imageData()));
    }
    Picture.LoadFromClipboardFormat(TPixelGraphic::CF_DIB, dib);
}
