// TFormChart: the line-profile window, a chart of the grey values along one of six lines of the active
// picture window's selection, chosen by the line buttons.
#pragma once

#include "ui_ChartUnit.h"

#include <QPointer>
#include <QWidget>
#include <array>

class QLineSeries;
class QToolButton;
class QValueAxis;
class TForm1;

class TFormChart : public QWidget, public Ui::TFormChart {
    Q_OBJECT
public:
    // Created visible, above the main window, which remembers it while it is open.
    explicit TFormChart(TForm1& MainForm);

    // The line button that is down, 1..6, or 0 when all are up.
    int DownButton() const;
    // The title line, and the points of Series1 with the bottom axis spanning them all.
    void SetTitle(const QString& Title);
    void ShowPoints(const QList<QPointF>& Points);
    void ClearSeries();

    // Buttons 1 to 4 follow a horizontal or diagonal line, whose points go along x; 5 and 6 along y.
    void SpeedButton1Click(QToolButton* Pressed);

    QChart* Chart = nullptr;
    QLineSeries* Series1 = nullptr;
    QLineSeries* Series2 = nullptr;
    QValueAxis* BottomAxis = nullptr;
    QValueAxis* LeftAxis = nullptr;
    std::array<QToolButton*, 6> SpeedButtons{};

protected:
    void closeEvent(QCloseEvent* Event) override;
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    void FormClose();
    // The bottom axis from From to To, labelled at whole numbers.
    void SetBottomRange(double From, double To);

    TForm1& MainForm;
    int PanY = 0; // the last pointer row of a vertical drag over the chart
};
