#include "spooler/application.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include <cstdio>
#include <utility>

#include "spooler/icons.h"

namespace tolver {

namespace {

QtMessageHandler g_previousHandler = nullptr;

// The offscreen platform says on every raise and every dialog that it cannot do
// these; nothing is wrong, and the spooler's own notices drown in them.
bool OffscreenPlatformChatter(QtMsgType type, const QString& message) {
    if (type != QtWarningMsg || QGuiApplication::platformName() != QLatin1String("offscreen")) return false;
    return message == QLatin1String("This plugin does not support raise()") ||
           message == QLatin1String("This plugin does not support propagateSizeHints()");
}

void FilterMessages(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (OffscreenPlatformChatter(type, message)) return;
    if (g_previousHandler) g_previousHandler(type, context, message);
    else std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}

}  // namespace

void SetUpSpoolerApplication(QApplication& app) {
    QApplication::setApplicationName("Spooler");
    QApplication::setWindowIcon(SpoolerIcon());
    // The program lives in the tray: it ends when its main window's closing sequence ends.
    QApplication::setQuitOnLastWindowClosed(false);
    static bool filtering = false;
    if (!std::exchange(filtering, true)) g_previousHandler = qInstallMessageHandler(&FilterMessages);
    if (!app.findChild<QTranslator*>("qtbase_ru")) {
        auto* translator = new QTranslator(&app);
        translator->setObjectName("qtbase_ru");
        if (translator->load("qtbase_ru", QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
            QApplication::installTranslator(translator);
    }
}

TSpoolerProgram::TSpoolerProgram(TIOnlyOnce* guard, TSpoolerCore::TObjectFactory createObject,
                                 const TSpoolerDialogsFactory& dialogs)
    : core_(std::move(createObject)) {
    core_.Store().LoadSetup();
    main_ = std::make_unique<TfrmMain>(core_, guard, dialogs);
    core_.Start();
}

TSpoolerProgram::~TSpoolerProgram() {
    core_.Stop();
    main_.reset();
}

}  // namespace tolver
