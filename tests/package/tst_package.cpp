// The Debian packages as built by CPack: unpacked into a scratch root (no real
// install), its programs run from there, its man pages say what --help says,
// lintian finds no error, the programs are hardened, the units sandboxed, and
// its station, run headless as the service would (settings seeded from a
// read-only file into its state folder, bound to loopback), polls a simulated
// line, archives, relays and stops at once on SIGTERM.
#include "freeport.h"
#include "kx7rversion.h"
#include "programrun.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QStringList kPrograms = {QStringLiteral("kx7r-station"), QStringLiteral("kx7r-blocksim"),
                               QStringLiteral("kx7r-live"), QStringLiteral("kx7r-history")};

// The text of a man page's no-fill block, with roff's escapes undone.
QString manPageHelp(const QByteArray& page)
{
    const QString text = QString::fromUtf8(page);
    const qsizetype begin = text.indexOf(QStringLiteral("\n.nf\n"));
    const qsizetype end = text.indexOf(QStringLiteral("\n.fi\n"));
    if (begin < 0 || end < begin)
        return {};
    QString help = text.mid(begin + 5, end - begin - 5);
    help.replace(QStringLiteral("\\-"), QStringLiteral("-"));
    help.replace(QStringLiteral("\\&"), QString());
    help.replace(QStringLiteral("\\e"), QStringLiteral("\\"));
    return help;
}

} // namespace

class TestPackage : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_deb;      // kx7r-station
    QString m_toolsDeb; // kx7r-station-tools
    QString m_root;

    QString installed(const QString& path) const { return m_root + u'/' + path; }

private slots:
    void initTestCase()
    {
        const QString cpack = QStandardPaths::findExecutable(QStringLiteral("cpack"));
        if (cpack.isEmpty() || QStandardPaths::findExecutable(QStringLiteral("dpkg-deb")).isEmpty())
            QSKIP("cpack and dpkg-deb are needed to build and unpack the Debian package.");
        QVERIFY(m_dir.isValid());
        const QString buildDir = QDir(QStringLiteral(KX7R_BIN_DIR)).absoluteFilePath(u".."_s);
        const ProgramRun pack =
            runProgram(cpack,
                       {QStringLiteral("-G"), QStringLiteral("DEB"), QStringLiteral("--config"),
                        buildDir + QStringLiteral("/CPackConfig.cmake"), QStringLiteral("-B"),
                        m_dir.filePath(QStringLiteral("out"))},
                       120000);
        QVERIFY2(pack.code == 0, QByteArray(pack.out + pack.err).constData());
        const QStringList debs = QDir(m_dir.filePath(QStringLiteral("out")))
                                     .entryList({QStringLiteral("*.deb")}, QDir::Files);
        QCOMPARE(debs.size(), 2);
        for (const QString& deb : debs)
            (deb.startsWith(u"kx7r-station-tools_") ? m_toolsDeb : m_deb) =
                m_dir.filePath(QStringLiteral("out/") + deb);
        QVERIFY(!m_deb.isEmpty() && !m_toolsDeb.isEmpty());
        m_root = m_dir.filePath(QStringLiteral("root"));
        for (const QString& deb : {m_deb, m_toolsDeb}) {
            const ProgramRun extract =
                runProgram(QStringLiteral("dpkg-deb"), {QStringLiteral("-x"), deb, m_root});
            QVERIFY2(extract.code == 0, extract.err);
        }
    }

    void controlFieldsNameTheLibraries()
    {
        QVERIFY(QFileInfo(m_deb).fileName().startsWith(QStringLiteral("kx7r-station_") +
                                                       QStringLiteral(KX7R_VERSION) + u'_'));
        const ProgramRun fields = runProgram(
            QStringLiteral("dpkg-deb"), {QStringLiteral("-f"), m_deb, QStringLiteral("Package"),
                                         QStringLiteral("Version"), QStringLiteral("Depends")});
        QCOMPARE(fields.code, 0);
        QVERIFY2(fields.out.contains("Package: kx7r-station\n"), fields.out);
        QVERIFY2(fields.out.contains("Version: " KX7R_VERSION "\n"), fields.out);
        // dpkg-shlibdeps found the Qt libraries the programs link.
        // The window's platform plugins too, which no library names.
        for (const char* library :
             {"libqt6core6", "libqt6serialport6", "libqt6widgets6", "adduser", "qt6-qpa-plugins"})
            QVERIFY2(fields.out.contains(library), fields.out);
        const ProgramRun tools =
            runProgram(QStringLiteral("dpkg-deb"),
                       {QStringLiteral("-f"), m_toolsDeb, QStringLiteral("Package")});
        QCOMPARE(tools.out, QByteArray("kx7r-station-tools\n"));
        const ProgramRun contents =
            runProgram(QStringLiteral("dpkg-deb"), {QStringLiteral("-c"), m_deb});
        QVERIFY2(!contents.out.contains("kx7r-blocksim"), contents.out);

        const QString control = m_dir.filePath(QStringLiteral("control"));
        QCOMPARE(
            runProgram(QStringLiteral("dpkg-deb"), {QStringLiteral("-e"), m_deb, control}).code, 0);
        for (const char* script : {"postinst", "prerm", "postrm"}) {
            const QString path = control + u'/' + QLatin1String(script);
            QVERIFY2(QFileInfo(path).isExecutable(), qPrintable(path));
            const ProgramRun syntax =
                runProgram(QStringLiteral("sh"), {QStringLiteral("-n"), path});
            QVERIFY2(syntax.code == 0, syntax.err);
        }
    }

    // The package's prerm, run as dpkg would on a systemd host (its test for
    // systemd pointed at a folder here), with a deb-systemd-invoke that notes
    // what it was asked.
    void prermStopsTheServiceAndEveryInstance_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("asked");
        QTest::newRow("remove") << u"remove"_s
                                << u"stop kx7r-station.service kx7r-station@*.service\n"_s;
        QTest::newRow("upgrade") << u"upgrade"_s << QString();
    }
    void prermStopsTheServiceAndEveryInstance()
    {
        QFETCH(QString, action);
        QFETCH(QString, asked);
        QFile prerm(m_dir.filePath(u"control/prerm"_s));
        if (!prerm.exists()) {
            const ProgramRun control = runProgram(QStringLiteral("dpkg-deb"),
                                                  {u"-e"_s, m_deb, m_dir.filePath(u"control"_s)});
            QCOMPARE(control.code, 0);
        }
        QVERIFY(prerm.open(QIODevice::ReadOnly));
        QTemporaryDir scratch;
        QVERIFY(QDir(scratch.path()).mkpath(u"run/systemd/system"_s));
        QByteArray script = prerm.readAll();
        QVERIFY(script.contains("/run/systemd/system"));
        script.replace("/run/systemd/system", scratch.filePath(u"run/systemd/system"_s).toUtf8());
        const QString log = scratch.filePath(u"asked"_s);
        QFile stub(scratch.filePath(u"deb-systemd-invoke"_s));
        QVERIFY(stub.open(QIODevice::WriteOnly));
        stub.write("#!/bin/sh\necho \"$*\" >> '" + log.toUtf8() + "'\n");
        stub.close();
        QVERIFY(stub.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                    QFileDevice::ExeOwner));
        QFile copy(scratch.filePath(u"prerm"_s));
        QVERIFY(copy.open(QIODevice::WriteOnly));
        copy.write(script);
        copy.close();

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"PATH"_s, scratch.path() + u':' + environment.value(u"PATH"_s));
        const ProgramRun run =
            runProgram(QStringLiteral("sh"), {copy.fileName(), action}, 10000, environment);
        QVERIFY2(run.code == 0, run.err.constData());
        QFile said(log);
        QCOMPARE(said.open(QIODevice::ReadOnly) ? QString::fromUtf8(said.readAll()) : QString(),
                 asked);
    }

    void filesAreWhereTheSystemLooks_data()
    {
        QTest::addColumn<QString>("path");
        for (const QString& program : kPrograms) {
            QTest::newRow(qPrintable(program)) << u"usr/bin/"_s + program;
            QTest::newRow(qPrintable(program + u".1"))
                << u"usr/share/man/man1/"_s + program + u".1.gz"_s;
        }
        QTest::newRow("desktop") << u"usr/share/applications/kx7r-station.desktop"_s;
        QTest::newRow("icon") << u"usr/share/icons/hicolor/scalable/apps/kx7r-station.svg"_s;
        QTest::newRow("unit") << u"lib/systemd/system/kx7r-station.service"_s;
        QTest::newRow("template unit") << u"lib/systemd/system/kx7r-station@.service"_s;
        QTest::newRow("settings page") << u"usr/share/man/man5/kx7r-station.ini.5.gz"_s;
        QTest::newRow("example") << u"usr/share/doc/kx7r-station/examples/kx7r-station.ini"_s;
        for (const QString& package : {u"kx7r-station"_s, u"kx7r-station-tools"_s}) {
            QTest::newRow(qPrintable(package + u" copyright"))
                << u"usr/share/doc/"_s + package + u"/copyright"_s;
            QTest::newRow(qPrintable(package + u" changelog"))
                << u"usr/share/doc/"_s + package + u"/changelog.gz"_s;
        }
        QTest::newRow("user") << u"usr/lib/sysusers.d/kx7r-station.conf"_s;
        QTest::newRow("settings") << u"usr/share/kx7r-station/kx7r-station.ini"_s;
    }
    void filesAreWhereTheSystemLooks()
    {
        QFETCH(QString, path);
        QVERIFY2(QFileInfo(installed(path)).isFile(), qPrintable(path));
        if (path.startsWith(u"usr/bin/"))
            QVERIFY(QFileInfo(installed(path)).isExecutable());
    }

    void manPagesSayWhatHelpSays()
    {
        // By name from PATH, as a user runs them: the usage line shows the name.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"PATH"_s, installed(u"usr/bin:"_s) + environment.value(u"PATH"_s));
        environment.insert(u"LC_ALL"_s, u"C.UTF-8"_s);
        for (const QString& program : kPrograms) {
            const ProgramRun help =
                runProgram(u"env"_s, {program, u"--help"_s}, 60000, environment);
            QVERIFY2(help.code == 0, qPrintable(program + u": "_s + QString::fromUtf8(help.err)));
            QVERIFY(help.out.contains("--version"));
            const ProgramRun version =
                runProgram(installed(u"usr/bin/"_s + program), {QStringLiteral("--version")});
            QCOMPARE(version.out, program.toUtf8() + ' ' + KX7R_VERSION + '\n');

            const ProgramRun page =
                runProgram(QStringLiteral("gzip"),
                           {QStringLiteral("-dc"),
                            installed(u"usr/share/man/man1/"_s + program + u".1.gz"_s)});
            QCOMPARE(page.code, 0);
            // A page with a table first names its preprocessor, tbl.
            const QByteArray text = page.out.startsWith("'\\\" t\n") ? page.out.mid(6) : page.out;
            QVERIFY(text.startsWith(QByteArray(".TH " + program.toUpper().toUtf8() + " 1 ")));
            QCOMPARE(manPageHelp(page.out), QString::fromUtf8(help.out).trimmed());
        }
    }

    void unitRunsTheStationAsItsOwnUser()
    {
        QFile unit(installed(u"lib/systemd/system/kx7r-station.service"_s));
        QVERIFY(unit.open(QIODevice::ReadOnly));
        const QByteArray text = unit.readAll();
        for (const char* line :
             {"ExecStart=/usr/bin/kx7r-station --headless --config-seed "
              "/etc/kx7r-station/kx7r-station.ini --config "
              "/var/lib/kx7r-station/kx7r-station.ini\n",
              "ProtectSystem=strict\n", "ReadWritePaths=-/run/lock\n", "DevicePolicy=closed\n",
              "CapabilityBoundingSet=\n", "User=kx7r-station\n", "SupplementaryGroups=dialout\n",
              "StateDirectory=kx7r-station\n", "Restart=on-failure\n"})
            QVERIFY2(text.contains(line), line);
        QVERIFY(!text.contains("StandardError="));

        QSettings shipped(installed(u"usr/share/kx7r-station/kx7r-station.ini"_s),
                          QSettings::IniFormat);
        QCOMPARE(shipped.value(u"KX7R_QUERRY/HistoryFolder"_s).toString(),
                 u"/var/lib/kx7r-station/archive"_s);

        const QString analyze = QStandardPaths::findExecutable(QStringLiteral("systemd-analyze"));
        if (analyze.isEmpty())
            QSKIP("systemd-analyze is not installed: the unit file is not verified.");
        // Verified on this system, with the program and the man page its Documentation=
        // names taken from the scratch root: only ExecStart's folder differs.
        QDir(m_dir.path()).mkpath(u"unit"_s);
        QFile copy(m_dir.filePath(u"unit/kx7r-station.service"_s));
        QVERIFY(copy.open(QIODevice::WriteOnly));
        copy.write(QByteArray(text).replace(
            "ExecStart=/usr/bin/", QByteArray("ExecStart=" + installed(u"usr/bin/"_s).toUtf8())));
        copy.close();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"MANPATH"_s, installed(u"usr/share/man"_s));
        const ProgramRun verify =
            runProgram(analyze, {u"verify"_s, copy.fileName()}, 60000, environment);
        QVERIFY2(verify.code == 0 && verify.err.trimmed().isEmpty(),
                 QByteArray(verify.out + verify.err).constData());
    }

    void unitsAreSandboxed_data()
    {
        QTest::addColumn<QString>("unit");
        QTest::addColumn<QString>("as"); // a template is looked at as one instance
        QTest::newRow("service") << u"kx7r-station.service"_s << u"kx7r-station.service"_s;
        QTest::newRow("template") << u"kx7r-station@.service"_s << u"kx7r-station@test.service"_s;
    }
    void unitsAreSandboxed()
    {
        QFETCH(QString, unit);
        QFETCH(QString, as);
        const QString analyze = QStandardPaths::findExecutable(QStringLiteral("systemd-analyze"));
        if (analyze.isEmpty())
            QSKIP("systemd-analyze is not installed: the sandbox is not scored.");
        QFile source(installed(u"lib/systemd/system/"_s + unit));
        QVERIFY(source.open(QIODevice::ReadOnly));
        QDir(m_dir.path()).mkpath(u"sandbox"_s);
        QFile copy(m_dir.filePath(u"sandbox/"_s + as));
        QVERIFY(copy.open(QIODevice::WriteOnly));
        copy.write(source.readAll().replace(
            "ExecStart=/usr/bin/", QByteArray("ExecStart=" + installed(u"usr/bin/"_s).toUtf8())));
        copy.close();
        const ProgramRun security = runProgram(
            analyze, {u"security"_s, u"--offline=yes"_s, u"--no-pager"_s, copy.fileName()});
        const QRegularExpression overall(u"Overall exposure level for [^:]+: ([0-9.]+)"_s);
        const QRegularExpressionMatch match =
            overall.match(QString::fromUtf8(security.out + security.err));
        QVERIFY2(match.hasMatch(), QByteArray(security.out + security.err).constData());
        const double score = match.captured(1).toDouble();
        qInfo().noquote() << as << "exposure" << score;
        QVERIFY2(score <= 2.0, qPrintable(match.captured(0)));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"MANPATH"_s, installed(u"usr/share/man"_s));
        const ProgramRun verify =
            runProgram(analyze, {u"verify"_s, copy.fileName()}, 60000, environment);
        QVERIFY2(verify.code == 0 && verify.err.trimmed().isEmpty(),
                 QByteArray(verify.out + verify.err).constData());
    }

    void lintianFindsNoError()
    {
        const QString lintian = QStandardPaths::findExecutable(QStringLiteral("lintian"));
        if (lintian.isEmpty())
            QSKIP("lintian is not installed: the packages are not checked.");
        const ProgramRun check =
            runProgram(lintian, {u"--tag-display-limit"_s, u"0"_s, m_deb, m_toolsDeb}, 300000);
        QVERIFY2(check.code >= 0, check.err.constData());
        const QByteArray report = check.out + check.err;
        for (const QByteArray& line : report.split('\n'))
            QVERIFY2(!line.startsWith("E: "), report.constData());
        if (!report.trimmed().isEmpty())
            qInfo().noquote() << "lintian:" << QString::fromUtf8(report.trimmed());
    }

    void programsAreHardened()
    {
        const QString check = QStandardPaths::findExecutable(QStringLiteral("hardening-check"));
        if (check.isEmpty())
            QSKIP("hardening-check (devscripts) is not installed: the flags are not checked.");
#ifdef KX7R_SANITIZED
        QSKIP("The sanitized tree is built without the release hardening flags.");
#endif
        for (const QString& program : kPrograms) {
            const ProgramRun result = runProgram(check, {installed(u"usr/bin/"_s + program)});
            for (const char* line : {" Position Independent Executable: yes",
                                     " Stack protected: yes", " Fortify Source functions: yes",
                                     " Read-only relocations: yes", " Immediate binding: yes"})
                QVERIFY2(result.out.contains(line),
                         qPrintable(program + u": "_s + QString::fromUtf8(result.out)));
        }
    }

    void checkConfigJudgesTheExampleAndABrokenFile_data()
    {
        QTest::addColumn<QByteArray>("settings"); // empty: the installed example
        QTest::addColumn<int>("code");
        QTest::addColumn<QByteArray>("said");
        QTest::newRow("the example") << QByteArray() << 0 << QByteArray("0 error(s)");
        QTest::newRow("a refused value")
            << QByteArray("[KX7R_QUERRY]\nTCP_IP_Port=5000\nHistoryFolder=/srv/a\n"
                          "[KX7R_QUERRY/RS/TERMINAL1]\nCOMName=COM1\nBaudRate=9601\n")
            << 1 << QByteArray("error: KX7R_QUERRY\\RS\\TERMINAL1\\BaudRate:");
        QTest::newRow("not INI") << QByteArray("TCP_IP_Port 5000\n") << 2
                                 << QByteArray("line 1 is neither");
    }
    void checkConfigJudgesTheExampleAndABrokenFile()
    {
        QFETCH(QByteArray, settings);
        QFETCH(int, code);
        QFETCH(QByteArray, said);
        QString file = installed(u"usr/share/doc/kx7r-station/examples/kx7r-station.ini"_s);
        if (!settings.isEmpty()) {
            file = m_dir.filePath(u"check.ini"_s);
            QFile out(file);
            QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
            out.write(settings);
        }
        const ProgramRun check = runProgram(installed(u"usr/bin/kx7r-station"_s),
                                            {u"--check-config"_s, u"--config"_s, file});
        QCOMPARE(check.code, code);
        QVERIFY2(QByteArray(check.out + check.err).contains(said),
                 QByteArray(check.out + check.err).constData());
    }

    void serviceUserIsCreatedInDialout()
    {
        const QString sysusers = QStandardPaths::findExecutable(u"systemd-sysusers"_s);
        if (sysusers.isEmpty())
            QSKIP("systemd-sysusers is not installed: the user file is not tried.");
        // Into the scratch root's own user database, never this system's.
        QVERIFY(QDir(m_root).mkpath(u"etc"_s));
        QFile group(installed(u"etc/group"_s));
        QVERIFY(group.open(QIODevice::WriteOnly));
        group.write("root:x:0:\ndialout:x:20:\n");
        group.close();
        const ProgramRun created =
            runProgram(sysusers, {u"--root="_s + m_root, u"kx7r-station.conf"_s});
        QVERIFY2(created.code == 0, created.err.constData());

        QFile passwd(installed(u"etc/passwd"_s));
        QVERIFY(passwd.open(QIODevice::ReadOnly));
        const QList<QByteArray> user = passwd.readAll().split('\n').first().split(':');
        QCOMPARE(user.value(0), "kx7r-station");
        QCOMPARE(user.value(5), "/var/lib/kx7r-station");
        QCOMPARE(user.value(6), "/usr/sbin/nologin");
        QVERIFY(user.value(2).toInt() > 0 && user.value(2).toInt() < 1000);
        QVERIFY(group.open(QIODevice::ReadOnly));
        QVERIFY(group.readAll().contains("\ndialout:x:20:kx7r-station\n"));
    }

    void installedStationPollsArchivesRelaysAndStops()
    {
        // The simulated field writes the administrator's settings (/etc), as an
        // operator would; the station, as the unit runs it, only reads them and
        // works on its own copy in its state folder (/var/lib).
        QVERIFY(QDir(m_dir.path()).mkpath(u"etc"_s) && QDir(m_dir.path()).mkpath(u"state"_s));
        const QString config = m_dir.filePath(QStringLiteral("etc/kx7r-station.ini"));
        const QString state = m_dir.filePath(QStringLiteral("state/kx7r-station.ini"));
        QVERIFY(QFile::copy(installed(u"usr/share/kx7r-station/kx7r-station.ini"_s), config));
        QFile::setPermissions(config, QFile::ReadOwner | QFile::WriteOwner);
        const QString archive = m_dir.filePath(QStringLiteral("state/archive"));
        const QString scenario = m_dir.filePath(QStringLiteral("field.txt"));
        QFile field(scenario);
        QVERIFY(field.open(QIODevice::WriteOnly));
        field.write("line 1\nblock 1\nchannel 0 std69 name=Tank timeout=2\n");
        field.close();
        const quint16 livePort = freePort();

        QProcess sim;
        sim.setProcessChannelMode(QProcess::MergedChannels);
        sim.start(installed(u"usr/bin/kx7r-blocksim"_s),
                  {u"--scenario"_s, scenario, u"--write-config"_s, config, u"--archive"_s, archive,
                   u"--live-port"_s, QString::number(livePort), u"--link-dir"_s,
                   m_dir.filePath(u"lines"_s)});
        QByteArray simLog;
        QTRY_VERIFY_WITH_TIMEOUT((simLog += sim.readAll()).contains("field running"), 10000);

        QProcess station;
        station.setProcessChannelMode(QProcess::MergedChannels);
        QFile seed(config);
        QVERIFY(seed.open(QIODevice::ReadOnly));
        const QByteArray seedBytes = seed.readAll();
        seed.close();
        station.start(installed(u"usr/bin/kx7r-station"_s),
                      {u"--headless"_s, u"--config-seed"_s, config, u"--config"_s, state,
                       u"--listen-address"_s, u"127.0.0.1"_s, u"--history-port"_s,
                       QString::number(freePort()), u"--http-port"_s, QString()});
        QByteArray log;
        QTRY_VERIFY_WITH_TIMEOUT((log += station.readAll()).contains("history service listening"),
                                 10000);
        // Another loopback address of this machine is not listened on.
        QTcpSocket elsewhere;
        elsewhere.connectToHost(QHostAddress(u"127.0.0.2"_s), livePort);
        QVERIFY2(!elsewhere.waitForConnected(2000), log);

        QTcpSocket live;
        live.connectToHost(QHostAddress::LocalHost, livePort);
        QVERIFY2(live.waitForConnected(5000), log);
        QTRY_VERIFY_WITH_TIMEOUT(live.bytesAvailable() > 0, 15000);

        auto archivedLines = [&archive] {
            QDirIterator it(archive, {u"*.mes"_s}, QDir::Files, QDirIterator::Subdirectories);
            int lines = 0;
            while (it.hasNext()) {
                QFile file(it.next());
                if (file.open(QIODevice::ReadOnly))
                    lines += int(file.readAll().count("\r\n"));
            }
            return lines;
        };
        // The column header and at least one measurement.
        QTRY_VERIFY_WITH_TIMEOUT(archivedLines() >= 2, 15000);

        station.terminate();
        QVERIFY2(station.waitForFinished(5000), log);
        QCOMPARE(station.exitStatus(), QProcess::NormalExit);
        QCOMPARE(station.exitCode(), 0);
        sim.terminate();
        QVERIFY(sim.waitForFinished(5000));

        // The administrator's file is as it was, alone in its folder; the state
        // folder holds the station's copy with the last measurement, and the archive.
        QVERIFY(seed.open(QIODevice::ReadOnly));
        QCOMPARE(seed.readAll(), seedBytes);
        QCOMPARE(QDir(m_dir.filePath(u"etc"_s)).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList{u"kx7r-station.ini"_s});
        const QStringList stateFiles =
            QDir(m_dir.filePath(u"state"_s)).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
        QVERIFY2(stateFiles.contains(u"kx7r-station.ini"_s) && stateFiles.contains(u"archive"_s),
                 qPrintable(stateFiles.join(u' ')));
        QSettings copied(state, QSettings::IniFormat);
        QCOMPARE(copied.value(u"KX7R_QUERRY/TCP_IP_Port"_s).toString(), QString::number(livePort));
        QVERIFY2(QRegularExpression(u"^\\d{14}$"_s)
                     .match(copied.value(u"KX7R_QUERRY/LastMeasure"_s).toString())
                     .hasMatch(),
                 qPrintable(copied.value(u"KX7R_QUERRY/LastMeasure"_s).toString()));
    }
};

QTEST_GUILESS_MAIN(TestPackage)
#include "tst_package.moc"
