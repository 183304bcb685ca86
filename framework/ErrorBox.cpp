// The error box and the handling of exceptions caught at the edge of an event handler.
#include "framework/ErrorBox.h"

#include "framework/Exception.h"
#include "framework/MessageBox.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>
#include <exception>

namespace {

bool startupFailed = false;

QString CurrentExceptionMessage() {
    try {
        throw;
    } catch (const Exception& e) {
        return e.message();
    } catch (const std::exception& e) {
        return QString::fromLocal8Bit(e.what());
    } catch (...) {
        return QStringLiteral("Unknown exception");
    }
}

} // namespace

void ShowError(const QString& Text, bool Terminate) {
    MessageBox(Text, QStringLiteral("Ошибка"), mtError, mbOK);
    if (!Terminate)
        return;
    // quit() before exec() is lost, and quit() inside the loop would run close handlers that write files.
    QCoreApplication* app = QCoreApplication::instance();
    if (app && app->thread()->loopLevel() > 0)
        QCoreApplication::exit(1);
    else
        startupFailed = true;
}

bool StartupFailed() {
    return startupFailed;
}

void HandleException() {
    ShowError(CurrentExceptionMessage(), false);
}

void HandleExceptionQueued() {
    const QString text = CurrentExceptionMessage();
    QTimer::singleShot(0, QCoreApplication::instance(), [text] { ShowError(text, false); });
}
