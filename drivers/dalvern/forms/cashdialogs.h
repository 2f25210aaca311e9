#pragma once
// The two small modal dialogs that the periodic fiscal-memory reports ask through:
// a date range (TfrmCashDates, "Период") and a number range (TfrmCashNs,
// "Интервал"). The caller puts its request into lInfo, shows the dialog modally and
// reads the two values after OK. Every showing starts from today or from 1, and the
// dialog sits at the bottom right of the screen, out of the cashier's way.

#include <QDialog>
#include <QRect>
#include <QSize>

class QDateEdit;
class QLabel;
class QPushButton;
class QSpinBox;

namespace tolver {

// Where a dialog of this size goes: left = screen width - width - 20, top = height of
// the desktop's work area - height - 128.
QPoint BottomRightPlace(const QRect& screen, const QRect& desktop, const QSize& dialog);

// The common part of both dialogs: the prompt, OK and Cancel, the placement.
class TfrmCashRange : public QDialog {
public:
    QLabel* lInfo;
    QPushButton* bOk;
    QPushButton* bCancel;

    // Sets both values to their start (today, 1).
    virtual void FormActivate() = 0;
    // Moves the dialog to the bottom right of its screen.
    void FormShow();

protected:
    TfrmCashRange(const char* name, const char* caption);
    // Lays out the two labelled value controls under the prompt, above the buttons.
    void Finish(const char* fromLabel, QWidget* from, const char* toLabel, QWidget* to);
    void showEvent(QShowEvent* event) override;
};

class TfrmCashDates final : public TfrmCashRange {
public:
    TfrmCashDates();
    void FormActivate() override;

    QDateEdit* dateFrom;
    QDateEdit* dateTo;
};

class TfrmCashNs final : public TfrmCashRange {
public:
    // The register takes a fiscal-memory number in four digits.
    static constexpr int kMaxNumber = 9999;

    TfrmCashNs();
    void FormActivate() override;

    QSpinBox* seditNFrom;
    QSpinBox* seditNTo;
};

}  // namespace tolver
