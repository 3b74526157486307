#include "util/Settings.h"

#include "util/AppInfo.h"

#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QWidget>
#include <memory>

namespace dh {
namespace {
std::unique_ptr<QSettings> &store() {
    static std::unique_ptr<QSettings> s;
    if (!s)
        s = std::make_unique<QSettings>(QStringLiteral("Docharvest"), AppTitle());
    return s;
}
QString fullKey(const QString &section, const QString &key) {
    return section + QLatin1Char('/') + key;
}
QString sectionOf(const SettingKey &key, const QString &window) {
    const QString s = QString::fromUtf8(key.section);
    return s.isEmpty() ? window : s;
}
constexpr int kTwipsPerPixel = 15;
} // namespace

QString Settings::Read(const QString &section, const QString &key, const QString &defaultValue) {
    const QVariant v = store()->value(fullKey(section, key));
    return v.isValid() ? v.toString() : defaultValue;
}

void Settings::Write(const QString &section, const QString &key, const QString &value) {
    store()->setValue(fullKey(section, key), value);
    store()->sync();
}

QString Settings::Read(const SettingKey &key, const QString &window) {
    return ReadOr(key, QString::fromUtf8(key.defaultValue), window);
}

QString Settings::ReadOr(const SettingKey &key, const QString &defaultValue, const QString &window) {
    return Read(sectionOf(key, window), QString::fromUtf8(key.key), defaultValue);
}

int Settings::ReadInt(const SettingKey &key, const QString &window) {
    return ToIntOr(Read(key, window), ToIntOr(QString::fromUtf8(key.defaultValue), 0));
}

double Settings::ReadDouble(const SettingKey &key, const QString &window) {
    return ToDoubleOr(Read(key, window), ToDoubleOr(QString::fromUtf8(key.defaultValue), 0));
}

void Settings::Write(const SettingKey &key, const QString &value, const QString &window) {
    Write(sectionOf(key, window), QString::fromUtf8(key.key), value);
}

void Settings::Write(const SettingKey &key, int value, const QString &window) {
    Write(key, QString::number(value), window);
}

void Settings::UseFile(const QString &path) {
    store() = std::make_unique<QSettings>(path, QSettings::IniFormat);
}

QString Settings::Location() {
    return store()->fileName();
}

QString NumberText(double value) {
    return QString::number(value, 'g', 15);
}

int ToIntOr(const QString &text, int fallback) {
    bool ok = false;
    const int v = text.trimmed().toInt(&ok);
    if (ok)
        return v;
    const double d = text.trimmed().toDouble(&ok);
    return ok && d > -2e9 && d < 2e9 ? int(d) : fallback;
}

double ToDoubleOr(const QString &text, double fallback) {
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    return ok ? v : fallback;
}

SharedValues &Shared() {
    static SharedValues values;
    return values;
}

QString ScreenSizeText() {
    const QScreen *screen = QGuiApplication::primaryScreen();
    const QSize size = screen ? screen->size() : QSize();
    return QStringLiteral("%1*%2").arg(size.width()).arg(size.height());
}

double ValidSizeLimitMb(double stored) {
    return stored >= MinSizeLimitMb && stored <= MaxSizeLimitMb
               ? stored
               : ToIntOr(QString::fromUtf8(Keys::FileMaxSize.defaultValue), 10);
}

double StoredSizeLimitMb() {
    return ValidSizeLimitMb(Settings::ReadDouble(Keys::FileMaxSize));
}

void SaveWindowGeometry(QWidget *window) {
    const QString name = window->objectName();
    if (window->isMaximized()) {
        Settings::Write(name, QStringLiteral("分辨率"), QStringLiteral("0*0"));
        return;
    }
    const QRect g = window->geometry();
    Settings::Write(name, QStringLiteral("分辨率"), ScreenSizeText());
    Settings::Write(name, QStringLiteral("上"), QString::number(g.top() * kTwipsPerPixel));
    Settings::Write(name, QStringLiteral("左"), QString::number(g.left() * kTwipsPerPixel));
    Settings::Write(name, QStringLiteral("宽"), QString::number(g.width() * kTwipsPerPixel));
    Settings::Write(name, QStringLiteral("高"), QString::number(g.height() * kTwipsPerPixel));
}

void RestoreWindowGeometry(QWidget *window, QSize firstSize) {
    const QString name = window->objectName();
    auto readInt = [&](const SettingKey &key) {
        return ToIntOr(Settings::Read(name, QString::fromUtf8(key.key), QString::fromUtf8(key.defaultValue)),
                       ToIntOr(QString::fromUtf8(key.defaultValue), 0));
    };
    const QString stored = Settings::Read(name, QString::fromUtf8(Keys::ScreenSize.key),
                                          QString::fromUtf8(Keys::ScreenSize.defaultValue));
    if (stored == QLatin1String("0*0")) {
        window->setWindowState(window->windowState() | Qt::WindowMaximized);
        return;
    }
    window->setWindowState(window->windowState() & ~Qt::WindowMaximized);
    const QScreen *screen = QGuiApplication::primaryScreen();
    const QRect available = screen ? screen->availableGeometry() : QRect(0, 0, 1600, 1000);
    QRect place;
    if (stored != ScreenSizeText()) {
        const QSize size =
            (firstSize.isEmpty() ? window->size() : firstSize).boundedTo(available.size() * 0.95);
        place = QRect(QPoint(), size);
        place.moveCenter(available.center());
    } else {
        const int top = std::max(0, readInt(Keys::Top));
        const int left = std::max(0, readInt(Keys::Left));
        const int width = std::max(4000, readInt(Keys::Width));
        const int height = std::max(3000, readInt(Keys::Height));
        place = QRect(left / kTwipsPerPixel, top / kTwipsPerPixel, width / kTwipsPerPixel,
                      height / kTwipsPerPixel);
        place.setSize(place.size().boundedTo(available.size()));
        // Kept on the screen when it was left partly off it.
        place.moveRight(std::min(place.right(), available.right()));
        place.moveBottom(std::min(place.bottom(), available.bottom()));
    }
    window->setGeometry(place);
}

} // namespace dh
