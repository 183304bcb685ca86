// The tests' oracle for clipped captions: every label, button and group title of a window measured in its
// own font against the room its widget and the widget's containers give the text.
#pragma once

#include <string>
#include <vector>

class QWidget;

// One line per caption under Root (Root included) that does not fit: the control, its text, the size the
// text needs (QFontMetrics) and the room it has. Controls hidden within Root are not measured.
std::vector<std::string> ClippedCaptions(const QWidget& Root);

// Shows Window, lets it lay itself out and adds a test failure, naming Name, for every clipped caption.
void ExpectCaptionsFit(QWidget& Window, const std::string& Name);
