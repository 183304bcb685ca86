// TFormExport: the chart export window. It writes the open line-profile chart as a BMP picture or as a text
// file of its points, or prints it.
#pragma once

#include "framework/FileDialogs.h"
#include "ui_ExportUnit.h"

#include <QWidget>
#include <memory>

class QPrinter;
class TForm1;
class TFormChart;

class TFormExport : public QWidget, public Ui::TFormExport {
    Q_OBJECT
public:
    // Created hidden at start-up; the main window remembers it for the chart's "Экспорт".
    explicit TFormExport(TForm1& MainForm);
    ~TFormExport() override;

    // "На принтер" and "В файл": nothing while no chart window is open.
    void Button1Click();
    void Button2Click();
    void Button3Click();

    // The chart fitted to the printer's page, on one page.
    void PrintChart(QPrinter& Printer);
    // The chosen format written to FileName. An existing file is replaced only when the user agrees, and
    // only after the whole new content was written; false when nothing was written.
    bool ExportToFile(const QString& FileName);

    TSaveDialog SaveDialog1;
    std::unique_ptr<QPrinter> Printer; // what the print dialog PrinterSetupDialog1 sets up, kept between uses

private:
    TFormChart* Chart() const;

    TForm1& MainForm;
};
