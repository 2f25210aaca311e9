#include "spooler/about.h"

#include <sys/utsname.h>

#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include <fstream>
#include <sstream>

#include "common/utilgl.h"
#include "platform/shell/versioninfo.h"

namespace tolver {

namespace {

// Total physical memory in KB, from /proc/meminfo; 0 when unknown.
long long TotalMemoryKb() {
    std::ifstream in("/proc/meminfo");
    std::string key;
    long long kb = 0;
    while (in >> key) {
        if (key == "MemTotal:") {
            in >> kb;
            return kb;
        }
        in.ignore(1 << 12, '\n');
    }
    return 0;
}

// The system's name, "   Version " and its major and minor version.
std::string SystemText() {
    utsname u{};
    if (::uname(&u) != 0) return {};
    int major = 0, minor = 0;
    std::sscanf(u.release, "%d.%d", &major, &minor);
    std::ostringstream s;
    s << u.sysname << "   Version " << major << '.' << minor;
    return s.str();
}

}  // namespace

std::string MemoryText(long long kilobytes) {
    std::string digits = std::to_string(kilobytes);
    for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3) digits.insert(static_cast<std::size_t>(i), " ");
    return "Memory available: " + digits + " Кбайт";
}

TfrmAbout::TfrmAbout(const QIcon& icon, const std::string& fileName, QWidget* parent) : QDialog(parent) {
    setObjectName("frmAbout");
    setWindowTitle("About");
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);

    const TIVersionInfo info(fileName);
    Panel2 = new QFrame(this);
    iconProgram = new QLabel(Panel2);
    iconProgram->setPixmap(icon.pixmap(48, 48));
    auto* left = new QVBoxLayout(Panel2);
    left->setContentsMargins(12, 14, 4, 12);
    left->addWidget(iconProgram);
    left->addStretch();

    Panel1 = new QFrame(this);
    auto* rule = new QFrame(Panel1);
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);
    const auto label = [&](const char* name, const std::string& text) {
        auto* l = new QLabel(QString::fromStdString(text), Panel1);
        l->setObjectName(name);
        return l;
    };
    labelProductName = label("labelProductName", info.ProductName());
    labelProductName->setWordWrap(true);
    QFont big = labelProductName->font();
    big.setPointSizeF(big.pointSizeF() * 1.4);
    big.setBold(true);
    labelProductName->setFont(big);
    labelVersion = label("labelVersion", "Version " + info.ProductVersion() + " (" + info.FileVersion() + ")");
    labelLegalCopyright = label("labelLegalCopyright", info.LegalCopyright());
    labelWinType = label("labelWinType", SystemText());
    labelMemAvailible = label("labelMemAvailible", MemoryText(TotalMemoryKb()));
    auto* right = new QVBoxLayout(Panel1);
    right->setContentsMargins(8, 12, 16, 14);
    right->setSpacing(6);
    right->addWidget(labelProductName);
    right->addWidget(rule);
    for (QLabel* l : {labelVersion, labelLegalCopyright, labelWinType, labelMemAvailible}) right->addWidget(l);
    right->addStretch();

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(Panel2);
    layout->addWidget(Panel1, 1);
    for (QObject* o : {static_cast<QObject*>(Panel1), static_cast<QObject*>(Panel2), static_cast<QObject*>(labelProductName)})
        o->installEventFilter(this);
    setFixedSize(sizeHint().expandedTo(QSize(330, 170)));
}

bool TfrmAbout::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease) {
        accept();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void ShowAbout(const QIcon& Icon) {
    TfrmAbout box(Icon, GetAppPath() + "Spooler");
    box.exec();
}

}  // namespace tolver
