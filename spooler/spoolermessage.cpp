#include "spooler/spoolermessage.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include <utility>

namespace tolver {

namespace {

TSpoolerMessageHandler& Handler() {
    static TSpoolerMessageHandler handler;
    return handler;
}

std::optional<bool>& Seen() {
    static std::optional<bool> seen;
    return seen;
}

std::chrono::milliseconds& QuestionWait() {
    static std::chrono::milliseconds wait = kUnattendedQuestionWait;
    return wait;
}

constexpr int kWidth = 293, kHeight = 153;
constexpr int kButtonWidth = 75, kButtonHeight = 25;

}  // namespace

TSpoolerMessageHandler SetSpoolerMessageHandler(TSpoolerMessageHandler handler) {
    return std::exchange(Handler(), std::move(handler));
}

bool SpoolerMessageSeen() {
    if (Seen()) return *Seen();
    return QGuiApplication::platformName() != QLatin1String("offscreen");
}

void SetSpoolerMessageSeen(std::optional<bool> seen) { Seen() = seen; }

void SetUnattendedQuestionWait(std::chrono::milliseconds wait) { QuestionWait() = wait; }

int ShowSpoolerMessage(const std::string& Text, const std::string& Title, bool YesNo) {
    if (const TSpoolerMessageHandler handler = Handler()) return handler(Text, Title, YesNo);
    const std::string notice = SpoolerMessageNotice(Text, Title, YesNo);
    const bool seen = SpoolerMessageSeen();
    const bool question = YesNo || Title == kTitleQuery;
    if (!seen && !question) {
        // Nobody can read it, and nothing depends on its answer: it is told, not waited for.
        SpoolerNotice("Окно \"" + Title + "\" (экрана нет, ответ \"OK\" дан сразу): " +
                      notice.substr(notice.find(": ") + 2));
        return 0;
    }
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(QuestionWait()).count();
    SpoolerNotice(seen ? notice : notice + " (экрана нет: ждет не дольше " + std::to_string(seconds) + " с)");
    TfrmMyMessage box(Text, Title, YesNo);
    QTimer unanswered;
    if (!seen) {
        unanswered.setSingleShot(true);
        unanswered.setInterval(QuestionWait());
        QObject::connect(&unanswered, &QTimer::timeout, &box, [&box, &Title, YesNo] {
            SpoolerNotice("Окно \"" + Title + "\" осталось без ответа: ответ \"" + (YesNo ? "Нет" : "Отмена") + "\"");
            box.reject();
        });
        unanswered.start();
    }
    return box.exec() == QDialog::Accepted ? 0 : -1;
}

TSpoolerMessageScript::TSpoolerMessageScript() {
    previous_ = SetSpoolerMessageHandler([this](const std::string& text, const std::string& title, bool yesNo) {
        Boxes.push_back({text, title, yesNo});
        if (WhileOpen) WhileOpen(Boxes.back());
        if (Answers.empty()) return 0;
        const int answer = Answers.front();
        Answers.pop_front();
        return answer;
    });
}

TSpoolerMessageScript::~TSpoolerMessageScript() { SetSpoolerMessageHandler(std::move(previous_)); }

TfrmMyMessage::TfrmMyMessage(const std::string& Text, const std::string& Title, bool YesNo, QWidget* parent)
    : QDialog(parent), yesNo_(YesNo) {
    setObjectName("frmMyMessage");
    setWindowTitle(QString::fromStdString(Title));
    setWindowFlags(Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    lText = new QLabel(QString::fromStdString(Text), this);
    lText->setObjectName("lText");
    lText->setWordWrap(true);
    lText->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    bOk = new QPushButton(this);
    bOk->setObjectName("bOk");
    bCancel = new QPushButton("Нет", this);
    bCancel->setObjectName("bCancel");
    bOk->setDefault(true);
    bOk->setAutoDefault(true);
    bCancel->setAutoDefault(false);
    if (YesNo) {
        bOk->setText("Да");
    } else {
        bOk->setText("OK");
        bCancel->hide();
    }
    connect(bOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(bCancel, &QPushButton::clicked, this, &QDialog::reject);
    // A long text makes the box taller rather than cutting it off.
    const int textWidth = kWidth - 16;
    const int textHeight = lText->heightForWidth(textWidth);
    setFixedSize(kWidth, std::max(kHeight, textHeight + kButtonHeight + 32));
}

void TfrmMyMessage::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    const int w = width(), h = height();
    const int top = h - kButtonHeight - 8;
    lText->setGeometry(8, 8, w - 16, top - 16);
    // Yes and No side by side at the bottom right (Yes at 128 in the box's fixed width),
    // OK alone in the middle (at 109).
    if (yesNo_) {
        bOk->setGeometry(w - 2 * kButtonWidth - 15, top, kButtonWidth, kButtonHeight);
        bCancel->setGeometry(w - kButtonWidth - 8, top, kButtonWidth, kButtonHeight);
    } else {
        bOk->setGeometry((w - kButtonWidth) / 2, top, kButtonWidth, kButtonHeight);
    }
}

void TfrmMyMessage::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect desk = screen->availableGeometry();
        move(screen->geometry().width() - width() - 20, desk.bottom() + 1 - height() - 128);
    }
}

void TfrmMyMessage::keyPressEvent(QKeyEvent* event) {
    // In the OK form the single button is the cancel button too: Escape answers OK.
    if (event->key() == Qt::Key_Escape) {
        if (yesNo_) reject();
        else accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace tolver
