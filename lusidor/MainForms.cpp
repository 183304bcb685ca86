// The main window's commands that open the small windows (about, rotate, probe properties, line profile),
// and the line profile that fills the chart from the active picture's selection.
#include "ChartUnit.h"
#include "ImageM.h"
#include "Main.h"
#include "Measurement.h"
#include "PRotate.h"
#include "PicForm.h"
#include "Prop.h"
#include "framework/ErrorBox.h"

#include <QFileInfo>
#include <QLineSeries>
#include <QPointer>
#include <QScopeGuard>

void TForm1::BindFormCommands() {
    using THandler = void (TForm1::*)();
    const std::pair<QAction*, THandler> commands[] = {{N11, &TForm1::N11Click},
                                                      {N56, &TForm1::N56Click},
                                                      {N58, &TForm1::N58Click},
                                                      {N62, &TForm1::N62Click}};
    for (const auto& [item, handler] : commands)
        connect(item, &QAction::triggered, this,
                [this, handler = handler] { CallGuarded([this, handler] { (this->*handler)(); }); });
}

void TForm1::N62Click() {
    auto* about = new TForm3(this);
    about->MainForm = this;
    SplashWindow = about;
    about->repaint();
}

void TForm1::N58Click() {
    TPictForm* active = ActiveChild();
    if (!active)
        return;
    // The window's picture may report progress while it turns; the bar follows only for the dialog's
    // lifetime, whatever way it ends.
    active->ShowProgress = true;
    const QPointer<TPictForm> window = active;
    const auto progressOff = qScopeGuard([&window] {
        if (window)
            window->ShowProgress = false;
    });
    TRotateForm dialog(*active, this);
    dialog.exec();
    UpdateMenuItems();
}

void TForm1::N56Click() {
    auto* probe = dynamic_cast<TProbe*>(NodeData(ContextNode));
    if (!probe)
        return;
    TPropForm dialog(*probe, *this, this);
    dialog.exec();
}

void TForm1::N11Click() {
    if (!ChartWindow)
        ChartWindow = new TFormChart(*this);
}

QString TForm1::ChartTitle() const {
    TPictForm* active = ActiveChild();
    return active ? QFileInfo(active->PGImage1->GetFileName()).fileName() : QString();
}

void TForm1::LineProfile() {
    auto* chart = qobject_cast<TFormChart*>(ChartWindow.data());
    if (!chart)
        return;
    chart->Series1->clear();
    TPictForm* active = ActiveChild();
    if (!active || !active->PGImage1->GetSelection())
        return;
    const TRect selection = active->PGImage1->GetSelectionRect();
    chart->SetTitle(ChartTitle());
    const int line = chart->DownButton();
    const TPixelGraphic* picture = active->PGImage1->GetPixelGraphic();
    if (line == 0 || !picture)
        return;
    QList<QPointF> points;
    for (const TProfilePoint& point : ProfileLinePoints(*picture, selection, TProfileLine(line)))
        points.append(QPointF(point.X, point.Value));
    chart->ShowPoints(points);
}

void TForm1::ClearChart() {
    if (auto* chart = qobject_cast<TFormChart*>(ChartWindow.data()))
        chart->ClearSeries();
}
