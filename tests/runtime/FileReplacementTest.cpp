#include "runtime/CFileReplacement.h"
#include "tests/common/TestFiles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#if !defined(_WIN32)
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace
{
namespace fs = std::filesystem;

fs::path FreshFolder(const std::string& Name)
{
    const fs::path Folder = TestFiles::PathFor(Name);
    fs::remove_all(Folder);
    fs::create_directories(Folder);
    return Folder;
}

void WriteText(const fs::path& Path, const std::string& Text)
{
    std::ofstream(Path, std::ios::binary | std::ios::trunc) << Text;
}

std::string ReadText(const fs::path& Path)
{
    std::ifstream In(Path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>());
}

std::set<std::string> Names(const fs::path& Folder)
{
    std::set<std::string> Result;
    for (const fs::directory_entry& Entry : fs::directory_iterator(Folder))
    {
        Result.insert(Entry.path().filename().string());
    }
    return Result;
}

fs::path PathOf(const std::u16string& Wide)
{
    return fs::path(Wide);
}
} // namespace

TEST(FileReplacementTest, CommitReplacesInOneStepAndAbandonLeavesTheTargetAsItWas)
{
    const fs::path Folder = FreshFolder("replacement");
    const fs::path Target = Folder / "out.wav";
    WriteText(Target, "old contents");
    {
        CFileReplacement Abandoned;
        ASSERT_EQ(Abandoned.Begin(TestFiles::Wide(Target).c_str()), 1);
        EXPECT_FALSE(Abandoned.IsInPlace());
        const fs::path Temporary = PathOf(Abandoned.GetWritePath());
        // Beside the target, so the rename never crosses file systems.
        EXPECT_EQ(Temporary.parent_path(), Folder);
        EXPECT_NE(Temporary, Target);
        WriteText(Temporary, "half");
    }
    EXPECT_EQ(ReadText(Target), "old contents");
    EXPECT_EQ(Names(Folder), std::set<std::string>{"out.wav"});

    CFileReplacement Replacement;
    EXPECT_EQ(Replacement.Commit(), 0);
    ASSERT_EQ(Replacement.Begin(TestFiles::Wide(Target).c_str()), 1);
    WriteText(PathOf(Replacement.GetWritePath()), "new contents");
    EXPECT_EQ(ReadText(Target), "old contents");
    EXPECT_EQ(Replacement.Commit(), 1);
    EXPECT_EQ(ReadText(Target), "new contents");
    EXPECT_EQ(Names(Folder), std::set<std::string>{"out.wav"});
    EXPECT_EQ(Replacement.Commit(), 0);

    // A file that did not exist appears only at the commit.
    const fs::path Fresh = Folder / "fresh.wav";
    ASSERT_EQ(Replacement.Begin(TestFiles::Wide(Fresh).c_str()), 1);
    EXPECT_FALSE(fs::exists(Fresh));
    Replacement.Abandon();
    Replacement.Abandon();
    EXPECT_EQ(Names(Folder), std::set<std::string>{"out.wav"});
    ASSERT_EQ(Replacement.Begin(TestFiles::Wide(Fresh).c_str()), 1);
    EXPECT_EQ(Replacement.Commit(), 1);
    EXPECT_TRUE(fs::exists(Fresh));

    // Several at once, each with its own temporary file.
    CFileReplacement First;
    CFileReplacement Second;
    ASSERT_EQ(First.Begin(TestFiles::Wide(Target).c_str()), 1);
    ASSERT_EQ(Second.Begin(TestFiles::Wide(Target).c_str()), 1);
    EXPECT_NE(First.GetWritePath(), Second.GetWritePath());
    EXPECT_EQ(Names(Folder).size(), 4u);
}

TEST(FileReplacementTest, TargetsThatCannotBeReplacedAreRefusedAndLeaveNothing)
{
    const fs::path Folder = FreshFolder("replacement-refused");
    CFileReplacement Replacement;
    EXPECT_EQ(Replacement.Begin(nullptr), -4);
    EXPECT_EQ(Replacement.Begin(u""), -4);
    EXPECT_EQ(Replacement.Begin(TestFiles::Wide(Folder).c_str()), -4);
    EXPECT_EQ(Replacement.Begin(TestFiles::Wide(Folder / "missing" / "out.wav").c_str()), -1);
    EXPECT_NE(Replacement.GetSystemError(), 0);
    EXPECT_EQ(Replacement.Commit(), 0);
    EXPECT_TRUE(Names(Folder).empty());

#if defined(_WIN32)
    // A target another program holds open cannot be replaced: the commit fails and tidies up.
    const fs::path Held = Folder / "held.wav";
    WriteText(Held, "held");
    {
        std::ifstream Holder(Held, std::ios::binary);
        ASSERT_EQ(Replacement.Begin(TestFiles::Wide(Held).c_str()), 1);
        WriteText(PathOf(Replacement.GetWritePath()), "new");
        EXPECT_EQ(Replacement.Commit(), -1);
    }
    EXPECT_EQ(ReadText(Held), "held");
    EXPECT_EQ(Names(Folder), std::set<std::string>{"held.wav"});
#else
    // A write-protected file stays protected (root may write anything).
    const fs::path Protected = Folder / "protected.wav";
    WriteText(Protected, "keep");
    chmod(Protected.c_str(), 0444);
    if (geteuid() != 0)
    {
        EXPECT_EQ(Replacement.Begin(TestFiles::Wide(Protected).c_str()), -1);
        EXPECT_EQ(ReadText(Protected), "keep");
    }
    chmod(Protected.c_str(), 0640);
    // The replacement keeps the permissions of the file it replaces.
    ASSERT_EQ(Replacement.Begin(TestFiles::Wide(Protected).c_str()), 1);
    EXPECT_EQ(Replacement.Commit(), 1);
    struct stat Status = {};
    ASSERT_EQ(stat(Protected.c_str(), &Status), 0);
    EXPECT_EQ(Status.st_mode & 0777, 0640u);
    EXPECT_EQ(Names(Folder), std::set<std::string>{"protected.wav"});

    // A device is written in place, never renamed over.
    ASSERT_EQ(Replacement.Begin(u"/dev/null"), 1);
    EXPECT_TRUE(Replacement.IsInPlace());
    EXPECT_EQ(Replacement.GetWritePath(), u"/dev/null");
    EXPECT_EQ(Replacement.Commit(), 1);
    ASSERT_EQ(stat("/dev/null", &Status), 0);
    EXPECT_TRUE(S_ISCHR(Status.st_mode));

    // A link keeps pointing at the replaced file.
    const fs::path Link = Folder / "link.wav";
    fs::create_symlink(Protected, Link);
    ASSERT_EQ(Replacement.Begin(TestFiles::Wide(Link).c_str()), 1);
    WriteText(PathOf(Replacement.GetWritePath()), "through the link");
    EXPECT_EQ(Replacement.Commit(), 1);
    EXPECT_TRUE(fs::is_symlink(Link));
    EXPECT_EQ(ReadText(Protected), "through the link");
#endif
}

#if !defined(_WIN32)
// A signal that ends the process removes the temporary file; the target is untouched. A write past
// the file-size limit fails instead of ending the process.
TEST(FileReplacementTest, EndingSignalsRemoveTheTemporaryFile)
{
    const fs::path Folder = FreshFolder("replacement-signals");
    const fs::path Target = Folder / "out.wav";
    WriteText(Target, "old contents");
    for (const int iSignal : {SIGINT, SIGTERM, SIGHUP})
    {
        const pid_t Child = fork();
        ASSERT_GE(Child, 0);
        if (Child == 0)
        {
            signal(iSignal, SIG_DFL);
            CFileReplacement Replacement;
            if (Replacement.Begin(TestFiles::Wide(Target).c_str()) != 1)
            {
                _exit(2);
            }
            WriteText(PathOf(Replacement.GetWritePath()), "half");
            raise(iSignal);
            _exit(3);
        }
        int iStatus = 0;
        ASSERT_EQ(waitpid(Child, &iStatus, 0), Child);
        ASSERT_TRUE(WIFSIGNALED(iStatus)) << iSignal << " " << iStatus;
        EXPECT_EQ(WTERMSIG(iStatus), iSignal);
        EXPECT_EQ(ReadText(Target), "old contents");
        EXPECT_EQ(Names(Folder), std::set<std::string>{"out.wav"}) << iSignal;
    }

    const pid_t Child = fork();
    ASSERT_GE(Child, 0);
    if (Child == 0)
    {
        signal(SIGXFSZ, SIG_DFL);
        const struct rlimit Limit = {16, 16};
        setrlimit(RLIMIT_FSIZE, &Limit);
        CFileReplacement Replacement;
        if (Replacement.Begin(TestFiles::Wide(Target).c_str()) != 1)
        {
            _exit(2);
        }
        bool bRefused = false;
        {
            std::ofstream Out(PathOf(Replacement.GetWritePath()), std::ios::binary);
            Out << std::string(64, 'x') << std::flush;
            bRefused = !Out.good();
        }
        Replacement.Abandon();
        _exit(bRefused ? 0 : 3);
    }
    int iStatus = 0;
    ASSERT_EQ(waitpid(Child, &iStatus, 0), Child);
    ASSERT_TRUE(WIFEXITED(iStatus)) << iStatus;
    EXPECT_EQ(WEXITSTATUS(iStatus), 0);
    EXPECT_EQ(Names(Folder), std::set<std::string>{"out.wav"});
}
#endif
