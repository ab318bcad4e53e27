// Desktop notifications through the freedesktop notification service on
// the session bus, and whether the program has the desktop's focus.
#include <QApplication>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#ifdef TARVIK_HAVE_QTDBUS
#include <QDBusConnection>
#include <QDBusMessage>
#endif

#include "ui/toolkit/qt/cp1252.h"
#include "ui/toolkit/qt/qt_toolkit.h"

namespace tarvik::ui {

void QtToolkit::notify(const std::string& title, const std::string& text) {
#ifdef TARVIK_HAVE_QTDBUS
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return;
  QDBusMessage call = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
      QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
  QVariantMap hints;
  hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("tarvik"));
  call << QStringLiteral("Tarvik") << 0u << QStringLiteral("tarvik") << fromCp1252(title) << fromCp1252(text)
       << QStringList() << hints << -1;
  // Not waited for: a desktop without the service must not stop the station.
  bus.call(call, QDBus::NoBlock);
#else
  (void)title;
  (void)text;
#endif
}

bool QtToolkit::applicationActive() const { return QApplication::activeWindow() != nullptr; }

}  // namespace tarvik::ui
