// The file dialogs over a QFileDialog that never uses the desktop's native dialog: only the Qt dialog can
// take the panel a descendant adds.
#include "framework/FileDialogs.h"

#include "framework/Controls.h"
#include "framework/MessageBox.h"

#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QHeaderView>
#include <QLineEdit>
#include <QLocale>
#include <QMimeDatabase>
#include <QRegularExpression>
#include <QShowEvent>
#include <QTreeView>
#include <algorithm>

QString QtNameFilter(const QString& Description, QString Patterns) {
    Patterns.replace(QStringLiteral("; "), QStringLiteral(" "));
    Patterns.replace(QStringLiteral(";"), QStringLiteral(" "));
    QStringList list = Patterns.split(u' ', Qt::SkipEmptyParts);
    for (QString& p : list)
        if (p == QStringLiteral("*.*"))
            p = QStringLiteral("*");
    return Description + QStringLiteral(" (") + list.join(u' ') + u')';
}

QStringList QtNameFilters(const QString& Filter) {
    const QStringList parts = Filter.split(u'|');
    QStringList result;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        result << QtNameFilter(parts[i], parts[i + 1]);
    return result;
}

namespace {

// The dialog's name field.
QLineEdit* NameField(const QFileDialog& Dialog) {
    return Dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
}

// The detail view's size, type and date columns as wide as their titles and as the texts they show in the
// program's locale (sizes up to "1 023,00 GiB", a date with its time, the types of the files the dialog
// offers): Qt's default widths cut "75,27 KiB" and "09.12.2026 17:58" short. The widths come from samples,
// not from the listed files, so a large folder costs nothing more.
void FitDetailColumns(QFileDialog& Dialog) {
    auto* view = Dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
    if (!view || !view->model() || view->model()->columnCount() < 4)
        return;
    const QLocale locale = QLocale::system();
    QStringList sizes, types;
    for (qint64 unit = 1; unit <= (qint64(1) << 30); unit <<= 10)
        sizes << locale.formattedDataSize(1023 * unit);
    static const QRegularExpression extension(QStringLiteral("\\*\\.(\\w+)"));
    const QMimeDatabase mimes;
    for (QRegularExpressionMatchIterator m = extension.globalMatch(Dialog.nameFilters().join(u' '));
         m.hasNext();)
        types << mimes
                     .mimeTypeForFile(QStringLiteral("x.") + m.next().captured(1),
                                      QMimeDatabase::MatchExtension)
                     .comment();
    const QStringList dates = {
        locale.toString(QDateTime(QDate(2000, 12, 28), QTime(23, 59)), QLocale::ShortFormat)};
    const QFontMetrics metrics(view->font());
    QHeaderView& header = *view->header();
    const std::pair<int, const QStringList*> columns[] = {{1, &sizes}, {2, &types}, {3, &dates}};
    for (const auto& [column, texts] : columns) {
        int width = metrics.horizontalAdvance(view->model()->headerData(column, Qt::Horizontal).toString());
        for (const QString& text : *texts)
            width = std::max(width, metrics.horizontalAdvance(text));
        // Room for the cell's margins and the header's sort arrow.
        header.resizeSection(column,
                             std::max(header.sectionSize(column), width + 3 * metrics.averageCharWidth()));
    }
}

} // namespace

// The QFileDialog that reports to its component: the first show, and the end by any path.
class TOpenDialog::TFileDialogWindow : public QFileDialog {
public:
    TFileDialogWindow(TOpenDialog& Owner, QWidget* Parent) : QFileDialog(Parent), Owner(Owner) {}

    void accept() override {
        // A name of blanks only is no name: the dialog stays open, as for an empty one.
        if (const QLineEdit* field = NameField(*this);
            field && !field->text().isEmpty() && field->text().trimmed().isEmpty())
            return;
        if (acceptMode() == AcceptSave && !Owner.ConfirmOverwrite(selectedFiles()))
            return;
        QFileDialog::accept();
    }
    void done(int Code) override {
        QFileDialog::done(Code);
        Owner.Finish(Code);
    }

protected:
    void showEvent(QShowEvent* Event) override {
        QFileDialog::showEvent(Event);
        if (!ShownOnce) {
            ShownOnce = true;
            Owner.DialogShown(*this);
        }
    }

private:
    TOpenDialog& Owner;
    bool ShownOnce = false;
};

TOpenDialog::~TOpenDialog() {
    delete Dialog.data();
}

void TOpenDialog::Open() {
    Show(Qt::NonModal);
}

void TOpenDialog::Show(Qt::WindowModality Modality) {
    Preparing();
    delete Dialog.data();
    LastResult = false;
    Highlighted.clear();
    auto* dialog = new TFileDialogWindow(*this, DialogOwner());
    // Qt takes the modality only from a window that is not shown yet.
    dialog->setWindowModality(Modality);
    Dialog = dialog;
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    // The overwrite question goes through the system's message box, when the options ask for it.
    dialog->setOption(QFileDialog::DontConfirmOverwrite);
    // Picture names are matched whatever their case: PICTURE.BMP is a BMP file.
    dialog->setFilter(dialog->filter() & ~QDir::CaseSensitive);
    // Without a title of the program's own the dialog keeps Qt's ("Open", "Save As", in the user's language),
    // as the system's dialogs did; setting an empty one would leave the bare program name.
    if (!Title.isEmpty())
        dialog->setWindowTitle(Title);
    if (IsSave()) {
        dialog->setAcceptMode(QFileDialog::AcceptSave);
        dialog->setFileMode(QFileDialog::AnyFile);
    } else if (Options & ofAllowMultiSelect) {
        dialog->setFileMode(QFileDialog::ExistingFiles);
    } else {
        dialog->setFileMode((Options & ofFileMustExist) ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    }
    const QStringList filters = QtNameFilters(Filter);
    if (!filters.isEmpty())
        dialog->setNameFilters(filters);
    if (!InitialDir.isEmpty())
        dialog->setDirectory(InitialDir);
    if (FilterIndex >= 1 && FilterIndex <= filters.size())
        dialog->selectNameFilter(filters[FilterIndex - 1]);
    if (!FileName.isEmpty())
        dialog->selectFile(FileName);
    QObject::connect(dialog, &QFileDialog::currentChanged, dialog, [this](const QString& Path) {
        Highlighted = Path;
        SelectionChanged(Path);
    });
    QObject::connect(dialog, &QFileDialog::filterSelected, dialog, [this](const QString& NameFilter) {
        TypeChanged(int(Dialog->nameFilters().indexOf(NameFilter)) + 1);
    });
    FitDetailColumns(*dialog);
    DialogCreated(*dialog);
    dialog->show();
}

bool TOpenDialog::Execute() {
    Show(Qt::ApplicationModal);
    QEventLoop loop;
    QObject::connect(Dialog, &QDialog::finished, &loop, &QEventLoop::quit);
    loop.exec();
    return LastResult;
}

void TOpenDialog::Finish(int Code) {
    const bool accepted = Code == QDialog::Accepted;
    const int index = int(Dialog->nameFilters().indexOf(Dialog->selectedNameFilter()));
    if (index >= 0)
        FilterIndex = index + 1;
    if (accepted) {
        Files = Dialog->selectedFiles();
        FileName = Files.value(0);
    }
    DialogFinishing();
    Dialog->deleteLater();
    Dialog.clear();
    LastResult = Completed(accepted);
}

bool TOpenDialog::ConfirmOverwrite(const QStringList& Names) const {
    if (!(Options & ofOverwritePrompt))
        return true;
    for (const QString& name : Names)
        if (QFileInfo::exists(name) &&
            MessageBox(QFileInfo(name).fileName() +
                           QStringLiteral(" already exists.\nDo you want to replace it?"),
                       Title, mtWarning, mbYes | mbNo) != mrYes)
            return false;
    return true;
}

QString TOpenDialog::CurrentFilePath() const {
    if (!Dialog)
        return {};
    const QLineEdit* edit = NameField(*Dialog);
    const QString text = edit ? edit->text() : QString();
    if (text.isEmpty())
        return Highlighted;
    return QDir(Dialog->directory()).absoluteFilePath(text);
}

QString TOpenDialog::CurrentFolderPath() const {
    return Dialog ? Dialog->directory().absolutePath() : QString();
}

void TOpenDialog::SetFileNameField(const QString& Text) {
    if (!Dialog)
        return;
    if (QLineEdit* edit = NameField(*Dialog))
        edit->setText(Text);
}
