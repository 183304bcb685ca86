// TOpenDialog and TSaveDialog: the system's file dialogs over a non-native QFileDialog, with the hooks
// through which a descendant adds a panel of its own and hears selection and type changes.
#pragma once

#include <QFileDialog>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <cstdint>

enum TOpenOption : uint32_t {
    ofReadOnly = 1u << 0,
    ofOverwritePrompt = 1u << 1,
    ofHideReadOnly = 1u << 2,
    ofNoChangeDir = 1u << 3,
    ofShowHelp = 1u << 4,
    ofNoValidate = 1u << 5,
    ofAllowMultiSelect = 1u << 6,
    ofExtensionDifferent = 1u << 7,
    ofPathMustExist = 1u << 8,
    ofFileMustExist = 1u << 9,
    ofCreatePrompt = 1u << 10,
    ofShareAware = 1u << 11,
    ofNoReadOnlyReturn = 1u << 12,
    ofNoTestFileCreate = 1u << 13,
};
// Only ofAllowMultiSelect, ofFileMustExist and ofOverwritePrompt act; the others are kept for callers
// that read them back.
using TOpenOptions = uint32_t;

// Turns one "description|patterns" pair of a Filter text into a Qt name filter: "Bitmap (*.bmp *.dib)".
QString QtNameFilter(const QString& Description, QString Patterns);
// Every pair of a "|" Filter text as Qt name filters, in order (a trailing "|" adds nothing).
QStringList QtNameFilters(const QString& Filter);

class TOpenDialog {
public:
    TOpenDialog() = default;
    virtual ~TOpenDialog();
    TOpenDialog(const TOpenDialog&) = delete;
    TOpenDialog& operator=(const TOpenDialog&) = delete;

    QString FileName;
    QStringList Files;
    QString Filter;      // "description|patterns|description|patterns..."
    int FilterIndex = 1; // 1-based
    QString InitialDir;
    QString Title;

    TOpenOptions GetOptions() const { return Options; }
    virtual void SetOptions(TOpenOptions Value) { Options = Value; }

    // Runs the dialog modally; true when the user chose a file.
    virtual bool Execute();

    // The same dialog shown without waiting (for tests and for callers that run their own loop): Open
    // shows it, Finished tells whether it has closed and Result what Execute would have returned.
    void Open();
    bool Finished() const { return !Dialog; }
    bool Result() const { return LastResult; }
    // The dialog while it is shown, else nullptr.
    QFileDialog* Window() const { return Dialog; }

    // CDM_GETFILEPATH: the folder joined with the name field, or the highlighted file when the field is
    // empty. CDM_GETFOLDERPATH: the folder shown.
    QString CurrentFilePath() const;
    QString CurrentFolderPath() const;
    // Sets the name field (CDM_SETCONTROLTEXT of the file name).
    void SetFileNameField(const QString& Text);

protected:
    virtual bool IsSave() const { return false; }
    // Before the dialog is built (the Filter may still change) and after it closed (the result fields are
    // set); Completed may change both and returns the result.
    virtual void Preparing() {}
    virtual bool Completed(bool Accepted) { return Accepted; }
    // The hook: the dialog was built (add the panel), first shown, the highlighted entry or the chosen type
    // changed, and the dialog is finishing (before any of its widgets is freed).
    virtual void DialogCreated(QFileDialog&) {}
    virtual void DialogShown(QFileDialog&) {}
    virtual void SelectionChanged(const QString&) {}
    virtual void TypeChanged(int /*FilterIndex*/) {}
    virtual void DialogFinishing() {}

private:
    class TFileDialogWindow;
    friend class TFileDialogWindow;
    // Builds and shows the dialog, modal or not.
    void Show(Qt::WindowModality Modality);
    void Finish(int Code);
    bool ConfirmOverwrite(const QStringList& Names) const;

    TOpenOptions Options = ofHideReadOnly;
    QPointer<QFileDialog> Dialog;
    QString Highlighted;
    bool LastResult = false;
};

class TSaveDialog : public TOpenDialog {
protected:
    bool IsSave() const override { return true; }
};
