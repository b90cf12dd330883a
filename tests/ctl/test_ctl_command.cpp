// The client's command line and value conversion, and its property table against the
// interface's XML.

#include "ctl/ctl_command.h"

#include <QFile>
#include <QTest>
#include <QXmlStreamReader>

#include <cmath>

using vxr::ctl::Action;
using vxr::ctl::Command;

Q_DECLARE_METATYPE(Command)

namespace {
Command command(Action action, bool json = false, const QString& name = {},
                const QString& value = {}) {
    return {action, json, name, value};
}
} // namespace

class TestCtlCommand : public QObject {
    Q_OBJECT

private slots:
    void parsesCommands_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<Command>("expected");
        QTest::newRow("status") << QStringList{"status"} << true << command(Action::status);
        QTest::newRow("status --json")
            << QStringList{"status", "--json"} << true << command(Action::status, true);
        QTest::newRow("--json first")
            << QStringList{"--json", "watch"} << true << command(Action::watch, true);
        QTest::newRow("get, name in any case") << QStringList{"get", "maxsandboxes"} << true
                                               << command(Action::get, false, "MaxSandboxes");
        QTest::newRow("set") << QStringList{"set", "IdleThresholdMinutes", "0.1"} << true
                             << command(Action::set, false, "IdleThresholdMinutes", "0.1");
        QTest::newRow("set, a negative value is no option")
            << QStringList{"set", "MemoryHeadroomGB", "-1"} << true
            << command(Action::set, false, "MemoryHeadroomGB", "-1");
        QTest::newRow("register") << QStringList{"register", "k-1"} << true
                                  << command(Action::registerKey, false, {}, "k-1");
        QTest::newRow("quit") << QStringList{"quit"} << true << command(Action::quit);
        QTest::newRow("nothing") << QStringList{} << false << Command();
        QTest::newRow("unknown verb") << QStringList{"restart"} << false << Command();
        QTest::newRow("unknown property") << QStringList{"get", "Bogus"} << false << Command();
        QTest::newRow("missing value") << QStringList{"set", "MaxSandboxes"} << false << Command();
        QTest::newRow("extra operand") << QStringList{"start", "now"} << false << Command();
        QTest::newRow("--json where nothing prints")
            << QStringList{"start", "--json"} << false << Command();
        QTest::newRow("--help") << QStringList{"--help"} << false << Command();
    }
    void parsesCommands() {
        QFETCH(QStringList, arguments);
        QFETCH(bool, valid);
        QFETCH(Command, expected);
        const std::optional<Command> parsed = vxr::ctl::parseArguments(arguments);
        QCOMPARE(parsed.has_value(), valid);
        if (valid)
            QVERIFY(*parsed == expected);
    }

    void convertsValues_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QVariant>("expected"); // invalid: not convertible
        QTest::newRow("bool yes") << "EnableWebGPU"
                                  << "Yes" << QVariant(true);
        QTest::newRow("bool off") << "EnableWebGPU"
                                  << "off" << QVariant(false);
        QTest::newRow("bool 0") << "ManualOverride"
                                << "0" << QVariant(false);
        QTest::newRow("bool word") << "ManualOverride"
                                   << "maybe" << QVariant();
        QTest::newRow("double") << "MemoryHeadroomGB"
                                << "2.5" << QVariant(2.5);
        QTest::newRow("double, C locale only") << "MemoryHeadroomGB"
                                               << "2,5" << QVariant();
        QTest::newRow("whole number for a double") << "MemoryCapPercent"
                                                   << "50" << QVariant(50.0);
        QTest::newRow("int") << "MaxSandboxes"
                             << "3" << QVariant(3);
        QTest::newRow("fraction for an int") << "MaxSandboxes"
                                             << "1.5" << QVariant();
        QTest::newRow("text for an int") << "MaxSandboxes"
                                         << "two" << QVariant();
    }
    void convertsValues() {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QFETCH(QVariant, expected);
        const std::optional<QVariant> value =
            vxr::ctl::parseValue(*vxr::ctl::findProperty(name), text);
        QCOMPARE(value.has_value(), expected.isValid());
        if (value) {
            QCOMPARE(value->metaType(), expected.metaType()); // the D-Bus type sent
            QCOMPARE(*value, expected);
        }
        // NaN passes as a number: the app refuses it, with its own message.
        const auto nan = vxr::ctl::parseValue(*vxr::ctl::findProperty("IdleSeconds"), "nan");
        QVERIFY(nan && std::isnan(nan->toDouble()));
    }

    void formatsStatus() {
        const QVariantMap values{{"MaxSandboxes", 2},
                                 {"WorkerURL", QString()},
                                 {"IdleSeconds", 0.1},
                                 {"ServiceRunning", true}};
        QCOMPARE(vxr::ctl::statusText(values), QString("ServiceRunning          true\n"
                                                       "IdleSeconds             0.1\n"
                                                       "WorkerURL               -\n"
                                                       "MaxSandboxes            2\n"));
        QCOMPARE(vxr::ctl::jsonText(values, false),
                 QByteArray(R"({"IdleSeconds":0.1,"MaxSandboxes":2,"ServiceRunning":true,)"
                            R"("WorkerURL":""})"));
    }

    // The client's table is the interface's property list, names, types and access.
    void tableMatchesInterface() {
        QFile file(VXR_CONTROL_XML);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QXmlStreamReader xml(&file);
        QStringList declared;
        while (!xml.atEnd()) {
            if (xml.readNext() == QXmlStreamReader::StartElement &&
                xml.name() == QLatin1String("property"))
                declared.append(xml.attributes().value("name").toString() + ' ' +
                                xml.attributes().value("type").toString() + ' ' +
                                xml.attributes().value("access").toString());
        }
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        QStringList table;
        for (const vxr::ctl::PropertyInfo& p : vxr::ctl::properties())
            table.append(
                QString("%1 %2 %3")
                    .arg(p.name, QString(QChar(p.type)), p.writable ? "readwrite" : "read"));
        QCOMPARE(table, declared);
    }
};

QTEST_GUILESS_MAIN(TestCtlCommand)
#include "test_ctl_command.moc"
