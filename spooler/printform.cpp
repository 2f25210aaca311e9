#include "spooler/printform.h"

#include <QEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextBlock>
#include <QVBoxLayout>

#include "platform/variant/codepage.h"
#include "spooler/formstorage.h"

namespace tolver {

namespace {

// The tape window's icon: a paper roll with a few printed lines.
QIcon TapeIcon() {
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(90, 90, 90), 1.5));
    p.setBrush(QColor(250, 250, 240));
    p.drawRect(QRectF(7, 4, 18, 24));
    p.setBrush(QColor(200, 200, 190));
    p.drawEllipse(QRectF(5, 1, 22, 6));
    p.setPen(QPen(QColor(60, 60, 160), 1.5));
    for (int y = 11; y <= 24; y += 4) p.drawLine(QPointF(10, y), QPointF(y % 8 ? 22 : 18, y));
    return QIcon(pm);
}

}  // namespace

TTapeMemo::TTapeMemo(QWidget* parent) : QPlainTextEdit(parent) {
    setObjectName("memo");
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setUndoRedoEnabled(false);
    // Neither keys nor the context menu nor a drop may change what the register printed.
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    QFont f("DejaVu Sans Mono");
    f.setStyleHint(QFont::Monospace);
    f.setPointSize(10);
    setFont(f);
}

void TTapeMemo::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
        case Qt::Key_Up:
        case Qt::Key_Down: QPlainTextEdit::keyPressEvent(event); return;
        default: event->accept(); return;
    }
}

void TTapeMemo::mouseDoubleClickEvent(QMouseEvent* event) {
    event->accept();
    emit doubleClicked();
}

TfrmPrint::TfrmPrint(QWidget* parent) : QWidget(parent, Qt::Window | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    setObjectName("frmPrint");
    setWindowTitle("Кассовая лента");
    setWindowIcon(TapeIcon());
    setMinimumWidth(250);
    resize(330, 420);
    memo = new TTapeMemo(this);
    // An empty tape is no fault: a register that sends no print copy never fills it.
    memo->setPlaceholderText(
        "Лента пуста: кассовый аппарат еще ничего не передал. Фискальный регистратор «РФ 2160» копию печати "
        "не передает: то, что он печатает, видно только на его чеке.");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(memo);
    connect(memo, &TTapeMemo::doubleClicked, this, &QWidget::close);
    FormStorage = new TFormStorage(this, "\\Software\\Norvale\\Spooler\\PrintForm");
}

void TfrmPrint::AddChar(std::int32_t code) {
    if (code == 13) return;
    QTextCursor c(memo->document());
    c.movePosition(QTextCursor::End);
    // The document always holds one block; lineCount_ tells whether the tape has a
    // line at all, so that a first line feed gives one empty line, not two.
    if (code == 10) {
        if (lineCount_ > 0) c.insertBlock();
        ++lineCount_;
    } else {
        if (lineCount_ == 0) lineCount_ = 1;
        const char byte = static_cast<char>(code & 0xFF);
        c.insertText(QString::fromStdString(Cp1251ToUtf8(std::string(1, byte))));
    }
    memoChange();
}

void TfrmPrint::memoChange() {
    if (lineCount_ > kMaxLines) {
        memo->clear();
        lineCount_ = 0;
    }
}

QStringList TfrmPrint::Lines() const {
    QStringList lines;
    if (lineCount_ == 0) return lines;
    for (QTextBlock b = memo->document()->begin(); b.isValid(); b = b.next()) lines << b.text();
    return lines;
}

void TfrmPrint::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    memo->moveCursor(QTextCursor::End);
}

void TfrmPrint::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) memo->moveCursor(QTextCursor::End);
}

}  // namespace tolver
