// The line-profile window: its chart, the six line buttons with their drawn glyphs, and vertical panning.
#include "ChartUnit.h"

#include "Main.h"
#include "PicForm.h"
#include "framework/Controls.h"
#include "framework/ErrorBox.h"

#include <QCloseEvent>
#include <QLineSeries>
#include <QMdiSubWindow>
#include <QMouseEvent>
#include <QPainter>
#include <QValueAxis>
#include <algorithm>
#include <cmath>

namespace {

// The glyph of a line button: the selection as a dotted frame and the button's line drawn over it, in
// Colour. Lines 1..6: top, bottom, rising diagonal, falling diagonal, left and right edge.
QPixmap LineGlyphImage(int Line, const QColor& Colour) {
    constexpr int side = 22;
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    const QRectF frame(4.5, 4.5, side - 9, side - 9);
    painter.setPen(QPen(Qt::gray, 1, Qt::DotLine));
    painter.drawRect(frame);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Colour, 2.5, Qt::SolidLine, Qt::RoundCap));
    const std::array<QLineF, 6> lines = {
        QLineF(frame.topLeft(), frame.topRight()),    QLineF(frame.bottomLeft(), frame.bottomRight()),
        QLineF(frame.bottomLeft(), frame.topRight()), QLineF(frame.topLeft(), frame.bottomRight()),
        QLineF(frame.topLeft(), frame.bottomLeft()),  QLineF(frame.topRight(), frame.bottomRight())};
    painter.drawLine(lines[size_t(Line - 1)]);
    return pixmap;
}

// The three looks a button shows: up, disabled, and down.
QIcon LineGlyph(int Line) {
    QIcon icon;
    icon.addPixmap(LineGlyphImage(Line, Qt::black), QIcon::Normal, QIcon::Off);
    icon.addPixmap(LineGlyphImage(Line, Qt::gray), QIcon::Disabled, QIcon::Off);
    icon.addPixmap(LineGlyphImage(Line, Qt::gray), QIcon::Disabled, QIcon::On);
    icon.addPixmap(LineGlyphImage(Line, Qt::red), QIcon::Normal, QIcon::On);
    return icon;
}

} // namespace

TFormChart::TFormChart(TForm1& Main) : QWidget(&Main, FloatingWindow), MainForm(Main) {
    setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    SpeedButtons = {SpeedButton1, SpeedButton2, SpeedButton3, SpeedButton4, SpeedButton5, SpeedButton6};
    for (size_t index = 0; index < SpeedButtons.size(); ++index) {
        QToolButton* button = SpeedButtons[index];
        button->setAutoRaise(true);
        button->setCheckable(true);
        button->setFixedSize(30, 30);
        button->setIconSize(QSize(22, 22));
        button->setIcon(LineGlyph(int(index) + 1));
        // Not a QButtonGroup: its exclusive mode cannot leave every button up.
        connect(button, &QToolButton::clicked, this,
                [this, button] { CallGuarded([this, button] { SpeedButton1Click(button); }); });
    }
    SpeedButton1->setChecked(true);
    connect(Button1, &QPushButton::clicked, this, [this] {
        if (MainForm.ExportWindow)
            MainForm.ExportWindow->show();
    });

    Chart = new QChart;
    Chart->setTitle("Линейный профиль");
    QFont titleFont = Chart->titleFont();
    titleFont.setBold(true);
    Chart->setTitleFont(titleFont);
    Chart->setTitleBrush(Qt::black);
    Chart->setBackgroundBrush(Qt::white);
    Chart->legend()->hide();
    BottomAxis = new QValueAxis;
    BottomAxis->setTitleText("X");
    BottomAxis->setLabelFormat("%d");
    LeftAxis = new QValueAxis;
    LeftAxis->setTitleText("Светимость");
    LeftAxis->setRange(-2, 256);
    LeftAxis->setLabelFormat("%d");
    SetBottomRange(0, 1);
    Chart->addAxis(BottomAxis, Qt::AlignBottom);
    Chart->addAxis(LeftAxis, Qt::AlignLeft);
    Series1 = new QLineSeries;
    Series1->setColor(Qt::red);
    Series2 = new QLineSeries;
    Series2->setColor(Qt::green);
    Series2->setVisible(false);
    for (QLineSeries* series : {Series1, Series2}) {
        Chart->addSeries(series);
        series->attachAxis(BottomAxis);
        series->attachAxis(LeftAxis);
    }
    Chart1->setChart(Chart); // the view owns the chart
    Chart1->setBackgroundBrush(Qt::white);
    Chart1->setRubberBand(QChartView::NoRubberBand);
    Chart1->viewport()->setCursor(Qt::CrossCursor);
    Chart1->viewport()->installEventFilter(this);
    resize(454, 304);
    // The picture the user draws profiles on stays in sight.
    const TPictForm* picture = Main.ActiveChild();
    PlaceInside(*this, *Main.MdiArea, picture ? ScreenRect(*picture->SubWindow()) : QRect());
    show();
}

int TFormChart::DownButton() const {
    for (size_t index = 0; index < SpeedButtons.size(); ++index)
        if (SpeedButtons[index]->isChecked())
            return int(index) + 1;
    return 0;
}

void TFormChart::SetTitle(const QString& Title) {
    Chart->setTitle(Title);
}

void TFormChart::ShowPoints(const QList<QPointF>& Points) {
    Series1->replace(Points);
    // The whole line on one page.
    if (!Points.isEmpty())
        SetBottomRange(Points.front().x(), Points.back().x());
}

void TFormChart::SetBottomRange(double From, double To) {
    BottomAxis->setRange(From, To);
    // Positions are whole pixels: labels come at whole steps of 1, 2 or 5 times a power of ten, about four
    // to a line, so that none repeats another or rounds a fraction away.
    const double rough = std::max(1.0, (To - From) / 4);
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    double step = 10 * power;
    for (const double factor : {1.0, 2.0, 5.0})
        if (factor * power >= rough) {
            step = factor * power;
            break;
        }
    BottomAxis->setTickType(QValueAxis::TicksDynamic);
    BottomAxis->setTickAnchor(0);
    BottomAxis->setTickInterval(step);
}

void TFormChart::ClearSeries() {
    Series1->clear();
    Series2->clear();
}

void TFormChart::SpeedButton1Click(QToolButton* Pressed) {
    if (Pressed->isChecked())
        for (QToolButton* button : SpeedButtons)
            if (button != Pressed)
                button->setChecked(false);
    MainForm.LineProfile();
    const int down = DownButton();
    BottomAxis->setTitleText(down >= 1 && down <= 4 ? "X" : "Y");
}

void TFormChart::closeEvent(QCloseEvent* Event) {
    FormClose();
    QWidget::closeEvent(Event);
}

void TFormChart::FormClose() {
    if (MainForm.ChartWindow == this)
        MainForm.ChartWindow = nullptr;
}

bool TFormChart::eventFilter(QObject* Watched, QEvent* Event) {
    // Dragging over the chart pans it up and down; it never zooms.
    if (Watched == Chart1->viewport()) {
        if (Event->type() == QEvent::MouseButtonPress) {
            PanY = static_cast<QMouseEvent*>(Event)->position().toPoint().y();
        } else if (Event->type() == QEvent::MouseMove &&
                   (static_cast<QMouseEvent*>(Event)->buttons() & Qt::LeftButton)) {
            const int y = static_cast<QMouseEvent*>(Event)->position().toPoint().y();
            Chart->scroll(0, y - PanY);
            PanY = y;
        }
    }
    return QWidget::eventFilter(Watched, Event);
}
