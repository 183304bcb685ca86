// Drawing of the progress clock.
#include "image-library/widgets/PGProgressClock.h"

#include "framework/Rounding.h"
#include "framework/SystemColors.h"

#include <QPainter>
#include <cmath>
#include <numbers>

void DrawProgressClock(QPainter& Painter, QPoint At, int Stage, int Percent, TColor Face, TColor Line) {
    // Angle 0 points up and angles grow clockwise.
    const long double longAngle = Percent * std::numbers::pi_v<long double> * 0.02L;
    const long double shortAngle = ((Stage - 1) * 2 * std::numbers::pi_v<long double> + longAngle) / 12;
    const int x = At.x(), y = At.y();
    Painter.setRenderHint(QPainter::Antialiasing, false);
    Painter.setPen(QPen(ColorToQColor(Line), 1));
    Painter.setBrush(ColorToQColor(Face));
    // The outline covers the size's pixels: Qt's outlines include their right and bottom edges.
    Painter.drawEllipse(QRect(x, y, ProgressClockSize - 1, ProgressClockSize - 1));
    const QPoint centre(x + 7, y + 7);
    Painter.drawLine(centre, QPoint(x + 7 + int(Round(std::sin(shortAngle) * 6)),
                                    y + 7 - int(Round(std::cos(shortAngle) * 6))));
    Painter.drawLine(centre, QPoint(x + 7 + int(Round(std::sin(longAngle) * 7)),
                                    y + 7 - int(Round(std::cos(longAngle) * 7))));
}
