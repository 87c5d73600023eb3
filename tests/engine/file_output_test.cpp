#include "base/file_output.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "support/test_support.h"

namespace kestal {
namespace {

namespace fs = std::filesystem;

using test::ReadAll;

Status WriteText(const std::string& path, const std::string& text) {
  OutputFile out;
  if (Status s = out.Open(path); !s) return s;
  if (Status s = out.Write(text.data(), text.size()); !s) return s;
  return out.Commit();
}

// Binds a Unix socket at `path`; the socket stays until the file is removed.
void MakeSocket(const std::string& path) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(fd, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  ASSERT_LT(path.size(), sizeof addr.sun_path);
  std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ::close(fd);
}

TEST(OutputFile, OnlyPlainFilesAreReplacedAndLinksAreFollowed) {
  test::TempDir dir;
  std::ofstream(dir / "target") << "old";
  fs::create_symlink("target", dir / "link");
  fs::create_symlink(dir / "sub/new", dir / "dangling");
  fs::create_directory(dir / "sub");
  fs::create_symlink("link", dir / "chain");
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0644), 0);
  MakeSocket(dir / "sock");
  fs::create_directory(dir / "folder");
  fs::create_symlink("fifo", dir / "to-fifo");
  fs::create_symlink("loop", dir / "loop");

  struct Row {
    const char* name;
    const char* refusal;     // nullptr: written
    const char* written_to;  // the file that holds the text afterwards
  } rows[] = {
      {"link", nullptr, "target"},
      {"chain", nullptr, "target"},
      {"dangling", nullptr, "sub/new"},
      {"fifo", "it is a FIFO, not a plain file; it was left untouched", nullptr},
      {"sock", "it is a socket, not a plain file", nullptr},
      {"folder", "it is a folder, not a plain file", nullptr},
      {"to-fifo", "it is a FIFO", nullptr},
      {"loop", "Too many levels of symbolic links", nullptr},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    Status s = WriteText(dir / r.name, r.name);
    EXPECT_EQ(s.ok(), r.refusal == nullptr);
    if (r.refusal) {
      EXPECT_EQ(s.error().kind, ErrorKind::Io);
      EXPECT_NE(s.error().cause.find(r.refusal), std::string::npos) << s.error().cause;
    } else {
      EXPECT_EQ(ReadAll(dir / r.written_to), r.name);
    }
  }
  EXPECT_TRUE(fs::is_symlink(dir / "link")) << "the link stays a link";
  EXPECT_TRUE(fs::is_fifo(dir / "fifo"));
  EXPECT_TRUE(fs::is_socket(dir / "sock"));
  EXPECT_TRUE(fs::is_empty(dir / "folder"));
  for (const auto& e : fs::recursive_directory_iterator(dir.path()))
    EXPECT_EQ(e.path().string().find(".part"), std::string::npos) << e.path() << " was left behind";
}

// A folder the user may not write cannot take a new file, nor have a writable file in
// it replaced (the file is written anew beside it and renamed): the error says so.
// Root writes anywhere, so the attempt runs in a child process as an unprivileged user.
TEST(OutputFile, AFolderThatCannotBeWrittenIsSaidInWords) {
  test::TempDir dir;
  fs::permissions(dir.path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                  fs::perms::others_read | fs::perms::others_exec);
  const fs::path folder = dir.path() / "locked";
  fs::create_directory(folder);
  std::ofstream(folder / "a.gif") << "old";
  fs::permissions(folder / "a.gif", fs::perms::all);
  fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                              fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
  struct Row {
    const char* name;
    std::string cause;
  } rows[] = {
      {"a.gif", "the folder is not writable, so the file cannot be replaced (a new file is written beside it, "
                "then takes its name)"},
      {"new.gif", "the folder is not writable"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      ::close(out[0]);
      constexpr uid_t kNobody = 65534;
      if (::geteuid() == 0 && (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) ::_exit(2);
      OutputFile file;
      const Status s = file.Open((folder / r.name).string());
      const std::string cause = s ? std::string("opened") : s.error().cause;
      const bool sent = ::write(out[1], cause.data(), cause.size()) == static_cast<ssize_t>(cause.size());
      ::_exit(sent ? 0 : 1);
    }
    ::close(out[1]);
    std::string cause;
    char buf[512];
    for (ssize_t n; (n = ::read(out[0], buf, sizeof buf)) > 0;) cause.append(buf, static_cast<size_t>(n));
    ::close(out[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 2) GTEST_SKIP() << "cannot run as an unprivileged user";
    EXPECT_EQ(cause, r.cause);
  }
  EXPECT_EQ(ReadAll(folder / "a.gif"), "old");
  fs::permissions(folder, fs::perms::owner_all);
}

// The photo is found under every name that reaches it; other files and new names are not it.
TEST(OutputFile, ThePhotoIsRecognisedUnderEveryName) {
  test::TempDir dir;
  const std::string photo = dir / "cat.png";
  std::ofstream(photo) << "photo";
  std::ofstream(dir / "other.png") << "other";
  fs::create_symlink("cat.png", dir / "link.png");
  fs::create_hard_link(photo, dir / "hard.png");
  fs::create_directory(dir / "sub");
  const struct {
    std::string output;
    bool isPhoto;
  } rows[] = {
      {photo, true},
      {dir / "sub/../cat.png", true},
      {dir / "link.png", true},
      {dir / "hard.png", true},
      {dir / "other.png", false},
      {dir / "new.png", false},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(IsSameFile(photo, r.output), r.isPhoto) << r.output;
    const Status s = RefuseToReplacePhoto(photo, {dir / "new.gif", r.output});
    EXPECT_EQ(s.ok(), !r.isPhoto) << r.output;
    if (!s.ok()) {
      EXPECT_EQ(s.error().message, r.output);
    }
  }
  EXPECT_EQ(ReadAll(photo), "photo");
}

}  // namespace
}  // namespace kestal
