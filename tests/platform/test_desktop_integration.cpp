// The autostart entry and the power source: files a desktop's settings tools also
// write, and UPower on a private bus that answers late.

#include "platform/autostart_entry.h"
#include "platform/power_source.h"

#include "support/private_bus.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace vxr;

namespace {

// UPower's manager and display device; each answer leaves 100 ms after the question.
class FakeUPower : public QDBusVirtualObject {
public:
    bool onBattery = false;
    uint deviceType = 2; // a battery
    bool present = true;

    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        const QString name = message.arguments().value(1).toString();
        QVariant value;
        if (message.member() == QLatin1String("Get") && name == QLatin1String("OnBattery"))
            value = onBattery;
        else if (message.member() == QLatin1String("Get") && name == QLatin1String("Type"))
            value = deviceType;
        else if (message.member() == QLatin1String("Get") && name == QLatin1String("IsPresent"))
            value = present;
        const QDBusMessage reply =
            value.isValid() ? message.createReply(QVariant::fromValue(QDBusVariant(value)))
                            : message.createErrorReply(QDBusError::UnknownProperty, name);
        QTimer::singleShot(100, [connection, reply]() mutable { connection.send(reply); });
        return true;
    }
};

} // namespace

class TestDesktopIntegration : public QObject {
    Q_OBJECT

private slots:
    void entryQuotesTheExecutableAndHonoursDesktopTools_data() {
        QTest::addColumn<QString>("executable");
        QTest::addColumn<QString>("exec");
        QTest::newRow("plain") << "/usr/bin/VXRWorker"
                               << "Exec=/usr/bin/VXRWorker --hidden";
        QTest::newRow("space and quote") << "/opt/My \"Apps\"/VXRWorker"
                                         << R"(Exec="/opt/My \\"Apps\\"/VXRWorker" --hidden)";
        QTest::newRow("line break cannot add a key")
            << "/opt/x\nHidden=true/VXRWorker"
            << R"(Exec="/opt/x\nHidden=true/VXRWorker" --hidden)";
        QTest::newRow("dollar and percent") << "/home/a$b/100%/VXRWorker"
                                            << R"(Exec="/home/a\\$b/100%%/VXRWorker" --hidden)";
    }
    void entryQuotesTheExecutableAndHonoursDesktopTools() {
        QFETCH(QString, executable);
        QFETCH(QString, exec);
        const QByteArray text = autostart::entryText(executable);
        QVERIFY2(text.contains(exec.toUtf8() + '\n'), text.constData());
        QVERIFY(autostart::entryEnabled(text));
        QVERIFY(!autostart::entryEnabled(text + "Hidden=true\n"));
        QVERIFY(!autostart::entryEnabled(text + "X-GNOME-Autostart-enabled = false\n"));
        // The keys count only in the main group.
        QVERIFY(autostart::entryEnabled(text + "[Desktop Action x]\nHidden=true\n"));
    }

    void entryWrittenRemovedAndReenabled() {
        QTemporaryDir root;
        const QString path = root.filePath("config/autostart/network.quorbel.vxrworker.desktop");
        QVERIFY(!autostart::isEnabled(path));
        QVERIFY(autostart::setEnabled(path, "/usr/bin/VXRWorker", true));
        QVERIFY(autostart::isEnabled(path));

        // A settings tool turned it off: off it is, and turning it on writes it anew.
        QFile file(path);
        QVERIFY(file.open(QIODevice::Append));
        file.write("Hidden=true\n");
        file.close();
        QVERIFY(!autostart::isEnabled(path));
        QVERIFY(autostart::setEnabled(path, "/usr/bin/VXRWorker", true));
        QVERIFY(autostart::isEnabled(path));

        QVERIFY(autostart::setEnabled(path, "/usr/bin/VXRWorker", false));
        QVERIFY(!QFile::exists(path));
        QVERIFY(autostart::setEnabled(path, "/usr/bin/VXRWorker", false)); // already gone
        QString error;
        QVERIFY(!autostart::setEnabled("/proc/no/such/entry.desktop", "x", true, &error));
        QVERIFY(!error.isEmpty());
    }

    void upowerIsFollowed() {
        test::PrivateBus bus;
        if (bus.address().isEmpty())
            QSKIP("dbus-daemon cannot be started here");
        const QString address = bus.address();
        QDBusConnection service = QDBusConnection::connectToBus(address, "fake-upower");
        QDBusConnection client = QDBusConnection::connectToBus(address, "upower-client");

        {
            // No UPower on the bus: mains power, no battery, and no waiting.
            UPowerSource absent(client);
            QTest::qWait(200);
            QVERIFY(!absent.onBattery() && !absent.hasBattery());
        }

        FakeUPower fake;
        fake.onBattery = true;
        QVERIFY(service.registerVirtualObject("/", &fake, QDBusConnection::SubPath));
        QVERIFY(service.registerService("org.freedesktop.UPower"));
        UPowerSource source(client);
        QVERIFY(!source.onBattery()); // nothing heard yet: never blocks for the answer
        QTRY_VERIFY(source.onBattery() && source.hasBattery());

        QSignalSpy changed(&source, &PowerSource::changed);
        fake.onBattery = false;
        QDBusMessage signal = QDBusMessage::createSignal(
            "/org/freedesktop/UPower", "org.freedesktop.DBus.Properties", "PropertiesChanged");
        signal << QStringLiteral("org.freedesktop.UPower")
               << QVariantMap{{QStringLiteral("OnBattery"), false}} << QStringList();
        QVERIFY(service.send(signal));
        QTRY_VERIFY(!source.onBattery());
        QCOMPARE(changed.size(), 1);

        service.unregisterObject("/");
        QDBusConnection::disconnectFromBus("fake-upower");
        QDBusConnection::disconnectFromBus("upower-client");
    }
};

QTEST_GUILESS_MAIN(TestDesktopIntegration)
#include "test_desktop_integration.moc"
