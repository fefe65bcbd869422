#include "core/textFile.h"
#include "core/fileSizeSignal.h"

#include "support/fileSizeLimit.h"
#include "support/tempDir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace korvel {
namespace {

std::string fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A short file and one past a buffer's size: both used to be replaced by an empty file when the disk was
// full, because the failing flush happened inside the commit.
TEST(TextFileSave, AFullDiskKeepsTheOldFileWholeAndSaysWhy) {
    for (std::size_t oldSize : {std::size_t{40}, std::size_t{20000}}) {
        test::TempDir dir;
        const std::string path = dir.file("list.cmt");
        const std::string old(oldSize, 'o');
        ASSERT_TRUE(writeTextFileAtomically(path, old));
        std::string error;
        {
            test::FileSizeLimit limit(8);
            EXPECT_FALSE(writeTextFileAtomically(path, std::string(oldSize + 10, 'n'), &error));
        }
        EXPECT_EQ(fileBytes(path), old);
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(saveFailedText(path, error), "Can't save " + path + "!\n" + error);
    }
}

// Under `ulimit -f` the default action of the limit's signal ends the program; after start-up's set-up the
// save fails and says so instead. Run in a child, so the test runner survives without the set-up.
TEST(TextFileSave, AFileSizeLimitFailsTheSaveInsteadOfEndingTheProgram) {
    test::TempDir dir;
    const std::string path = dir.file("big.trc");
    ASSERT_TRUE(writeTextFileAtomically(path, "old"));
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        letOversizedWritesFail();
        rlimit limited{};
        getrlimit(RLIMIT_FSIZE, &limited);
        limited.rlim_cur = 8;
        setrlimit(RLIMIT_FSIZE, &limited);
        _exit(writeTextFileAtomically(path, std::string(100, 'n')) ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the child ended with status " << status;
    EXPECT_EQ(fileBytes(path), "old");
}

TEST(TextFileSave, AFolderThatCannotBeWrittenIsReported) {
    std::string error;
    EXPECT_FALSE(writeTextFileAtomically("/proc/korvel-no-such-folder/x.trc", "x", &error));
    EXPECT_FALSE(error.empty());
}

TEST(TextFileRead, OnlyRegularFilesOfASaneSize) {
    test::TempDir dir;
    std::string text;
    std::string error;

    const std::string fifo = dir.file("fifo.ini");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(readTextFile(fifo, text, kMaxTextFileBytes, &error)); // would block forever
    EXPECT_FALSE(error.empty());

    EXPECT_FALSE(readTextFile("/dev/zero", text)); // would never end
    EXPECT_FALSE(readTextFile(dir.file("missing"), text));

    const std::string big = dir.file("big.ini");
    ASSERT_TRUE(writeTextFileAtomically(big, std::string(101, '\n')));
    EXPECT_FALSE(readTextFile(big, text, 100));
    EXPECT_TRUE(text.empty());
    EXPECT_TRUE(readTextFile(big, text, 101));
    EXPECT_EQ(text.size(), 101u);
}

// Settings and list files from older programs hold the Windows code page: the euro sign and quotes must
// not become control characters, and any bytes must decode and encode back unchanged.
TEST(TextEncoding, TheWindowsCodePageReadsAndWritesBackEveryByte) {
    EXPECT_EQ(windows1252ToUtf8("\x84x\x93 \x80 caf\xE9"),
              "\xE2\x80\x9Ex\xE2\x80\x9C \xE2\x82\xAC caf\xC3\xA9");
    std::string every;
    for (int c = 0; c < 256; ++c)
        every.push_back(static_cast<char>(c));
    EXPECT_EQ(utf8ToWindows1252(windows1252ToUtf8(every)), every);
    EXPECT_FALSE(utf8ToWindows1252("\xCE\xA9")); // a character the code page lacks
    EXPECT_FALSE(utf8ToWindows1252("\xC2\x80")); // 0x80 stands for the euro sign, not for U+0080
    EXPECT_FALSE(utf8ToWindows1252("\xE9"));     // not UTF-8
    // What decides how a line is read: the last code point is UTF-8, a character cut short is not.
    EXPECT_TRUE(isValidUtf8("\xF4\x8F\xBF\xBF"));
    EXPECT_FALSE(isValidUtf8(std::string_view("\xC3\xA9", 1)));
}

} // namespace
} // namespace korvel
