// Hosts that differ per process (no Qt application, a core-only one, no display): this program runs itself
// as such a host in a child process, since Qt's application state cannot be undone within one process.
#include "dialogDriver.h"
#include "hostScenarios.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QLineEdit>
#include <QProcess>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>

namespace {

bool check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "host scenario failed: %s\n", what);
    }
    return condition;
}

// Filled before the library creates its application; the pre-routine arms one per created application.
std::deque<Interaction> pendingInteractions;
std::unique_ptr<DialogDriver> currentDriver;

void armNextInteraction() {
    if (pendingInteractions.empty()) {
        return;
    }
    currentDriver = std::make_unique<DialogDriver>(pendingInteractions.front());
    pendingInteractions.pop_front();
    currentDriver->arm();
}

bool driverClean() {
    const std::string problem = currentDriver ? currentDriver->problem() : "the dialog never showed";
    currentDriver.reset();
    return check(problem.empty(), problem.c_str());
}

// The call makes its own application, twice in a row, and hands the process back as it found it.
bool hostWithoutApplication(ShowCanSetupFunction show) {
    qAddPreRoutine(armNextInteraction);
    pendingInteractions.push_back([](SetupControls& c) {
        c.bitrate->setCurrentIndex(c.bitrate->findData(250));
        typeInto(c.btrValue, "7FF");
        typeInto(c.serialNumber, "AB12");
        pressOK(c);
    });
    pendingInteractions.push_back([](SetupControls& c) {
        typeInto(c.serialNumber, "CHANGED");
        QTest::keyClick(c.dialog, Qt::Key_Escape);
    });
    std::setlocale(LC_ALL, "C");
    SetupRecord record = makeRecord("QX0042", 500, 0x1C);
    bool ok = check(show(nullptr, &record) == 1, "first call returns 1") && driverClean();
    ok = check(std::strcmp(record.serialNumber, "AB12") == 0 && record.bitrateKbit == 250 &&
                   record.btrValue == 0x7FF,
               "OK stores the edits") &&
         ok;
    ok = check(QCoreApplication::instance() == nullptr, "the application is gone after the call") && ok;
    ok = check(std::strcmp(std::setlocale(LC_ALL, nullptr), "C") == 0, "the host's locale is kept") && ok;
    const SetupRecord before = record;
    ok = check(show(nullptr, &record) == 1, "second call returns 1") && driverClean() && ok;
    return check(sameBytes(record, before), "Escape leaves the record") && ok;
}

bool hostWithCoreApplication(ShowCanSetupFunction show) {
    int argc = 1;
    char name[] = "host";
    char* argv[] = {name, nullptr};
    QCoreApplication application(argc, argv);
    SetupRecord record = makeRecord("QX0042", 500, 0x1C);
    const SetupRecord before = record;
    return check(show(nullptr, &record) == 0, "returns 0") && check(sameBytes(record, before), "untouched");
}

bool hostWithoutDisplay(ShowCanSetupFunction show) {
    SetupRecord record = makeRecord("QX0042", 500, 0x1C);
    const SetupRecord before = record;
    return check(show(nullptr, &record) == 0, "returns 0") && check(sameBytes(record, before), "untouched");
}

void expectScenarioPasses(const char* scenario, const QProcessEnvironment& environment) {
    QProcess child;
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--host=") + scenario});
    ASSERT_TRUE(child.waitForFinished(60000)) << scenario << " did not finish";
    const QString output = QString::fromLocal8Bit(child.readAll());
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit) << scenario << " crashed:\n" << output.toStdString();
    EXPECT_EQ(child.exitCode(), 0) << scenario << ":\n" << output.toStdString();
}

QProcessEnvironment environmentWithout(std::initializer_list<const char*> names) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : names) {
        environment.remove(QString::fromLatin1(name));
    }
    return environment;
}

} // namespace

int runHostScenario(std::string_view scenario) {
    const ShowCanSetupFunction show = showCanSetupEntry();
    if (!check(show != nullptr, "ShowCanSetup loads")) {
        return 1;
    }
    bool passed = false;
    if (scenario == "no-application") {
        passed = hostWithoutApplication(show);
    } else if (scenario == "core-application") {
        passed = hostWithCoreApplication(show);
    } else if (scenario == "no-display") {
        passed = hostWithoutDisplay(show);
    } else {
        check(false, "known scenario");
    }
    return passed ? 0 : 1;
}

TEST(HostProcess, HostWithoutQtGetsAnApplicationForTheCall) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    expectScenarioPasses("no-application", environment);
}

TEST(HostProcess, CoreApplicationHostGetsZero) {
    expectScenarioPasses("core-application", QProcessEnvironment::systemEnvironment());
}

TEST(HostProcess, NoDisplayGivesZeroInsteadOfEndingTheHost) {
#if !defined(Q_OS_UNIX) || defined(Q_OS_DARWIN)
    GTEST_SKIP() << "only X11 and Wayland systems can lack a display";
#endif
    expectScenarioPasses("no-display", environmentWithout({"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}));

    QProcessEnvironment deadServer = environmentWithout({"QT_QPA_PLATFORM", "WAYLAND_DISPLAY"});
    deadServer.insert(QStringLiteral("DISPLAY"), QStringLiteral(":5917"));
    expectScenarioPasses("no-display", deadServer);
}
