// The replaceable message box.
#include "framework/MessageBox.h"

#include "framework/Controls.h"

#include <QApplication>
#include <QMessageBox>
#include <QRegularExpression>
#include <QThread>
#include <cstdio>
#include <mutex>

namespace {

std::mutex handlerMutex;
TMessageBoxHandler currentHandler;

// The text as the box shows it: a word too long for a line, such as a long path, may break after any of its
// characters (the box would otherwise run it past its edge); other words break only at blanks.
QString WrappableText(const QString& Text) {
    static const QRegularExpression longWord(QStringLiteral("\\S{40,}"));
    QString result;
    qsizetype done = 0;
    for (QRegularExpressionMatchIterator words = longWord.globalMatch(Text); words.hasNext();) {
        const QRegularExpressionMatch word = words.next();
        result += QStringView(Text).mid(done, word.capturedStart() - done);
        for (const QChar c : word.capturedView()) {
            result += c;
            if (!c.isHighSurrogate())
                result += QChar(0x200B); // zero width space: a place to break
        }
        done = word.capturedEnd();
    }
    return result += QStringView(Text).mid(done);
}

TModalResult ShowQtMessageBox(const TMessageBoxRequest& request) {
    // A box off the GUI thread (or with no application) would crash Qt: answer cautiously and say so.
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()) ||
        QThread::currentThread() != QCoreApplication::instance()->thread()) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(request.Caption), qPrintable(request.Text));
        return CautiousAnswer(request.Buttons);
    }
    static constexpr QMessageBox::Icon icons[] = {QMessageBox::Warning, QMessageBox::Critical,
                                                  QMessageBox::Information, QMessageBox::Question};
    QMessageBox box(icons[request.Type], request.Caption, WrappableText(request.Text), QMessageBox::NoButton,
                    DialogOwner());
    QMessageBox::StandardButtons buttons;
    if (request.Buttons & mbOK)
        buttons |= QMessageBox::Ok;
    if (request.Buttons & mbCancel)
        buttons |= QMessageBox::Cancel;
    if (request.Buttons & mbYes)
        buttons |= QMessageBox::Yes;
    if (request.Buttons & mbNo)
        buttons |= QMessageBox::No;
    box.setStandardButtons(buttons);
    KeepTitleWhole(box);
    switch (box.exec()) {
    case QMessageBox::Ok:
        return mrOk;
    case QMessageBox::Yes:
        return mrYes;
    case QMessageBox::No:
        return mrNo;
    case QMessageBox::Cancel:
        return mrCancel;
    default:
        return CautiousAnswer(request.Buttons);
    }
}

} // namespace

TModalResult CautiousAnswer(TMsgDlgButtons buttons) {
    if (buttons & mbCancel)
        return mrCancel;
    if (buttons & mbNo)
        return mrNo;
    return mrOk;
}

TModalResult MessageBox(const QString& text, const QString& caption, TMsgDlgType type,
                        TMsgDlgButtons buttons) {
    TMessageBoxHandler handler;
    {
        std::lock_guard lock(handlerMutex);
        handler = currentHandler;
    }
    const TMessageBoxRequest request{text, caption, type, buttons};
    return handler ? handler(request) : ShowQtMessageBox(request);
}

TMessageBoxHandler SetMessageBoxHandler(TMessageBoxHandler handler) {
    std::lock_guard lock(handlerMutex);
    std::swap(currentHandler, handler);
    return handler;
}
