// The optimised colour table of a picture: a box cut of a 5-6-5 colour histogram for 24-bit sources and an
// octree over the colour table, weighted by use, for paletted ones.
#pragma once

class TPixelGraphic;

// Gives Dest a colour table of at most MaxColors entries (limited to 0 .. 256) that represents the colours
// of Source; with Reserve16 the last 16 of them are the system colours. Dest's pixels are not touched:
// mapping them to the new table is the caller's work (CopyFrom). Dest's OnProgress fires after each source
// row (Sender Dest, Step the row, Max the last row); Abort stops the counting and the table is made from the
// rows counted so far. Dest may be Source. Memory is per call, so threads may run it on pictures of their
// own at once.
void BuildOptimizedPalette(TPixelGraphic& Dest, TPixelGraphic& Source, int MaxColors, bool Reserve16);
