// The main window's calls that the picture windows and the navigator model make and that are not written
// yet: each does nothing until its own file takes it over.
#include "Main.h"

void TForm1::NodeDestroyed(QTreeWidgetItem*) {}
