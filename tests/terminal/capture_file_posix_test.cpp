// The capture's file against what could be at its name, and a capture whose writes start failing.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "terminal/capture_file.h"
#include "terminal/capture_writer.h"

namespace {

namespace fs = std::filesystem;

class CaptureFile : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "quendal-capture-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        m_dir = pattern;
    }
    void TearDown() override { fs::remove_all(m_dir); }
    fs::path m_dir;
};

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

mode_t ModeOf(const fs::path& path) {
    struct stat st {};
    lstat(path.c_str(), &st);
    return st.st_mode & 07777;
}

TEST_F(CaptureFile, OnlyARegularFileOfTheUsersOwnIsWrittenAndANewOneIsTheOwnersAlone) {
    const fs::path target = m_dir / "target";
    std::ofstream(target) << "keep";
    chmod(target.c_str(), 0600);
    fs::create_symlink(target, m_dir / "link");
    mkfifo((m_dir / "fifo").c_str(), 0600);
    fs::create_directory(m_dir / "folder");
    std::ofstream(m_dir / "shared") << "x";
    chmod((m_dir / "shared").c_str(), 0666);
    const struct {
        const char* name;
        const char* why;
    } refused[] = {
        {"link", "is a symbolic link"},  {"fifo", "is a FIFO"},
        {"folder", "is a folder"},       {"shared", "may be written by other users"},
        {"missing/log", "No such file"},
    };
    for (const auto& r : refused) {
        for (const bool append : {false, true}) {
            std::string error;
            EXPECT_FALSE(CCaptureFile::Open(m_dir / r.name, append, error)) << r.name;
            EXPECT_NE(error.find(r.why), std::string::npos) << r.name << ": " << error;
        }
    }
    EXPECT_EQ(ReadAll(target), "keep");
    EXPECT_TRUE(fs::is_symlink(m_dir / "link"));
    EXPECT_EQ(ModeOf(m_dir / "shared"), 0666u);

    // New: made 0600 whatever the umask, or an own file emptied and made the owner's alone.
    const mode_t mask = umask(0);
    std::string error;
    auto fresh = CCaptureFile::Open(m_dir / "fresh", false, error);
    umask(mask);
    ASSERT_TRUE(fresh) << error;
    EXPECT_TRUE(fresh->Write("ab", error) && fresh->Close(error)) << error;
    EXPECT_EQ(ModeOf(m_dir / "fresh"), 0600u);
    chmod(target.c_str(), 0644);
    auto emptied = CCaptureFile::Open(target, false, error);
    ASSERT_TRUE(emptied) << error;
    EXPECT_TRUE(emptied->Close(error));
    EXPECT_EQ(ReadAll(target), "");
    EXPECT_EQ(ModeOf(target), 0600u);
}

TEST_F(CaptureFile, AFailedWriteEndsTheCaptureAndIsReportedOnce) {
    const std::vector<std::uint8_t> bytes(4096, 'x');
    struct Case {
        const char* name;
        std::function<void(const fs::path&)> fault;
        const char* why;
    } cases[] = {
        {"the folder removed", [](const fs::path& file) { fs::remove_all(file.parent_path()); },
         "was removed"},
        // A file size limit stands for a full disk: the system refuses the write the same way.
        {"no room left",
         [](const fs::path&) {
             const rlimit small{64 * 1024, RLIM_INFINITY};
             setrlimit(RLIMIT_FSIZE, &small);
         },
         "too large"},
    };
    signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    for (const Case& c : cases) {
        const fs::path folder = m_dir / "logs";
        fs::create_directories(folder);
        std::atomic<int> notices{0};
        std::string noticed;
        std::string error;
        auto writer = CCaptureWriter::Start(
            folder / "capture.log", {},
            [&](const std::string& why) {
                noticed = why;
                ++notices;
            },
            error);
        ASSERT_TRUE(writer) << error;
        writer->Received(bytes);
        c.fault(folder / "capture.log");
        // Bytes keep coming until the writer has met the fault; after it, they are let go.
        for (int i = 0; i < 100000 && !writer->Failed(); ++i) {
            writer->Received(bytes);
            usleep(100);
        }
        EXPECT_TRUE(writer->Failed()) << c.name;
        writer->Received(bytes);
        const std::string stopped = writer->Stop();
        setrlimit(RLIMIT_FSIZE, &saved);
        EXPECT_EQ(notices.load(), 1) << c.name;
        EXPECT_EQ(stopped, noticed) << c.name;
        EXPECT_NE(stopped.find(c.why), std::string::npos) << c.name << ": " << stopped;
        fs::remove_all(folder);
    }
}

}  // namespace
