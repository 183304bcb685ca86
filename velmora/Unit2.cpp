// The main window: creating and opening the records table, the grid, the picture of the current record,
// and the menu commands.
#include "velmora/Unit2.h"

#include "framework/Controls.h"
#include "framework/ErrorBox.h"
#include "framework/MessageBox.h"
#include "image-library/widgets/PGImage.h"
#include "ui_Unit2.h"
#include "velmora/PicView.h"
#include "velmora/Unit3.h"

#include <QApplication>
#include <QCloseEvent>
#include <QIcon>
#include <QStyle>

// Resources of a static library are registered only on request; this must stand outside any namespace.
static void RegisterIconResource() {
    Q_INIT_RESOURCE(velmora_icon);
}

TForm1::TForm1(const QString& ProgramFolder, QWidget* parent)
    : QMainWindow(parent), ui(std::make_unique<Ui::TForm1>()), ProgramFolder(ProgramFolder) {
    ui->setupUi(this);
    // Every window of the program shows its icon, its dialogs and message boxes included.
    RegisterIconResource();
    QApplication::setWindowIcon(QIcon(":/icons/Velmora.png"));
    setWindowState(Qt::WindowMaximized);
    PopupMenu1.addAction(ui->N6);
    PopupMenu1.addSeparator();
    PopupMenu1.addAction(ui->N7);
    TRecordGrid& grid = *ui->RxDBGrid1;
    grid.SetDataModel(&GridModel);
    grid.SetConfirmDelete(true);
    grid.SetPopupMenu(&PopupMenu1);
    DataSource1.OnDataChange = [this] { DataSource1DataChange(); };
    connect(&grid, &QAbstractItemView::doubleClicked, this, [this] { RxDBGrid1DblClick(); });
    connect(ui->N10, &QAction::triggered, this, [this] { N10Click(); });
    connect(ui->N2, &QAction::triggered, this, &QWidget::close);
    connect(ui->N8, &QAction::triggered, this, [this] { N8Click(); });
    connect(ui->N9, &QAction::triggered, this, [this] { N9Click(); });
    connect(ui->N7, &QAction::triggered, this, [this] { N7Click(); });
    FormCreate();
}

TForm1::~TForm1() {
    ReleaseForm(*this);
}

void TForm1::FormCreate() {
    const QString table = ProgramFolder + TableFileName;
    BinaryDataSet1.SetTableName(table);
    try {
        CreateRecordTableWhenMissing(table);
        BinaryDataSet1.Open();
    } catch (...) {
        ShowError(QStringLiteral("Ошибка открытия файла Базы Данных"), true);
    }
}

void TForm1::closeEvent(QCloseEvent* event) {
    BinaryDataSet1.Close();
    event->accept();
}

bool TForm1::ShowRecordPicture() {
    TPGImage& viewer = *Form4->PGImage1();
    bool unsafe = false;
    const QString stored = BinaryDataSet1.Active() && !BinaryDataSet1.IsEmpty()
                               ? BinaryDataSet1.Fields(0).AsString()
                               : QString();
    const QString path = RecordPicturePath(ProgramFolder, stored, unsafe);
    if (!path.isEmpty() && path == viewer.GetFileName())
        return true;
    // A failed load leaves the viewer empty with no file name, as does a blank or unsafe name, so that no
    // other record's picture stays on show and a picture shown before loads again when its record returns.
    QString caption;
    try {
        viewer.LoadFromFile(path);
        caption = path;
    } catch (...) {
    }
    Form4->setWindowTitle(caption);
    return !path.isEmpty() || unsafe;
}

void TForm1::DataSource1DataChange() {
    if (Form4 && Form4->isVisible())
        ShowRecordPicture();
}

void TForm1::RxDBGrid1DblClick() {
    const TField* field =
        BinaryDataSet1.Active() ? BinaryDataSet1.FindField(ui->RxDBGrid1->SelectedFieldName()) : nullptr;
    if (!Form4 || !field || field->FieldNo() != 1 || BinaryDataSet1.IsEmpty())
        return;
    if (ShowRecordPicture()) {
        // Beside the grid's vertical scroll bar, also before enough records make it appear.
        QRect area = ScreenRect(*ui->RxDBGrid1);
        area.setRight(area.right() - ui->RxDBGrid1->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr,
                                                                         ui->RxDBGrid1));
        PlaceInside(*Form4, area);
        Form4->show();
    }
}

void TForm1::N7Click() {
    if (!BinaryDataSet1.Active() || BinaryDataSet1.IsEmpty())
        return;
    CallGuarded([this] { BinaryDataSet1.Delete(); });
}

void TForm1::N8Click() {
    try {
        std::exception_ptr failure;
        try {
            const auto query = std::make_unique<TForm3>(ProgramFolder, this);
            Form3 = query.get();
            query->exec();
        } catch (...) {
            failure = std::current_exception();
        }
        Form3 = nullptr;
        // The main table is read anew whether or not the query window could be shown.
        if (BinaryDataSet1.Active())
            BinaryDataSet1.Refresh();
        if (failure)
            std::rethrow_exception(failure);
    } catch (...) {
        ShowError(QStringLiteral("Ошибка при выполнении запроса"), false);
    }
}

void TForm1::N9Click() {
    MessageBox(QStringLiteral(VELMORA_VERSION), QStringLiteral("Информация"), mtInformation, mbOK);
}

void TForm1::N10Click() {
    try {
        GridModel.ReRead();
    } catch (...) {
        // A table that cannot be opened now leaves the records shown before, and the box says why.
        HandleException();
    }
}
