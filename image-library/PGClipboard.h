// The system clipboard for pictures: a BMP file under "image/bmp" for this library, the image itself for
// other programs.
#pragma once

class TPixelGraphic;

// Puts the BMP file that SaveToStream writes; raises EPixelGraphic when there is no QGuiApplication.
void CopyPictureToClipboard(TPixelGraphic& Picture);
// Prefers "image/bmp"; otherwise takes any image the clipboard offers. Nothing usable raises
// EPGUnknownClipboardFormat.
void PastePictureFromClipboard(TPixelGraphic& Picture);
