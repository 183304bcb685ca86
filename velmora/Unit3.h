// TForm3: the query window, which lists the records of the table that a query selects.
#pragma once

#include "binary-dataset/bindata.h"
#include "framework/DataSetTableModel.h"
#include "velmora/RecordFilter.h"
#include "velmora/RecordTable.h"

#include <QButtonGroup>
#include <QDialog>
#include <memory>

namespace Ui {
class TForm3;
}

class TForm3 : public QDialog {
    Q_OBJECT

public:
    // ProgramFolder ends with "/"; the table lives there. The dataset stays closed until the first query.
    explicit TForm3(const QString& ProgramFolder, QWidget* parent = nullptr);
    ~TForm3() override;

    TBinaryDataSet BinaryDataSet1;
    Ui::TForm3& Form() const { return *ui; }
    // The query the last "Выполнить" captured.
    const TRecordQuery& Query() const { return Filter.Query; }

    void FormCreate();
    void Button1Click();
    void RadioGroup1Click();
    void SpeedButtonClick(); // SpeedButton1, 2, 4 and 5: each enables its own edits
    void RxSpinEdit1Change();
    void RxSpinEdit3Change();

protected:
    void done(int result) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    TRecordQuery CaptureQuery() const;

    std::unique_ptr<Ui::TForm3> ui;
    QString ProgramFolder;
    QButtonGroup RadioGroup1;
    TRecordFilter Filter;
    TDataSetTableModel GridModel{BinaryDataSet1, RecordGridColumns(TGridKind::Query)};
};
