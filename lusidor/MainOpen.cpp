// The main window's opening of pictures into the navigator: only files of the image folder, each once.
#include "Main.h"

#include "PicForm.h"
#include "framework/ErrorBox.h"
#include "framework/MessageBox.h"
#include "image-library/PGFileFormats.h"

#include <QDir>
#include <QFileInfo>
#include <QMdiSubWindow>

namespace {

// Two spellings of one folder: a link, "..", or a doubled "/" make no difference, letter case does.
bool SameFolder(const QString& A, const QString& B) {
    const QString a = QDir(A).canonicalPath();
    return !a.isEmpty() && a == QDir(B).canonicalPath();
}

} // namespace

void TForm1::OpenImage() {
    if (PGOpenDialog1.Execute())
        OpenImageFile(PGOpenDialog1.FileName);
}

void TForm1::OpenImageFile(const QString& FileName) {
    if (!Base)
        return;
    const QFileInfo file(FileName);
    if (!SameFolder(file.absolutePath(), ImageFolder)) {
        MessageBox(QStringLiteral("Папка в которой находится файл %1 не является рабочей папкой программы.")
                       .arg(FileName),
                   QStringLiteral("Информация"), mtInformation, mbOK);
        return;
    }
    const QString name = file.fileName();
    const int index = Base->IndexOf(name);
    const auto showEntryForm = [this] {
        if (Mode == SpecialMode && EntryForm)
            EntryForm->show();
    };
    if (index == -1) {
        TFileFormatInfo info;
        if (!GetFileFormatInfo(file.absoluteFilePath(), 0, info)) {
            ShowError(QStringLiteral("Неизвестный формат файла."), false);
            return;
        }
        CallGuarded([&] {
            Base->FindOrAddPict(name);
            showEntryForm();
        });
        return;
    }
    if (MessageBox(QStringLiteral("Изображение %1 уже добавлено в БД. Сделать его текущим?").arg(name),
                   QStringLiteral("Предупреждение"), mtConfirmation, mbYes | mbNo) != mrYes)
        return;
    TPict* pict = Base->Items(index);
    if (pict->Form) {
        ShowChild(pict->Form->SubWindow());
        pict->Form->setFocus();
        return;
    }
    CallGuarded([&] {
        pict->Reopen();
        showEntryForm();
    });
}
