// Helpers the format tests share: the outcome of a read or write in memory as one comparable value, and
// counting the progress events.
#pragma once

#include "image-library/PGExceptions.h"
#include "image-library/PGFileFormats.h"
#include "image-library/PGraphic.h"
#include "image-library/testing/Oracles.h"
#include "image-library/testing/TestPictures.h"

#include <QBuffer>
#include <cstdio>
#include <gtest/gtest.h>
#include <string>

// "<exception class> <message>" of what Read raised, or "" when it raised nothing; Position gets the
// stream's position afterwards.
inline std::string ReadError(const TFileFormatReader& Reader, const QByteArray& Bytes, TPixelGraphic& Picture,
                             qint64* Position = nullptr, int Index = 0) {
    QBuffer buffer;
    buffer.setData(Bytes);
    buffer.open(QIODevice::ReadOnly);
    std::string error;
    try {
        Reader.Read(buffer, Picture, Index);
    } catch (const EPixelGraphic& e) {
        error = std::string(e.className()) + " " + e.message().toStdString();
    }
    if (Position)
        *Position = buffer.pos();
    return error;
}

inline std::string InfoError(const TFileFormatReader& Reader, const QByteArray& Bytes, int Index = 0) {
    try {
        Info(Reader, Bytes, Index);
    } catch (const EPixelGraphic& e) {
        return std::string(e.className()) + " " + e.message().toStdString();
    }
    return {};
}

// The same for Write, which must not have written a byte before it refused.
inline std::string WriteError(const TFileFormatWriter& Writer, TPixelGraphic& Picture) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    try {
        Writer.Write(buffer, Picture);
    } catch (const EPixelGraphic& e) {
        EXPECT_EQ(buffer.size(), 0);
        return std::string(e.className()) + " " + e.message().toStdString();
    }
    return {};
}

// The picture's colours, row by row from the top, as "RRGGBB" words, so a failure shows where it differs.
inline std::vector<std::string> Colors(const TPixelGraphic& Picture) {
    std::vector<std::string> rows;
    for (int y = 0; y < Picture.GetHeight(); ++y) {
        std::string row;
        for (int x = 0; x < Picture.GetWidth(); ++x) {
            const TColor c = Picture.GetPixelColor(x, y);
            char word[8];
            std::snprintf(word, sizeof word, "%02X%02X%02X ", GetRValue(c), GetGValue(c), GetBValue(c));
            row += word;
        }
        rows.push_back(row);
    }
    return rows;
}

// Start, steps and end of the progress events, with an abort after AbortAfter steps (never when < 0).
struct TProgressLog {
    int Starts = 0;
    int Steps = 0;
    int Ends = 0;
    TObject* Sender = nullptr;

    void Attach(TPixelGraphic& Picture, int AbortAfter = -1) {
        Picture.SetOnProgressStart([this](TObject* s) {
            ++Starts;
            Sender = s;
        });
        Picture.SetOnProgress(
            [this, AbortAfter](TObject*, int, int, bool& abort) { abort = ++Steps == AbortAfter; });
        Picture.SetOnProgressEnd([this](TObject*) { ++Ends; });
    }
};

// A picture with the colours of an oracle's netpbm picture, as the tools decode files.
inline std::vector<std::string> Colors(const TPnm& Pnm) {
    TPixelGraphic p;
    PictureFromPnm(Pnm, p);
    return Colors(p);
}
