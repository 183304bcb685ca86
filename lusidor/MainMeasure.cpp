// The main window's measurements on the active picture window: the status panels under the cursor, the
// automatic threshold, a region from a click, a rectangle from a drag, and a probe's row of properties.
#include "EntrP.h"
#include "Main.h"
#include "Measurement.h"
#include "PicForm.h"
#include "framework/MessageBox.h"
#include "image-library/PGraphic.h"

#include <array>

namespace {

TForm2* EntryFormOf(const TForm1& Main) {
    return qobject_cast<TForm2*>(Main.EntryForm.data());
}

void ShowMeasuredValue(const TForm1& Main) {
    if (TForm2* entry = EntryFormOf(Main))
        entry->ValueEdit->setText(QString::number(Main.Measurement.MeasuredValue));
}

// The picture of the active picture window, or null when there is none.
TPixelGraphic* ActivePicture(const TForm1& Main) {
    TPictForm* form = Main.ActiveChild();
    TPixelGraphic* picture = form ? form->PGImage1->GetPixelGraphic() : nullptr;
    return picture && !picture->GetEmpty() ? picture : nullptr;
}

// The first probe of Pict, infections and probes in list order, whose rectangle holds (X, Y) strictly inside.
TProbe* ProbeAt(const TPict& Pict, int X, int Y) {
    for (const auto& infection : Pict.Infections)
        for (const auto& probe : infection->Probes) {
            const TRect& r = probe->Rect;
            if (r.Left < X && X < r.Right && r.Top < Y && Y < r.Bottom)
                return probe.get();
        }
    return nullptr;
}

} // namespace

void TForm1::StatusCoordinates(int X, int Y, TColor Color) {
    Panel4->setText(QString("X=%1").arg(X));
    Panel5->setText(QString("Y=%1").arg(Y));
    Panel6->setText(QString("С=%1").arg(Color & 0xFF)); // a Cyrillic С
}

void TForm1::AutoThreshold(int X, int Y) {
    TPictForm* form = ActiveChild();
    const TPixelGraphic* picture = ActivePicture(*this);
    if (!picture)
        return;
    const TPoint at = PictureCoordinates(*form->PGImage1, X, Y);
    Measurement.Threshold = ::AutoThreshold(*picture, at.X, at.Y);
    // Shown without being taken back: a 0 shows as the box's 1 while the region grows with 0.
    if (TForm2* entry = EntryFormOf(*this))
        entry->ShowThreshold(Measurement.Threshold);
}

void TForm1::PGImage1PicBoxOnMouseDown(Qt::MouseButton Button, int X, int Y) {
    if (Mode != SpecialMode || Button != Qt::LeftButton)
        return;
    TPictForm* form = ActiveChild();
    if (!form)
        return;
    if (form->Pict)
        if (TProbe* probe = ProbeAt(*form->Pict, X, Y)) {
            TreeView1->setCurrentItem(probe->Node);
            return;
        }
    TPGImage& image = *form->PGImage1;
    const TPixelGraphic* shown = ActivePicture(*this);
    // Rounding can put a press one past the last column or row: outside the picture nothing is measured.
    if (!shown || X < 0 || Y < 0 || X >= shown->GetWidth() || Y >= shown->GetHeight())
        return;
    const TMaskCommit mask(MaskReservation.get(), shown->GetWidth(), shown->GetHeight());
    if (!mask.Data()) {
        MessageBox("Изображение слишком велико для измерения области.", "Предупреждение", mtWarning);
        return;
    }
    form->PreparePicture();
    TPixelGraphic& picture = *image.GetPixelGraphic();
    const TRegionSum region = GrowAndSum(picture, mask.Data(), X, Y, Measurement.Threshold);
    Measurement.MeasuredValue = region.Sum;
    Measurement.RegionRect = RegionRectOf(region.Box);
    image.SetSelectionRect(Measurement.RegionRect);
    image.SetSelection(true);
    SelectionHistogram(Measurement.RegionRect); // before the boundary turns white
    PaintBoundary(*image.GetPixelGraphic(), mask.Data());
    ShowMeasuredValue(*this);
    form->Measured = true;
    form->SaveScroll();
    image.GetPixelGraphic()->Changed();
    form->RestoreScroll();
}

void TForm1::SelectionHistogram(const TRect& R) {
    if (const TPixelGraphic* picture = ActivePicture(*this))
        Panel7->setText(QString::number(::SelectionHistogram(*picture, R)));
}

void TForm1::SumRect(const TRect& R) {
    const TPixelGraphic* picture = ActivePicture(*this);
    if (!picture)
        return;
    Measurement.MeasuredValue = ::SumRect(*picture, R);
    ShowMeasuredValue(*this);
}

void TForm1::ShowProbeProperties(const QTreeWidgetItem* Node) {
    if (!Node)
        return;
    std::array<QString, 6>
        values; // the rows "Пациент", "Светимость", "Поставщик", "Прим.", "Значение", "Реакция"
    if (const auto* probe = dynamic_cast<const TProbe*>(NodeData(Node)))
        values = {probe->Patient, QString::number(probe->Luminosity), probe->Supplier,
                  probe->Note,    QString::number(probe->Value),      probe->Reaction};
    ListView1->setUpdatesEnabled(false);
    for (int row = 0; row < int(values.size()); ++row)
        ListView1->topLevelItem(row)->setText(1, values[size_t(row)]);
    ListView1->setUpdatesEnabled(true);
}
