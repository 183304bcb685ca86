// The progress clock that the viewer and the open dialog's preview show while a picture is being prepared.
#pragma once

#include "framework/Colors.h"

#include <QPoint>

class QPainter;

constexpr int ProgressClockSize = 15;

// One clock with its top left corner at At: a face of ProgressClockSize pixels outlined in Line, a long hand
// at Percent of a turn and a short hand a twelfth of a turn per Stage.
void DrawProgressClock(QPainter& Painter, QPoint At, int Stage, int Percent, TColor Face, TColor Line);
