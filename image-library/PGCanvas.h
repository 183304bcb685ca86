// TPGCanvas: QPainter drawing onto a picture. Drawing goes to a 32-bit top-down shadow of the pixels, and the
// picture's pending flush writes the pixels that drawing changed back into its own memory.
#pragma once

#include "image-library/PGTypes.h"

#include <QImage>
#include <functional>
#include <mutex>
#include <vector>

class QPainter;
class TPixelGraphic;

class TPGCanvas : public TObject {
public:
    explicit TPGCanvas(TPixelGraphic* Picture) : Picture(Picture) {}
    ~TPGCanvas() override { FreeHandle(); }
    TPGCanvas(const TPGCanvas&) = delete;
    TPGCanvas& operator=(const TPGCanvas&) = delete;

    // Runs Paint with a painter on the picture, then fires OnChange once. The painter shows the pixels as
    // they are now; what it draws reaches them at the picture's next direct access. Paint must not draw on
    // this canvas again.
    void Draw(const std::function<void(QPainter&)>& Paint);

    // Makes the shadow of a picture that has pixels and joins PGCanvasList.
    void CreateHandle();
    // Writes the pixels that drawing changed into the picture: 24 bits as they are, the others through the
    // colour lookup. A paletted picture without a table cannot hold drawn colours and keeps its pixels.
    void Flush();
    // Writes back what is pending and lets the shadow go; the picture calls this before its pixels or its
    // colour table change.
    void FreeHandle();
    bool HandleAllocated() const { return !Shadow.isNull(); }
    TPixelGraphic* GetPicture() const { return Picture; }
    // The picture's pixel block, which identifies the picture among the canvases.
    const uint8_t* Section() const;

    TNotifyEvent OnChange;

private:
    void LoadShadow();

    TPixelGraphic* Picture;
    QImage Shadow;  // what drawing sees and changes, top row first
    QImage Written; // the shadow as the pixels last matched it: only pixels that differ are written back
    QPainter* ActivePainter = nullptr;
};

// Every canvas that holds a shadow, in the order the shadows were made. Pictures live on worker threads too,
// so the list is locked.
class TPGCanvasList {
public:
    void Add(TPGCanvas* Canvas);
    void Remove(TPGCanvas* Canvas);
    std::vector<TPGCanvas*> Items() const;

private:
    mutable std::mutex Lock;
    std::vector<TPGCanvas*> Canvases;
};

extern constinit TPGCanvasList PGCanvasList;

void FreeAllPGCanvases();
// Frees the shadows of the canvases whose picture has Section as its pixel block, newest first.
void FreePGCanvasesOf(const uint8_t* Section);
