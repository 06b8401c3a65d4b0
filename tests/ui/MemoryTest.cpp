// What is remembered between runs: the settings file, the desktop's keyring (a real gnome-keyring in a D-Bus
// session of the test's own, see support/with-keyring), and the prompts that offer what was remembered.
#include <QAction>
#include <QCheckBox>
#include <QDirIterator>
#include <QFile>
#include <QMenu>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <filesystem>

#include "platform/Certificates.h"
#include "support/DavServer.h"
#include "support/WindowDriver.h"
#include "ui/Keyring.h"
#include "ui/ServerMemory.h"

using namespace ostrel;
using namespace ostrel::test;

class MemoryTest : public QObject {
    Q_OBJECT

    QTemporaryDir folder;
    static constexpr auto privateFile =
        std::filesystem::perms::owner_read | std::filesystem::perms::owner_write;

    QString keyringMissing() {
        const QByteArray why = qgetenv("OSTREL_NO_KEYRING");
        return why.isEmpty() ? ui::Keyring().unavailableReason() : QString::fromLocal8Bit(why);
    }

private slots:
    void settingsKeepServersUserIdsResourcesAndPinsPrivately() {
        const QString file = folder.path() + "/a/settings.ini";
        {
            ui::ServerMemory memory(file);
            for (const char* server : {"http://one/dav", "https://two:4443/dav", "http://one/dav"})
                memory.useServer(server);
            memory.setUserId("http://one/dav", "ann");
            memory.setUserId("https://two:4443/dav", "bob");
            for (int i = 0; i < 60; ++i) memory.useResource("http://one/dav", QString("r%1.xml").arg(i));
            memory.useResource("http://one/dav", "r55.xml");
            memory.useResource("https://two:4443/dav", "x/y.xml");
            memory.setPin("two:4443", "sha256//AAAA");
            memory.setPin("one:443", "sha256//BBBB");
        }
        QCOMPARE(std::filesystem::status(file.toStdString()).permissions(), privateFile);
        ui::ServerMemory memory(file);  // as the next run reads it
        QCOMPARE(memory.servers(), QStringList({"http://one/dav", "https://two:4443/dav"}));
        QCOMPARE(memory.userId("http://one/dav") + memory.userId("https://two:4443/dav"), QString("annbob"));
        const QStringList recent = memory.resources("http://one/dav");
        QCOMPARE(recent.size(), 50);
        QCOMPARE(recent.mid(0, 3), QStringList({"r55.xml", "r59.xml", "r58.xml"}));
        QVERIFY(!recent.contains("r9.xml"));

        memory.forget("https://two:4443/dav");
        QCOMPARE(memory.servers(), QStringList({"http://one/dav"}));
        QCOMPARE(memory.userId("https://two:4443/dav") + memory.resources("https://two:4443/dav").join(""),
                 QString());
        QCOMPARE(memory.pin("two:4443") + "|" + memory.pin("one:443"), QString("|sha256//BBBB"));
        QCOMPARE(std::filesystem::status(file.toStdString()).permissions(), privateFile);
    }

    void keyringKeepsOnePasswordPerServerAndUser() {
        if (const QString missing = keyringMissing(); !missing.isEmpty())
            QSKIP(qPrintable("no secret service: " + missing));
        ui::Keyring keyring;
        keyring.store("http://one/dav", "ann", "secret one");
        keyring.store("http://two/dav", "ann", "secret two");
        keyring.store("http://one/dav", "ann", "secret new");
        QCOMPARE(keyring.password("http://one/dav", "ann").value_or("none"), QString("secret new"));
        QCOMPARE(keyring.password("http://two/dav", "ann").value_or("none"), QString("secret two"));
        QCOMPARE(keyring.password("http://one/dav", "bob").value_or("none"), QString("none"));
        keyring.remove("http://one/dav", "ann");
        keyring.remove("http://one/dav", "ann");  // already gone: nothing to complain about
        QCOMPARE(keyring.password("http://one/dav", "ann").value_or("none"), QString("none"));
    }

    // Two runs: the second offers the servers used, the last first, and fills in the user id and, only when
    // it was asked for, the password; the settings file never holds it.
    void promptsOfferWhatWasRemembered() {
        qputenv("XDG_CONFIG_HOME", (folder.path() + "/prompts").toLocal8Bit());
        const bool haveKeyring = keyringMissing().isEmpty();
        ScriptedToolkit toolkit;
        toolkit.inputs = {"http://127.0.0.1:9/a"};
        {
            ui::frmMain first(toolkit);
            whenLogonShows([](ui::frmLogon* dialog) {
                control<QCheckBox>(dialog, "chkRememberPassword")->setChecked(true);
                logOn(dialog, "ann", "pass word");
            });
            first.Form_Load();
        }
        toolkit.inputs = {"http://127.0.0.1:9/b"};
        {
            ui::frmMain second(toolkit);
            whenLogonShows([](ui::frmLogon* dialog) { logOn(dialog, "bob", "other"); });
            second.Form_Load();
        }
        toolkit.inputs = {"http://127.0.0.1:9/a"};
        QString userId, password;
        bool remember = false, enabled = false;
        QString why;
        ui::frmMain third(toolkit);
        whenLogonShows([&](ui::frmLogon* dialog) {
            userId = control<QLineEdit>(dialog, "txtUserId")->text();
            password = control<QLineEdit>(dialog, "txtPassword")->text();
            auto* box = control<QCheckBox>(dialog, "chkRememberPassword");
            remember = box->isChecked();
            enabled = box->isEnabled();
            why = box->toolTip();
            QTest::mouseClick(control<QAbstractButton>(dialog, "Command1"), Qt::LeftButton);
        });
        third.Form_Load();
        using Choices = std::vector<std::string>;
        QCOMPARE(toolkit.offeredChoices,
                 (std::vector<Choices>{{"http://127.0.0.1:4000/ostrelwebdavserver"},
                                       {"http://127.0.0.1:9/a"},
                                       {"http://127.0.0.1:9/b", "http://127.0.0.1:9/a"}}));
        QCOMPARE(toolkit.prompts.back().details, std::string("http://127.0.0.1:9/b"));
        QCOMPARE(toolkit.prompts.back().text + "|" + toolkit.prompts.back().title,
                 std::string("URI Ostrel WebDAVServer?|URI WebDAV server"));
        QCOMPARE(userId, QString("ann"));
        QCOMPARE(enabled, haveKeyring);
        QCOMPARE(why.isEmpty(), haveKeyring);
        QCOMPARE(password, QString(haveKeyring ? "pass word" : ""));
        QCOMPARE(remember, haveKeyring);
        // File > Forget this server takes the server in use away with its user id and password.
        for (QAction* action : third.findChild<QMenu*>("menuFile")->actions())
            if (action->text() == "Forget this server") action->trigger();
        QCOMPARE(toolkit.questions.back().title, std::string("Forget this server"));
        QCOMPARE(ui::ServerMemory().servers(), QStringList({"http://127.0.0.1:9/b"}));
        QCOMPARE(ui::ServerMemory().userId("http://127.0.0.1:9/a"), QString());
        if (haveKeyring)
            QCOMPARE(ui::Keyring().password("http://127.0.0.1:9/a", "ann").value_or("none"), QString("none"));

        // Neither the settings nor any other file in the configuration folder holds the password.
        QVERIFY(QFile::exists(ui::ServerMemory::defaultFile()));
        QDirIterator files(qEnvironmentVariable("XDG_CONFIG_HOME"), QDir::Files,
                           QDirIterator::Subdirectories);
        for (int guard = 0; guard < 1000 && files.hasNext(); ++guard) {
            QFile file(files.next());
            QVERIFY(file.open(QIODevice::ReadOnly));
            QVERIFY2(!file.readAll().contains("pass word"), qPrintable(file.fileName()));
        }
    }

    // A server whose certificate no authority vouches for: the first command after logon shows it; Cancel
    // leaves it refused and nothing is asked again; trusting it pins its key and the command goes through;
    // a new key is refused, naming both, without a question.
    void untrustedCertificatesAreAskedAboutOnceAndPinned() {
        qputenv("XDG_CONFIG_HOME", (folder.path() + "/trust").toLocal8Bit());
        const std::string certificates = folder.path().toStdString() + "/tls";
        std::filesystem::create_directories(certificates);
        std::filesystem::permissions(certificates, std::filesystem::perms(0755));
        makeSelfSignedCertificate(certificates);
        DavServer dav(
            {.tlsCertificate = certificates + "/server.pem", .tlsKey = certificates + "/server.key"});
        const std::string url = "https://127.0.0.1:" + std::to_string(dav.port()) + "/ostrelwebdavserver";
        const std::string pin = certificates::probe({"127.0.0.1", dav.port()}).publicKeyPin;
        ScriptedToolkit toolkit;
        const auto listRoot = [&](std::deque<int> answers) {
            toolkit.inputs = {url};
            toolkit.choices = std::move(answers);
            ui::frmMain window(toolkit);
            whenLogonShows([](ui::frmLogon* dialog) { logOn(dialog, "demo", "demo"); });
            window.Form_Load();
            setField(&window, "");
            click(&window, "Command8");
            click(&window, "Command8");
            return listed(&window);
        };

        QCOMPARE(listRoot({1}), QStringList());
        QCOMPARE(toolkit.questions.size(), std::size_t(1));
        const ScriptedToolkit::Shown& question = toolkit.questions[0];
        QCOMPARE(question.title + "|" + question.details,
                 std::string("Certificate|Trust this certificate for this server/Cancel"));
        const std::string endpoint = "127.0.0.1:" + std::to_string(dav.port());
        for (const std::string& part : {"The certificate of " + endpoint + " is not trusted: self-signed",
                                        std::string("Subject: O=Ostrel Test,CN=127.0.0.1"),
                                        std::string("Valid from "), "SHA-256 of the public key: " + pin})
            QVERIFY2(question.text.find(part) != std::string::npos, question.text.c_str());
        QVERIFY2(toolkit.last().find("could not be verified") != std::string::npos, toolkit.last().c_str());

        QCOMPARE(listRoot({0}), QStringList({"xbrl"}));
        QCOMPARE(toolkit.questions.size(), std::size_t(2));
        QCOMPARE(listRoot({}), QStringList({"xbrl"}));  // the pin was remembered: nothing asked
        QCOMPARE(toolkit.questions.size(), std::size_t(2));

        dav.stop();
        makeSelfSignedCertificate(certificates);
        dav.start();
        const std::size_t boxes = toolkit.boxes.size();
        QCOMPARE(listRoot({0}), QStringList());
        QCOMPARE(toolkit.questions.size(), std::size_t(2));
        QCOMPARE(toolkit.boxes.size(), boxes + 2);
        const std::string changed = certificates::probe({"127.0.0.1", dav.port()}).publicKeyPin;
        QVERIFY2(toolkit.last().find("The key of " + endpoint + " changed from the trusted " + pin + " to " +
                                     changed) != std::string::npos,
                 toolkit.last().c_str());
    }
};

QTEST_MAIN(MemoryTest)
#include "MemoryTest.moc"
