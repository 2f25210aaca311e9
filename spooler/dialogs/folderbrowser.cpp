#include "spooler/dialogs/folderbrowser.h"

#include <QFileDialog>
#include <QLabel>
#include <QVBoxLayout>

namespace tolver {

TFolderBrowser::TFolderBrowser(const QString& prompt, QWidget* parent) : QDialog(parent) {
    setObjectName("frmFolderBrowser");
    lPrompt = new QLabel(prompt, this);
    lPrompt->setObjectName("lPrompt");
    lPrompt->setWordWrap(true);
    files = new QFileDialog(this);
    files->setObjectName("files");
    // A part of this dialog, not a window of its own (a dialog is made a window).
    files->setWindowFlags(Qt::Widget);
    files->setOption(QFileDialog::DontUseNativeDialog);
    files->setOption(QFileDialog::ShowDirsOnly);
    files->setFileMode(QFileDialog::Directory);
    // The chooser's own caption ("find a folder", in the program's language).
    setWindowTitle(files->windowTitle());
    connect(files, &QFileDialog::finished, this, &QDialog::done);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lPrompt);
    layout->addWidget(files, 1);
    // A dialog, even inside another, is hidden until shown.
    files->show();
}

QString TFolderBrowser::Folder() const {
    return result() == QDialog::Accepted ? files->selectedFiles().value(0) : QString();
}

QString BrowseForFolder(const QString& prompt, QWidget* parent) {
    TFolderBrowser browser(prompt, parent);
    browser.exec();
    return browser.Folder();
}

}  // namespace tolver
