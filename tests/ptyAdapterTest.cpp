// The virtual adapter on a real pseudo-terminal, driven from the test's own thread as Korvel drives it.
#include "sim/ptyAdapter.h"

#ifdef KORVEL_SIM_HAVE_PTY

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <unistd.h>

using namespace korvel::sim;
using ::testing::ElementsAre;

namespace {

constexpr int64_t kMs = 1000;

// The host end, opened with plain POSIX calls as a serial library would.
class HostEnd {
public:
    explicit HostEnd(const QString& path)
        : fd_(::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {}
    ~HostEnd() { close(); }
    HostEnd(const HostEnd&) = delete;
    HostEnd& operator=(const HostEnd&) = delete;

    [[nodiscard]] bool isOpen() const { return fd_ >= 0; }
    void close() {
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ssize_t write(std::string_view bytes) { return ::write(fd_, bytes.data(), bytes.size()); }

    // Reads what one poll brings, after letting the adapter's events run; empty when nothing came.
    std::string readSome(int waitMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, waitMs) <= 0) {
            return {};
        }
        char buffer[4096];
        const ssize_t n = ::read(fd_, buffer, sizeof buffer);
        lastRead_ = n;
        lastErrno_ = errno;
        return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
    }

    // Gathers text until `done` accepts it. The deadline only keeps a broken adapter from hanging the run;
    // no result depends on it.
    std::string readUntil(const std::function<bool(const std::string&)>& done) {
        std::string text;
        QElapsedTimer deadline;
        deadline.start();
        while (!done(text) && deadline.elapsed() < 5000) {
            text += readSome(10);
        }
        return text;
    }
    std::string readLines(size_t count) {
        return readUntil([count](const std::string& text) {
            return static_cast<size_t>(std::ranges::count(text, '\r')) >= count;
        });
    }

    [[nodiscard]] ssize_t lastRead() const { return lastRead_; }
    [[nodiscard]] int lastErrno() const { return lastErrno_; }

private:
    int fd_;
    ssize_t lastRead_ = 0;
    int lastErrno_ = 0;
};

} // namespace

TEST(PtyAdapter, AnswersCommandsOverARawTerminal) {
    PtyAdapter adapter;
    ASSERT_TRUE(adapter.isOpen()) << adapter.errorString().toStdString();
    HostEnd host(adapter.slavePath());
    ASSERT_TRUE(host.isOpen());
    host.write("v\r");
    // CR arrives as CR (the command is complete) and leaves as CR (no output translation).
    EXPECT_EQ(host.readLines(1), "v1013\r");
    host.write("S6\rQ\r");
    EXPECT_EQ(host.readUntil([](const std::string& text) { return text.size() >= 2; }), "\r\a");
    EXPECT_THAT(adapter.engine().commandLog(), ElementsAre("v", "S6", "Q"));
}

TEST(PtyAdapter, StreamsFramesOnTheInjectedClock) {
    PtyAdapter adapter;
    int64_t now = 0;
    adapter.setClock([&now] { return now; });
    ASSERT_TRUE(adapter.engine().loadScenario("vehicle none\nframe 100 10ms 1 ++\n", nullptr));
    HostEnd host(adapter.slavePath());
    host.write("S6\rZ1\rO\r");
    std::string text = host.readLines(3);
    now = 50 * kMs;
    text += host.readUntil(
        [&text](const std::string& more) { return std::ranges::count(text + more, '\r') >= 9; });
    EXPECT_EQ(text, "\r\r\rt1001000000\rt100101000A\rt1001020014\rt100103001E\rt1001040028\rt1001050032\r");
}

TEST(PtyAdapter, OutlivesAHostThatClosesAndComesBack) {
    PtyAdapter adapter;
    {
        HostEnd first(adapter.slavePath());
        first.write("V\r");
        EXPECT_EQ(first.readLines(1), "V1013\r");
    }
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::processEvents();
    }
    EXPECT_TRUE(adapter.isOpen());
    HostEnd second(adapter.slavePath());
    ASSERT_TRUE(second.isOpen());
    second.write("v\r");
    EXPECT_EQ(second.readLines(1), "v1013\r");
}

TEST(PtyAdapter, SplitRepliesGoOutOnePieceATurn) {
    PtyAdapter adapter;
    adapter.setTickInterval(60'000); // only the explicit turns below write
    adapter.engine().setVersionReply('V', "V1013-ABCDEFGHIJKLMNOPQRSTUVWXYZ");
    adapter.engine().setFault(Fault::SplitReplies, true);
    HostEnd host(adapter.slavePath());
    host.write("V\r");
    std::string reply;
    std::vector<size_t> pieces;
    QElapsedTimer deadline;
    deadline.start();
    while (reply.find('\r') == std::string::npos && deadline.elapsed() < 5000) {
        const std::string piece = host.readSome(50);
        if (!piece.empty()) {
            pieces.push_back(piece.size());
            reply += piece;
        }
        adapter.pump();
    }
    EXPECT_EQ(reply, "V1013-ABCDEFGHIJKLMNOPQRSTUVWXYZ\r");
    EXPECT_GE(pieces.size(), 5U);
    for (size_t size : pieces) {
        EXPECT_LE(size, 7U);
    }
}

TEST(PtyAdapter, VanishingHangsUpTheHost) {
    PtyAdapter adapter;
    int vanishedSignals = 0;
    QObject::connect(&adapter, &PtyAdapter::vanished, [&vanishedSignals] { ++vanishedSignals; });
    HostEnd host(adapter.slavePath());
    host.write("v\r");
    ASSERT_EQ(host.readLines(1), "v1013\r");

    adapter.engine().setFault(Fault::Vanish, true); // as a scenario's "at ... vanish" does
    adapter.pump();
    EXPECT_FALSE(adapter.isOpen());
    EXPECT_EQ(vanishedSignals, 1);
    adapter.vanish();
    EXPECT_EQ(vanishedSignals, 1);

    host.readSome(100);
    EXPECT_TRUE(host.lastRead() == 0 || (host.lastRead() < 0 && host.lastErrno() == EIO))
        << host.lastRead() << " " << host.lastErrno();
    EXPECT_LT(host.write("v\r"), 0);
}

#endif
