// TForm1: the main window of the records viewer, its grid over the records table and its commands.
#pragma once

#include "binary-dataset/bindata.h"
#include "framework/DataSetTableModel.h"
#include "velmora/RecordTable.h"

#include <QMainWindow>
#include <QMenu>
#include <memory>

class TForm3;
class TForm4;
namespace Ui {
class TForm1;
}

class TForm1 : public QMainWindow {
    Q_OBJECT

public:
    // ProgramFolder ends with "/"; the table and the picture folder live there. A table that cannot be
    // created or opened is reported with the program's end (StartupFailed()).
    explicit TForm1(const QString& ProgramFolder, QWidget* parent = nullptr);
    ~TForm1() override;

    // The picture window, which the start-up creates after this window.
    TForm4* Form4 = nullptr;
    // The query window of the running query, if any.
    TForm3* Form3 = nullptr;

    TBinaryDataSet BinaryDataSet1;
    Ui::TForm1& Form() const { return *ui; }

    void FormCreate();
    void DataSource1DataChange();
    void RxDBGrid1DblClick();
    void N7Click();
    void N8Click();
    void N9Click();
    void N10Click();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // Shows the current record's picture in the picture window; false when its picture field is blank or
    // there is no record.
    bool ShowRecordPicture();

    std::unique_ptr<Ui::TForm1> ui;
    QString ProgramFolder;
    TDataSource DataSource1{BinaryDataSet1};
    TDataSetTableModel GridModel{BinaryDataSet1, RecordGridColumns(TGridKind::Main)};
    QMenu PopupMenu1;
};
