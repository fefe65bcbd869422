// korvel-sim: the virtual adapter on a pseudo-terminal, for the demo and for trying Korvel without hardware.
#include "link/virtualAdapterLink.h"
#include "sim/ptyAdapter.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
}

// The link is made beside its final name and renamed over it, so a reader never finds it missing. Only a
// symbolic link is replaced: a file or folder of the user's at that path is left alone.
bool placeLink(const QString& linkPath, const QString& target, QString* error) {
    const QByteArray link = QFile::encodeName(linkPath);
    struct stat info {};
    if (::lstat(link.constData(), &info) == 0 && !S_ISLNK(info.st_mode)) {
        *error = QStringLiteral("%1 exists and is not a symbolic link").arg(linkPath);
        return false;
    }
    const QByteArray temporary = link + ".new." + QByteArray::number(::getpid());
    ::unlink(temporary.constData());
    if (::symlink(QFile::encodeName(target).constData(), temporary.constData()) != 0 ||
        ::rename(temporary.constData(), link.constData()) != 0) {
        ::unlink(temporary.constData());
        *error = QStringLiteral("cannot create the link %1").arg(linkPath);
        return false;
    }
    return true;
}

// Another instance may have taken the name meanwhile; its link stays.
void removeLink(const QString& linkPath, const QString& target) {
    if (QFile::symLinkTarget(linkPath) == target) {
        QFile::remove(linkPath);
    }
}

bool loadScenarioFile(korvel::sim::AdapterEngine& engine, const QString& path, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return false;
    }
    const QByteArray text = file.read(korvel::sim::kMaxScenarioBytes + 1);
    std::string problem;
    if (!engine.loadScenario(std::string_view(text.constData(), static_cast<size_t>(text.size())),
                             &problem)) {
        *error = QStringLiteral("%1: %2").arg(path, QString::fromStdString(problem));
        return false;
    }
    return true;
}

// Enough for a timing run of 100 rows every 10 ms for well over a minute.
constexpr size_t kMaxArrivals = 10'000'000;

bool writeArrivals(const korvel::sim::AdapterEngine& engine, const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return false;
    }
    QByteArray text;
    for (const auto& arrival : engine.arrivals()) {
        text += QByteArray::number(static_cast<qlonglong>(arrival.atUs));
        text += ' ';
        text += QByteArray::fromStdString(korvel::sim::idText(arrival.frame));
        text += '\n';
    }
    return file.write(text) == text.size() && file.flush();
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("korvel-sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Virtual CAN adapter on a pseudo-terminal. Prints the terminal's path, then serves the ASCII line\n"
        "protocol until interrupted. Faults: split, lowercase, silent, bellonly, refuse, garbage, vanish."));
    parser.addHelpOption();
    const QCommandLineOption linkOption(
        QStringLiteral("link"),
        QStringLiteral("Keep the symbolic link to the terminal at <path> instead of %1, where Korvel's "
                       "Settings list it; an empty path keeps none.")
            .arg(korvel::virtualAdapterLinkPath()),
        QStringLiteral("path"));
    const QCommandLineOption scenarioOption(QStringLiteral("scenario"),
                                            QStringLiteral("Load a scenario file (docs/scenario.md)."),
                                            QStringLiteral("file"));
    const QCommandLineOption rateOption(QStringLiteral("rate"),
                                        QStringLiteral("Extra load in frames per second (0 to 1000000)."),
                                        QStringLiteral("n"));
    const QCommandLineOption faultOption(
        QStringLiteral("fault"), QStringLiteral("Switch a fault on; repeatable."), QStringLiteral("name"));
    const QCommandLineOption versionOption(QStringLiteral("version"),
                                           QStringLiteral("Version reply, e.g. V1013 or v0205."),
                                           QStringLiteral("text"));
    const QCommandLineOption tickOption(QStringLiteral("tick"),
                                        QStringLiteral("Milliseconds between output turns (default 2)."),
                                        QStringLiteral("ms"));
    const QCommandLineOption readRateOption(
        QStringLiteral("read-rate"),
        QStringLiteral("Take at most n bytes a second from the host, like a slow serial line (0: no limit)."),
        QStringLiteral("n"));
    const QCommandLineOption arrivalsOption(
        QStringLiteral("arrivals"),
        QStringLiteral(
            "On exit, write the arrival time (microseconds) and identifier of every frame the host\n"
            "sent to <file>, one per line."),
        QStringLiteral("file"));
    parser.addOptions({linkOption, scenarioOption, rateOption, faultOption, versionOption, tickOption,
                       readRateOption, arrivalsOption});
    parser.process(app);

    korvel::sim::PtyAdapter adapter;
    if (!adapter.isOpen()) {
        std::fprintf(stderr, "korvel-sim: %s\n", qPrintable(adapter.errorString()));
        return 1;
    }
    korvel::sim::AdapterEngine& engine = adapter.engine();
    QString error;
    if (parser.isSet(scenarioOption) && !loadScenarioFile(engine, parser.value(scenarioOption), &error)) {
        std::fprintf(stderr, "korvel-sim: %s\n", qPrintable(error));
        return 2;
    }
    if (parser.isSet(rateOption)) {
        bool ok = false;
        const double rate = parser.value(rateOption).toDouble(&ok);
        if (!ok || rate < 0 || rate > korvel::sim::TrafficGenerator::kMaxRate) {
            std::fprintf(stderr, "korvel-sim: --rate wants a number from 0 to 1000000\n");
            return 2;
        }
        engine.setRate(rate);
    }
    for (const QString& name : parser.values(faultOption)) {
        const auto fault = korvel::sim::faultFromName(name.toStdString());
        if (!fault) {
            std::fprintf(stderr, "korvel-sim: unknown fault %s\n", qPrintable(name));
            return 2;
        }
        engine.setFault(*fault, true);
    }
    if (parser.isSet(versionOption)) {
        const QString text = parser.value(versionOption);
        if (text.size() < 2 || text.size() > 32 ||
            (text[0] != QLatin1Char('v') && text[0] != QLatin1Char('V'))) {
            std::fprintf(stderr, "korvel-sim: --version wants a reply such as V1013\n");
            return 2;
        }
        engine.setVersionReply(text[0].toLatin1(), text.toStdString());
    }
    if (parser.isSet(tickOption)) {
        bool ok = false;
        const int tick = parser.value(tickOption).toInt(&ok);
        if (!ok || tick < 1 || tick > 1000) {
            std::fprintf(stderr, "korvel-sim: --tick wants milliseconds from 1 to 1000\n");
            return 2;
        }
        adapter.setTickInterval(tick);
    }

    if (parser.isSet(readRateOption)) {
        bool ok = false;
        const qint64 rate = parser.value(readRateOption).toLongLong(&ok);
        if (!ok || rate < 0 || rate > 100000000) {
            std::fprintf(stderr, "korvel-sim: --read-rate wants bytes per second from 0 to 100000000\n");
            return 2;
        }
        adapter.setHostReadRate(rate);
    }

    const QString arrivalsPath = parser.value(arrivalsOption);
    if (!arrivalsPath.isEmpty()) {
        engine.setArrivalLimit(kMaxArrivals);
    }

    // Without --link the adapter announces itself where Korvel's device list looks; a newer instance takes
    // the name over.
    const QString linkPath =
        parser.isSet(linkOption) ? parser.value(linkOption) : korvel::virtualAdapterLinkPath();
    if (!linkPath.isEmpty() && !placeLink(linkPath, adapter.slavePath(), &error)) {
        std::fprintf(stderr, "korvel-sim: %s\n", qPrintable(error));
        return 1;
    }
    if (!linkPath.isEmpty()) {
        std::fprintf(stderr, "korvel-sim: in Korvel's Settings choose the device COM%s\n",
                     qPrintable(linkPath));
    }

    // Signals only write a byte; the event loop quits, so the link is removed on the normal way out.
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::fprintf(stderr, "korvel-sim: cannot create the signal pipe\n");
        removeLink(linkPath, adapter.slavePath());
        return 1;
    }
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        ::sigaction(signal, &action, nullptr);
    }
    QSocketNotifier signalNotifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    QObject::connect(&adapter, &korvel::sim::PtyAdapter::vanished, &app, [] {
        std::fprintf(stderr, "korvel-sim: the adapter vanished\n");
        QCoreApplication::quit();
    });

    std::printf("%s\n", qPrintable(adapter.slavePath()));
    std::fflush(stdout);
    const int status = app.exec();
    if (!linkPath.isEmpty()) {
        removeLink(linkPath, adapter.slavePath());
    }
    if (!arrivalsPath.isEmpty() && !writeArrivals(engine, arrivalsPath)) {
        std::fprintf(stderr, "korvel-sim: cannot write %s\n", qPrintable(arrivalsPath));
    }
    // What a load test compares its receiver's count with.
    std::fprintf(stderr, "korvel-sim: %llu frames sent, %llu overruns, %llu filtered\n",
                 static_cast<unsigned long long>(engine.framesSentToHost()),
                 static_cast<unsigned long long>(engine.overruns()),
                 static_cast<unsigned long long>(engine.framesDroppedByFilter()));
    return status;
}
