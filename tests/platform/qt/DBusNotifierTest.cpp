// The weekly digest as the desktop's notification service receives it, from a stand-in service on
// the private desktop's session bus: a right-to-left app name isolated in the shown title and body,
// and the body escaped only for a service that reads markup.
#include <gtest/gtest.h>

#include "platform/qt/DBusNotifier.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QTest>

namespace velmora {
namespace {

// Answers as a notification service does, and keeps what it was asked to show.
class NotificationService final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QStringList capabilities;
    QStringList summaries, bodies;

public slots:
    QStringList GetCapabilities() { return capabilities; }
    QString GetServerInformation(QString& vendor, QString& version, QString& specVersion) {
        vendor = "Velmora tests";
        version = "1";
        specVersion = "1.2";
        return "stand-in";
    }
    uint Notify(const QString&, uint, const QString&, const QString& summary, const QString& body, const QStringList&,
                const QVariantMap&, int) {
        summaries << summary;
        bodies << body;
        return static_cast<uint>(bodies.size());
    }
};

TEST(DBusNotifier, ShownDigestIsolatesARightToLeftNameAndEscapesOnlyForMarkup) {
    ASSERT_TRUE(qEnvironmentVariableIsSet("VELMORA_DESKTOP")) << "run inside scripts/with-desktop.sh";
    int argc = 0;
    QCoreApplication app(argc, nullptr);
    NotificationService service;
    QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "stand-in notifications");
    ASSERT_TRUE(bus.registerObject("/org/freedesktop/Notifications", &service, QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(bus.registerService("org.freedesktop.Notifications")) << "another notification service runs";

    // "Document manager 📁 & <archive>" in Arabic: the name is outside text, markup characters included.
    const std::string name = "مدير المستندات 📁 & <الأرشيف>";
    const std::string body = name + " was the biggest factor over the last 7 days \u2014 3 stories, 1.2 GB total growth.";
    const QString fsi(QChar(0x2068)), pdi(QChar(0x2069));
    const QString shown = fsi + QString::fromUtf8("مدير المستندات 📁 & <الأرشيف") + pdi +
                          QString::fromUtf8("> was the biggest factor over the last 7 days \u2014 3 stories, 1.2\u00A0GB total growth.");
    const QString escaped = fsi + QString::fromUtf8("مدير المستندات 📁 &amp; &lt;الأرشيف") + pdi +
                            QString::fromUtf8("&gt; was the biggest factor over the last 7 days \u2014 3 stories, 1.2\u00A0GB total growth.");
    for (const bool markup : {true, false}) {
        service.capabilities = markup ? QStringList{"body", "body-markup"} : QStringList{"body"};
        service.summaries.clear();
        service.bodies.clear();
        DBusNotifier notifier;
        // Answered after the capabilities, on the same connection: the notifier knows them by then.
        bool answered = false;
        notifier.requestAuthorization([&](bool granted) { answered = granted; });
        ASSERT_TRUE(QTest::qWaitFor([&] { return answered; }));
        notifier.postWeeklyDigest("مدير المستندات grew", body);
        ASSERT_TRUE(QTest::qWaitFor([&] { return service.bodies.size() == 1; })) << "markup " << markup;
        EXPECT_EQ(service.summaries[0], fsi + QString::fromUtf8("مدير المستندات") + pdi + " grew") << "markup " << markup;
        EXPECT_EQ(service.bodies[0], markup ? escaped : shown) << "markup " << markup;
    }
    bus.unregisterService("org.freedesktop.Notifications");
    QDBusConnection::disconnectFromBus("stand-in notifications");
}

}  // namespace
}  // namespace velmora

#include "DBusNotifierTest.moc"
