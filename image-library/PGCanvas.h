// TPGCanvas: drawing onto a picture.
#pragma once

class TPixelGraphic;

class TPGCanvas {
public:
    explicit TPGCanvas(TPixelGraphic* Picture) : Picture(Picture) {}
    ~TPGCanvas() { FreeHandle(); }
    TPGCanvas(const TPGCanvas&) = delete;
    TPGCanvas& operator=(const TPGCanvas&) = delete;

    // Writes what was drawn back into the picture's pixels.
    void Flush() {}
    // Lets go of the drawing surface; the picture calls this before its pixels or colour table change.
    void FreeHandle() {}

private:
    TPixelGraphic* Picture;
};
