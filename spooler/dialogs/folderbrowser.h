#pragma once
// The folder browser of the settings' import: the prompt over Qt's own directory
// chooser (in the program's language), which is embedded whole, so that a long
// prompt is read in full rather than cut in a title bar.

#include <QDialog>

class QFileDialog;
class QLabel;

namespace tolver {

class TFolderBrowser : public QDialog {
    Q_OBJECT
public:
    TFolderBrowser(const QString& prompt, QWidget* parent = nullptr);

    // The chosen folder; empty when cancelled.
    QString Folder() const;

    QLabel* lPrompt;
    QFileDialog* files;
};

// Shows the browser modally: the chosen folder, empty when cancelled.
QString BrowseForFolder(const QString& prompt, QWidget* parent);

}  // namespace tolver
