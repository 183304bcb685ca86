// The one message box of the system. Its handler is replaceable so that tests answer boxes instead of
// blocking on them; the default shows a QMessageBox on the GUI thread.
#pragma once

#include <QString>
#include <functional>

enum TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation };

enum TMsgDlgBtn : unsigned { mbOK = 1, mbCancel = 2, mbYes = 4, mbNo = 8 };
using TMsgDlgButtons = unsigned;

enum TModalResult { mrNone, mrOk, mrCancel, mrYes, mrNo };

struct TMessageBoxRequest {
    QString Text;
    QString Caption;
    TMsgDlgType Type = mtInformation;
    TMsgDlgButtons Buttons = mbOK;
};

using TMessageBoxHandler = std::function<TModalResult(const TMessageBoxRequest&)>;

TModalResult MessageBox(const QString& text, const QString& caption, TMsgDlgType type,
                        TMsgDlgButtons buttons = mbOK);

// Installs `handler` (an empty one restores the default) and returns the one it replaces.
TMessageBoxHandler SetMessageBoxHandler(TMessageBoxHandler handler);

// The answer a box gives when nobody can be asked: the most cautious of its buttons.
TModalResult CautiousAnswer(TMsgDlgButtons buttons);
