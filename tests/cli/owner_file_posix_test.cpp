// The files quendal-cli writes, against what another local user or a mistake could have left at the path.
#include "cli/owner_file.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

namespace fs = std::filesystem;

class OwnerFile : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "quendal-files-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        m_dir = pattern;
    }
    void TearDown() override { fs::remove_all(m_dir); }

    std::string Path(const std::string& name) const { return (m_dir / name).string(); }

    fs::path m_dir;
};

std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

void Write(const std::string& path, const std::string& text, mode_t mode = 0600) {
    std::ofstream(path, std::ios::binary) << text;
    chmod(path.c_str(), mode);
}

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    lstat(path.c_str(), &st);
    return st.st_mode;
}

bool MakeSocket(const std::string& path) {
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    const bool bound = bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return bound;
}

TEST_F(OwnerFile, AProfileReplacesOnlyRegularFilesAndLinks) {
    Write(Path("old.json"), "old", 0644);
    Write(Path("elsewhere"), "not to be touched", 0644);
    ASSERT_EQ(symlink(Path("elsewhere").c_str(), Path("link.json").c_str()), 0);
    ASSERT_EQ(mkfifo(Path("fifo").c_str(), 0600), 0);
    ASSERT_TRUE(MakeSocket(Path("socket")));
    fs::create_directory(Path("folder"));

    const struct {
        std::string path;
        std::string refusal;  // empty: written
    } cases[] = {
        {Path("new.json"), ""},
        {Path("old.json"), ""},
        {Path("link.json"), ""},
        {"/dev/null", "/dev/null is a device, not a regular file; it is not replaced"},
        {Path("fifo"), Path("fifo") + " is a FIFO, not a regular file; it is not replaced"},
        {Path("socket"), Path("socket") + " is a socket, not a regular file; it is not replaced"},
        {Path("folder"), Path("folder") + " is a folder, not a regular file; it is not replaced"},
        {Path("none/new.json"), "cannot write into " + Path("none") + ": No such file or directory"},
    };
    for (const auto& c : cases) {
        std::string checkError;
        std::string writeError;
        EXPECT_EQ(CheckReplaceablePath(c.path, checkError), c.refusal.empty()) << c.path;
        const bool written = WriteOwnerOnlyFile(c.path, "{}\n", writeError);
        EXPECT_EQ(written, c.refusal.empty()) << c.path;
        EXPECT_EQ(checkError, c.refusal);
        EXPECT_EQ(writeError, c.refusal);
        if (written) {
            // The link itself was replaced: a regular file of the owner's now, its old target untouched.
            EXPECT_EQ(Read(c.path), "{}\n") << c.path;
            EXPECT_EQ(ModeOf(c.path), S_IFREG | 0600) << c.path;
        }
    }
    EXPECT_EQ(Read(Path("elsewhere")), "not to be touched");
    EXPECT_TRUE(S_ISCHR(ModeOf("/dev/null")));
    // No temporary file is left beside them.
    std::size_t entries = 0;
    for (const auto& entry : fs::directory_iterator(m_dir)) {
        EXPECT_NE(entry.path().filename().string().front(), '.') << entry.path();
        ++entries;
    }
    EXPECT_EQ(entries, 7u);
}

TEST_F(OwnerFile, AReportIsAppendedOnlyToTheOwnersOwnFile) {
    Write(Path("bashrc"), "# start-up\n", 0644);
    ASSERT_EQ(symlink(Path("bashrc").c_str(), Path("link.csv").c_str()), 0);
    Write(Path("shared.csv"), "", 0666);
    Write(Path("group.csv"), "", 0620);
    Write(Path("theirs.csv"), "", 0600);
    const bool root = geteuid() == 0;
    if (root) {
        ASSERT_EQ(chown(Path("theirs.csv").c_str(), 65534, 65534), 0);
    }
    ASSERT_EQ(mkfifo(Path("fifo.csv").c_str(), 0600), 0);
    fs::create_directory(Path("folder"));

    const struct {
        std::string path;
        std::string refusal;
    } cases[] = {
        {Path("new.csv"), ""},
        {Path("link.csv"), Path("link.csv") + " is a symbolic link, not a regular file"},
        {Path("shared.csv"), Path("shared.csv") + " may be written by other users (mode 666)"},
        {Path("group.csv"), Path("group.csv") + " may be written by other users (mode 620)"},
        {Path("theirs.csv"),
         root ? Path("theirs.csv") + " belongs to another user (uid 65534)" : std::string()},
        {Path("fifo.csv"), Path("fifo.csv") + " is a FIFO, not a regular file"},
        {Path("folder"), Path("folder") + " is a folder, not a regular file"},
        {Path("none/r.csv"), "cannot write into " + Path("none") + ": No such file or directory"},
    };
    for (const auto& c : cases) {
        std::string checkError;
        std::string appendError;
        EXPECT_EQ(CheckAppendablePath(c.path, checkError), c.refusal.empty()) << c.path;
        EXPECT_EQ(checkError, c.refusal);
        const bool appended = AppendOwnerOnlyFile(c.path, "head\n", {"row\n"}, appendError);
        EXPECT_EQ(appended, c.refusal.empty()) << c.path;
        if (appended) {
            EXPECT_EQ(Read(c.path), "head\nrow\n");
        } else {
            EXPECT_EQ(appendError, c.refusal);
        }
    }
    EXPECT_EQ(ModeOf(Path("new.csv")), S_IFREG | 0600);
    EXPECT_EQ(Read(Path("bashrc")), "# start-up\n");
    EXPECT_EQ(Read(Path("shared.csv")), "");
}

TEST_F(OwnerFile, RunsAppendingAtOnceWriteOneHeaderAndWholeRows) {
    const std::string path = Path("report.csv");
    constexpr int kRuns = 4;
    constexpr int kRowsEach = 50;
    std::vector<std::thread> runs;
    for (int run = 0; run < kRuns; ++run) {
        runs.emplace_back([&, run] {
            for (int row = 0; row < kRowsEach; ++row) {
                const std::string line = "run" + std::to_string(run) + "," + std::string(200, 'x') + "\n";
                std::string error;
                EXPECT_TRUE(AppendOwnerOnlyFile(path, "header\n", {line, line}, error)) << error;
            }
        });
    }
    for (std::thread& run : runs) {
        run.join();
    }
    std::istringstream lines(Read(path));
    std::string line;
    ASSERT_TRUE(std::getline(lines, line));
    EXPECT_EQ(line, "header");
    int rows = 0;
    while (std::getline(lines, line)) {
        EXPECT_EQ(line.size(), 205u) << line;
        ++rows;
    }
    EXPECT_EQ(rows, kRuns * kRowsEach * 2);
}

}  // namespace
