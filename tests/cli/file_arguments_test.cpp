// Every command that reads a curve FILE follows the same rules: a file that cannot be
// opened is a usage error (2); a malformed one a library failure (1) with the reader's
// status and the error trace; an unsupported order is shown but refused; a small
// weight only warns; one-curve commands refuse several curves; pipes are read; and
// damaged files never crash the program.
#include <fcntl.h>
#include <sys/stat.h>

#include <csignal>
#include <thread>

#include "tool_runner.hpp"

namespace clitest {
namespace {

// The arguments of each command that takes a FILE, with "@" where the file goes.
const std::map<std::string, std::vector<std::string>> file_commands = {
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
    {"length", {"@"}},
    {"at-length", {"@", "0.1"}},
    {"intersect", {"@", KNOTWORK_EXAMPLES "/line.cv"}},
    {"xplane", {"@", "0", "0", "0", "1", "0", "0"}},
    {"offset", {"@", "0.1", "0", "0", "1"}},
};

std::vector<std::string> with_file(const std::string &command, const std::string &file) {
  std::vector<std::string> args{command};
  for (const std::string &a : file_commands.at(command)) args.push_back(a == "@" ? file : a);
  return args;
}

class FileArguments : public CliTest {
 protected:
  // Removes the files the commands write; returns whether there were any.
  bool clear_outputs() {
    bool any = false;
    for (const char *name : {"out.svg", "out.cv", "out1.cv", "out2.cv"})
      any = std::filesystem::remove(dir.file(name)) || any;
    return any;
  }
};

TEST_F(FileArguments, TheTableCoversEveryCommandThatTakesAFile) {
  int listed = 0;
  for (const std::string &line : lines_of(ok({"help"}).out)) {
    if (line.rfind("  ", 0) != 0 || line.find(" FILE") == std::string::npos) continue;
    const std::string name = line.substr(2, line.find(' ', 2) - 2);
    EXPECT_EQ(file_commands.count(name), 1u) << "no file test for '" << name << "'";
    ++listed;
  }
  EXPECT_EQ(listed, static_cast<int>(file_commands.size()));
}

TEST_F(FileArguments, UnreadableAndMalformedFilesFailAlike) {
  std::filesystem::create_directory(dir.file("folder.cv"));
  put("bad.cv", "BScurve\norder 4\nperiodic 0\nnon_uniform 0\nnum_poles 2\n");
  put("junk.cv", "BScurve\norder 3\nperiodic zero\n");
  put("cut.cv", parabola_text().substr(0, parabola_text().size() / 2));
  put("empty.cv", "\n  \n");
  const struct {
    std::string file;
    int code;
    std::vector<std::string> messages;
    bool trace;  // the library's error trace follows
  } cases[] = {
      {"missing.cv", 2, {"cannot open 'missing.cv': No such file or directory"}, false},
      {"folder.cv", 2, {"'folder.cv' is a directory, not a curve file"}, false},
      // Fewer poles than the order: the reader refuses with -1 (BSFAIL).
      {"bad.cv", 1, {"reading 'bad.cv' curve 1 (BSreadcv) failed: BSFAIL (-1)"}, true},
      {"junk.cv", 1, {"(BSreadcv) failed"}, true},
      {"cut.cv", 1, {"(BSreadcv) failed"}, true},
      {"empty.cv", 1, {"'empty.cv' holds no curve"}, false},
      // info and dump show what they read before the order is refused.
      {"order17.cv", 1, {"order 17 is not supported (orders 2 to 16)", "failed: status (2)"}, true},
  };
  std::vector<double> knots(34, 1.0);  // an order-17 Bezier curve (one above the largest order)
  std::fill_n(knots.begin(), 17, 0.0);
  put("order17.cv", curve_text(17, std::vector<double>(3 * 17, 1.0), {}, knots));
  for (const auto &t : cases)
    for (const auto &[command, unused] : file_commands) {
      SCOPED_TRACE(command + " " + t.file);
      const RunResult r = run(with_file(command, t.file));
      EXPECT_EQ(r.exit_code, t.code);
      expect_contains(r.err, t.messages);
      EXPECT_EQ(r.err.find("error trace:") != std::string::npos, t.trace) << r.err;
      if (t.file != "order17.cv" || (command != "info" && command != "dump"))
        EXPECT_TRUE(r.out.empty()) << r.out;
      else
        EXPECT_NE(r.out.find(command == "info" ? "order        17 (degree 16)" : "order 17"),
                  std::string::npos);
    }
  EXPECT_FALSE(clear_outputs()) << "a failing command wrote its output";
}

TEST_F(FileArguments, ASmallWeightOnlyWarnsSeveralCurvesSuitSomeCommands) {
  put("light.cv", curve_text(3, {1, 0, 0, 1, 1, 0, 0, 1, 0}, {1, 0.0005, 1}, {0, 0, 0, 1, 1, 1}));
  for (const auto &[command, unused] : file_commands) {
    const RunResult r = ok(with_file(command, "light.cv"));
    expect_contains(r.err, {"warning: 'light.cv' curve 1 has a weight below 0.001"});
    clear_outputs();
  }
  // several curves are refused by one-curve commands only
  put("two.cv", parabola_text() + quarter_text());
  for (const char *command : {"info", "dump", "split", "reverse", "project"})
    expect_failure(run(with_file(command, "two.cv")), 2, "'two.cv' holds 2 curves");
  expect_contains(ok({"eval", "two.cv", "1"}).out, {"curve two.cv#1", "curve two.cv#2"});
}

TEST_F(FileArguments, EveryCommandReadsAHexDumpFromAPipe) {
  // Dumps with byte images need look-ahead: the reader copies a pipe to a
  // temporary file first, for every command alike.
  const std::string text = read_text(std::string(KNOTWORK_EXAMPLES) + "/quarter_circle_hex.cv");
  const std::string fifo = dir.file("pipe.cv");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::signal(SIGPIPE, SIG_IGN);  // a program that stops reading early fails the write only
  for (const auto &[command, unused] : file_commands) {
    std::thread writer([&] { std::ofstream(fifo) << text; });
    const RunResult r = ok(with_file(command, "pipe.cv"));
    // Releases the writer should the program not have opened the pipe.
    const int unblock = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    writer.join();
    if (unblock >= 0) ::close(unblock);
    EXPECT_FALSE(r.out.empty()) << command;
    clear_outputs();
  }
}

TEST_F(FileArguments, DamagedFilesNeverCrash) {
  // Prefix cuts and one-character corruptions of a text and a hex dump: a command may
  // succeed or refuse, but always with an exit code and, on failure, a message.
  for (const char *example : {"/periodic_cubic.cv", "/quarter_circle_hex.cv"}) {
    const std::string text = read_text(std::string(KNOTWORK_EXAMPLES) + example);
    for (size_t at = 3; at < text.size(); at += 131) {
      std::string damaged = text;
      damaged[at] = "0-q\n9.e"[at % 7];
      for (const std::string &version : {damaged, text.substr(0, at)}) {
        put("d.cv", version);
        size_t index = 0;  // the reader is shared: each command meets every fourth damage
        for (const auto &[command, unused] : file_commands) {
          if ((index++ + at / 131) % 4 != 0) continue;
          const RunResult r = run(with_file(command, "d.cv"));
          EXPECT_TRUE(r.exit_code == 0 || (r.exit_code <= 2 && r.exit_code > 0 && !r.err.empty()))
              << command << " on " << example << " damaged at " << at << ": " << r.err;
          if (r.exit_code == 0 && command == "svg") svg("out.svg");
        }
        clear_outputs();
      }
    }
  }
}

}  // namespace
}  // namespace clitest
