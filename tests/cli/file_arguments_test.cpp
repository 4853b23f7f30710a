// Every command that reads a curve FILE, end to end: the same exit code and message
// for a file that cannot be opened (2), a malformed file (1, with the reader's
// status and the error trace), a curve of an unsupported order, and a pipe.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <thread>

#include "curves_fixture.hpp"

namespace clitest {
namespace {

// The arguments of each command that takes a FILE, with "@" where the file goes.
const std::map<std::string, std::vector<std::string>> &file_commands() {
  static const std::map<std::string, std::vector<std::string>> commands = {
      {"info", {"@"}},
      {"dump", {"@"}},
      {"svg", {"@", "-o", "out.svg"}},
      {"eval", {"@", "0.5"}},
      {"sample", {"@", "4"}},
      {"split", {"@", "0.5", "out1.cv", "out2.cv"}},
      {"extract", {"@", "0.2", "0.7", "out.cv"}},
      {"reverse", {"@", "out.cv"}},
      {"insert", {"@", "0.5", "out.cv"}},
      {"project", {"@", "1", "1", "0"}},
      {"nearest-all", {"@", "1", "1", "0"}},
  };
  return commands;
}

std::vector<std::string> with_file(const std::string &command, const std::string &file) {
  std::vector<std::string> args{command};
  for (const std::string &a : file_commands().at(command)) args.push_back(a == "@" ? file : a);
  return args;
}

class FileArguments : public CliTest {
 protected:
  void expect_no_output_files() {
    for (const char *name : {"out.svg", "out.cv", "out1.cv", "out2.cv"})
      EXPECT_FALSE(file_exists(dir.file(name))) << name;
  }
};

TEST_F(FileArguments, TheTableCoversEveryCommandThatTakesAFile) {
  const RunResult help = run({"help"});
  ASSERT_EQ(help.exit_code, 0) << help.err;
  int listed = 0;
  for (const std::string &line : lines_of(help.out)) {
    if (line.rfind("  ", 0) != 0 || line.find(" FILE") == std::string::npos) continue;
    const std::string name = line.substr(2, line.find(' ', 2) - 2);
    EXPECT_EQ(file_commands().count(name), 1u) << "no file test for '" << name << "'";
    ++listed;
  }
  EXPECT_EQ(listed, static_cast<int>(file_commands().size()));
}

TEST_F(FileArguments, AMissingFileIsAUsageError) {
  for (const auto &entry : file_commands()) {
    const RunResult r = run(with_file(entry.first, "missing.cv"));
    expect_failure(r, 2, "cannot open 'missing.cv': No such file or directory");
    EXPECT_EQ(r.err.find("error trace"), std::string::npos) << entry.first << "\n" << r.err;
    EXPECT_TRUE(r.out.empty()) << entry.first;
  }
  expect_no_output_files();
}

TEST_F(FileArguments, ADirectoryIsAUsageError) {
  std::filesystem::create_directory(dir.file("folder.cv"));
  for (const auto &entry : file_commands())
    expect_failure(run(with_file(entry.first, "folder.cv")), 2,
                   "'folder.cv' is a directory, not a curve file");
  expect_no_output_files();
}

TEST_F(FileArguments, AMalformedFileIsALibraryFailureWithTheStatus) {
  // Fewer poles than the order: the reader refuses with -1 (BSFAIL).
  put("bad.cv", "BScurve\norder 4\nperiodic 0\nnon_uniform 0\nnum_poles 2\n");
  for (const auto &entry : file_commands()) {
    const RunResult r = run(with_file(entry.first, "bad.cv"));
    expect_failure(r, 1, "reading 'bad.cv' curve 1 (BSreadcv) failed: BSFAIL (-1)");
    EXPECT_NE(r.err.find("error trace:"), std::string::npos) << entry.first << "\n" << r.err;
  }
  put("empty.cv", "\n  \n");
  for (const auto &entry : file_commands())
    expect_failure(run(with_file(entry.first, "empty.cv")), 1, "'empty.cv' holds no curve");
  expect_no_output_files();
}

TEST_F(FileArguments, AnUnsupportedOrderIsShownButRefused) {
  std::vector<double> knots(34, 0.0);
  std::fill(knots.begin() + 17, knots.end(), 1.0);
  put("order17.cv", curve_text(17, std::vector<double>(3 * 17, 1.0), {}, knots));
  for (const auto &entry : file_commands()) {
    const RunResult r = run(with_file(entry.first, "order17.cv"));
    expect_failure(r, 1, "order 17 is not supported (orders 2 to 16)");
    EXPECT_NE(r.err.find("failed: status (2)"), std::string::npos) << entry.first << r.err;
    // info and dump still show what was read.
    if (entry.first == "info")
      EXPECT_NE(r.out.find("order        17 (degree 16)"), std::string::npos) << r.out;
    else if (entry.first == "dump")
      EXPECT_NE(r.out.find("order 17"), std::string::npos) << r.out;
    else
      EXPECT_TRUE(r.out.empty()) << entry.first << "\n" << r.out;
  }
  expect_no_output_files();
}

TEST_F(FileArguments, ASmallWeightOnlyWarns) {
  put("light.cv", curve_text(3, {1, 0, 0, 1, 1, 0, 0, 1, 0}, {1, 0.0005, 1}, {0, 0, 0, 1, 1, 1}));
  for (const auto &entry : file_commands()) {
    const RunResult r = run(with_file(entry.first, "light.cv"));
    EXPECT_EQ(r.exit_code, 0) << entry.first << "\n" << r.err;
    EXPECT_NE(r.err.find("warning: 'light.cv' curve 1 has a weight below 0.001"), std::string::npos)
        << entry.first << "\n"
        << r.err;
  }
}

TEST_F(FileArguments, AFileWithSeveralCurvesIsRefusedByOneCurveCommands) {
  put("two.cv", parabola_text() + quarter_text());
  for (const char *command : {"info", "dump", "split", "reverse", "project"})
    expect_failure(run(with_file(command, "two.cv")), 2, "'two.cv' holds 2 curves");
  // Commands over every curve of a file take both.
  const RunResult r = run(with_file("eval", "two.cv"));
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.out.find("curve two.cv#2"), std::string::npos) << r.out;
}

TEST_F(FileArguments, EveryCommandReadsAHexDumpFromAPipe) {
  // Dumps with byte images need look-ahead: the reader copies a pipe to a
  // temporary file first, for every command alike.
  const std::string text = read_text(std::string(KNOTWORK_EXAMPLES) + "/quarter_circle_hex.cv");
  const std::string fifo = dir.file("pipe.cv");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (const auto &entry : file_commands()) {
    std::thread writer([&] {
      // A program that stops reading early makes write fail instead of ending the test.
      sigset_t pipe_signal;
      sigemptyset(&pipe_signal);
      sigaddset(&pipe_signal, SIGPIPE);
      pthread_sigmask(SIG_BLOCK, &pipe_signal, nullptr);
      const int fd = ::open(fifo.c_str(), O_WRONLY);
      if (fd < 0) return;
      for (size_t done = 0; done < text.size();) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n <= 0) break;
        done += static_cast<size_t>(n);
      }
      ::close(fd);
    });
    const RunResult r = run(with_file(entry.first, "pipe.cv"));
    // Releases the writer should the program not have opened the pipe.
    const int unblock = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    writer.join();
    if (unblock >= 0) ::close(unblock);
    EXPECT_EQ(r.exit_code, 0) << entry.first << "\n" << r.err;
    EXPECT_FALSE(r.out.empty()) << entry.first;
  }
}

}  // namespace
}  // namespace clitest
