// The chart export window: the chart as a 24-bit BMP picture, as tab-separated points, or on paper.
#include "ExportUnit.h"

#include "ChartUnit.h"
#include "Main.h"
#include "framework/Controls.h"
#include "framework/ErrorBox.h"
#include "framework/FileStreams.h"
#include "framework/MessageBox.h"
#include "image-library/PGraphic.h"

#include <QBuffer>
#include <QFileInfo>
#include <QLineSeries>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QSaveFile>
#include <QValueAxis>

namespace {

// The chart view as it is on the screen, as a 24-bit picture: rows of blue, green, red.
std::unique_ptr<TPixelGraphic> ChartPicture(TFormChart& Chart) {
    const QImage image = Chart.Chart1->grab().toImage().convertToFormat(QImage::Format_RGB888);
    auto picture = std::make_unique<TPixelGraphic>();
    picture->SetFormat(image.width(), image.height(), 3);
    for (int y = 0; y < image.height(); ++y) {
        const uchar* from = image.constScanLine(y);
        uint8_t* to = picture->GetScanLine(y);
        for (int x = 0; x < image.width(); ++x) {
            to[3 * x] = from[3 * x + 2];
            to[3 * x + 1] = from[3 * x + 1];
            to[3 * x + 2] = from[3 * x];
        }
    }
    return picture;
}

// The points of Series1, one "x<Tab>y" line each, under the titles of the two axes.
QByteArray ChartText(const TFormChart& Chart) {
    QString text = Chart.BottomAxis->titleText() + '\t' + Chart.LeftAxis->titleText() + '\n';
    for (const QPointF& point : Chart.Series1->points())
        text += QString::number(point.x()) + '\t' + QString::number(point.y()) + '\n';
    return text.toUtf8();
}

} // namespace

TFormExport::TFormExport(TForm1& Main)
    : QWidget(&Main, FloatingWindow | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      MainForm(Main) {
    setupUi(this);
    resize(340, 142);
    // Centred on the screen, where it opens until the user moves it.
    CenterOnScreen(*this);
    connect(Button1, &QPushButton::clicked, this, [this] { CallGuarded([this] { Button1Click(); }); });
    connect(Button2, &QPushButton::clicked, this, [this] { CallGuarded([this] { Button2Click(); }); });
    connect(Button3, &QPushButton::clicked, this, [this] { Button3Click(); });
    Main.ExportWindow = this;
}

TFormExport::~TFormExport() = default;

TFormChart* TFormExport::Chart() const {
    return qobject_cast<TFormChart*>(MainForm.ChartWindow.data());
}

void TFormExport::Button1Click() {
    if (!Chart())
        return;
    if (!Printer)
        Printer = std::make_unique<QPrinter>();
    QPrintDialog PrinterSetupDialog1(Printer.get(), this);
    if (PrinterSetupDialog1.exec() == QDialog::Accepted && Chart())
        PrintChart(*Printer);
}

void TFormExport::PrintChart(QPrinter& Printer) {
    TFormChart* chart = Chart();
    if (!chart)
        return;
    QPainter painter;
    if (!painter.begin(&Printer))
        throw Exception("Не удалось начать печать");
    // The view's own proportions, as large as the page allows.
    const QSizeF view = chart->Chart1->size();
    const QSizeF page = Printer.pageLayout().paintRectPixels(Printer.resolution()).size();
    const QSizeF fitted = view.scaled(page, Qt::KeepAspectRatio);
    chart->Chart1->render(&painter, QRectF(QPointF(0, 0), fitted), chart->Chart1->viewport()->rect());
    painter.end();
}

void TFormExport::Button2Click() {
    if (!Chart())
        return;
    const bool picture = RadioButton1->isChecked();
    SaveDialog1.FileName = "Profile1";
    SaveDialog1.Filter = picture ? "BMP|*.bmp" : "TXT|*.txt";
    if (!SaveDialog1.Execute() || !Chart())
        return;
    QString name = SaveDialog1.FileName;
    if (QFileInfo(name).suffix().isEmpty())
        name += picture ? ".bmp" : ".txt";
    ExportToFile(name);
}

bool TFormExport::ExportToFile(const QString& FileName) {
    TFormChart* chart = Chart();
    if (!chart)
        return false;
    if (QFileInfo::exists(FileName) &&
        MessageBox("Файл " + QFileInfo(FileName).fileName() + " уже существует. Заменить его?", "Вопрос",
                   mtConfirmation, mbYes | mbNo) != mrYes)
        return false;
    QByteArray content;
    if (RadioButton1->isChecked()) {
        QBuffer buffer(&content);
        buffer.open(QIODevice::WriteOnly);
        ChartPicture(*chart)->SaveToStream(buffer);
    } else {
        content = ChartText(*chart);
    }
    QSaveFile file(FileName);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size() || !FlushAndCommit(file)) {
        ShowError("Не удалось записать файл " + FileName + ": " + file.errorString(), false);
        return false;
    }
    return true;
}

void TFormExport::Button3Click() {
    close();
}
