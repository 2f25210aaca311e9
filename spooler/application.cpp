#include "spooler/application.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include "spooler/icons.h"

namespace tolver {

void SetUpSpoolerApplication(QApplication& app) {
    QApplication::setApplicationName("Spooler");
    QApplication::setWindowIcon(SpoolerIcon());
    // The program lives in the tray: it ends when its main window's close road ends.
    QApplication::setQuitOnLastWindowClosed(false);
    if (!app.findChild<QTranslator*>("qtbase_ru")) {
        auto* translator = new QTranslator(&app);
        translator->setObjectName("qtbase_ru");
        if (translator->load("qtbase_ru", QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
            QApplication::installTranslator(translator);
    }
}

}  // namespace tolver
