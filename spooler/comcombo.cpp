#include "spooler/comcombo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAbstractItemView>
#include <QPainter>

#include <algorithm>
#include <utility>
#include <vector>

#include "platform/serial/serialport.h"

namespace tolver {

namespace {

constexpr int kPortRole = Qt::UserRole;
constexpr int kDeviceRole = Qt::UserRole + 1;

// The digit of the fourth character of an item text ("Com3" -> 3), -1 for none.
int PortDigit(const QString& text) {
    if (text.size() < 4 || !text[3].isDigit()) return -1;
    return text[3].digitValue();
}

}  // namespace

TComCombo::TComCombo(QWidget* parent) : QComboBox(parent) {
    QFont f = font();
    f.setPixelSize(13);
    setFont(f);
    setIconSize(QSize(16, 15));
    // A device's stable name is longer than the box: the whole text shows as its tip.
    connect(this, &QComboBox::currentIndexChanged, this, [this] { setToolTip(currentText()); });
}

// The list opens as wide as its longest item, so that no device name is cut.
void TComCombo::FitList() {
    if (view()) view()->setMinimumWidth(view()->sizeHintForColumn(0) + iconSize().width() + 16);
}

QPixmap TComCombo::PortBitmap() {
    // A nine-pin connector: a grey trapezoid with two rows of pins.
    QPixmap pm(16, 15);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(60, 60, 60), 1));
    p.setBrush(QColor(170, 180, 190));
    const QPointF shell[] = {{1, 3}, {15, 3}, {13, 12}, {3, 12}};
    p.drawPolygon(shell, 4);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(40, 40, 40));
    for (int i = 0; i < 5; ++i) p.drawEllipse(QPointF(3.6 + i * 2.2, 6), 0.8, 0.8);
    for (int i = 0; i < 4; ++i) p.drawEllipse(QPointF(4.7 + i * 2.2, 9.2), 0.8, 0.8);
    return pm;
}

bool TComCombo::PortExists(std::uint8_t N) {
    const std::string path = ComDevicePath(N);
    if (path.empty()) return false;
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

void TComCombo::FillPorts(bool OnlyPresent) {
    onlyPresent_ = OnlyPresent;
    clear();
    const QIcon icon(PortBitmap());
    // The adapters first, so that a standard number stored for one is not listed twice.
    std::vector<std::pair<int, TSerialDevice>> adapters;
    int next = FreeComNumber();
    for (const TSerialDevice& d : ListSerialDevices(devRoot)) {
        int n = StoredComNumber(d);
        if (n == 0 && next != 0) n = next++;
        if (n != 0) adapters.emplace_back(n, d);
    }
    const auto adapterHas = [&](int n) {
        return std::any_of(adapters.begin(), adapters.end(), [n](const auto& a) { return a.first == n; });
    };
    for (std::uint8_t n = 1; n <= 8; ++n) {
        if (adapterHas(n) || (OnlyPresent && !PortExists(n))) continue;
        addItem(icon, QString("Com%1").arg(n), n);
    }
    for (const auto& [n, d] : adapters) {
        addItem(icon, QString("Com%1: %2").arg(n).arg(QString::fromStdString(d.Path)), n);
        setItemData(count() - 1, QString::fromStdString(d.Path), kDeviceRole);
        setItemData(count() - 1, QString::fromStdString(d.Path + " → " + d.Device), Qt::ToolTipRole);
    }
    FitList();
}

std::int32_t TComCombo::GetPortNumber() const {
    if (currentIndex() < 0 || currentText().isEmpty()) return 0;
    const QVariant n = currentData(kPortRole);
    if (n.isValid()) return n.toInt();
    return std::max(0, PortDigit(currentText()));
}

std::string TComCombo::GetPortDevice() const { return currentData(kDeviceRole).toString().toStdString(); }

void TComCombo::SetPortNumber(std::int32_t N) {
    for (int i = 0; i < count(); ++i) {
        const QVariant n = itemData(i, kPortRole);
        if ((n.isValid() ? n.toInt() : PortDigit(itemText(i))) == N) {
            setCurrentIndex(i);
            return;
        }
    }
    if (N <= 0 || N > 255) return;
    const std::string device = ComDevicePath(N);
    struct stat st{};
    const char* state = ::stat(device.c_str(), &st) == 0 ? "не открывается" : "нет устройства";
    addItem(QIcon(PortBitmap()), QString("Com%1: %2 — %3").arg(N).arg(QString::fromStdString(device), state), N);
    FitList();
    setCurrentIndex(count() - 1);
}

}  // namespace tolver
