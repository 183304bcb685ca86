// The main window's calls that the picture windows and the navigator model make and that are not written
// yet: each does nothing until its own file takes it over.
#include "Main.h"

void TForm1::NodeDestroyed(QTreeWidgetItem*) {}

void TForm1::StatusCoordinates(int, int, TColor) {}

void TForm1::AutoThreshold(int, int) {}

void TForm1::PGImage1PicBoxOnMouseDown(Qt::MouseButton, int, int) {}

void TForm1::SelectionHistogram(const TRect&) {}

void TForm1::SumRect(const TRect&) {}
