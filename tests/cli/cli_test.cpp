// orvalintex-cli run by the shell (cmd under Wine) as a script runs it, in a
// temporary working folder; on POSIX also on a pseudo-terminal, typed at.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <tuple>

#include "tests/support/temp_files.h"
#ifdef _WIN32
#include "tests/support/utf8_win32.h"
#define SEP "\\"
#define RUN(args) ("Z:" ORVALINTEX_CLI " " + std::string(args) + " <NUL >..\\out 2>..\\err")
#define WEXITSTATUS(status) status  // system() gives the exit status itself
// The program's code page for a file.
#define CODE_PAGE (GetConsoleOutputCP() ? GetConsoleOutputCP() : GetACP())
#define NO_FILE u8"(ファイルが見つかりません。)\n"  // Wine's words, in Japanese
#else
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sched.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#define SEP "/"
#define ToUtf8(codePage, text) text
// A leaked file shows as a failure to open the next.
#define RUN(args) \
  ("ulimit -n 16; " ORVALINTEX_CLI " " + std::string(args) + " </dev/null >../out 2>../err")
#define NO_FILE "(No such file or directory)\n"
#endif

#define DAMAGED u8"ファイルが破損している可能性があります。 Address : "
#define CANNOT_OPEN u8"ファイルが開けません。"
#define REPAIRED u8": repaired: ファイルを修復しました。 -> "
#define REFUSED u8"dmg.avi: failed: 書き込み先ファイルが開けません。 "
#define NOT_REGULAR(name) "dmg.avi: failed: the output " name " exists and is not a regular " \
                          "file (a link, device, FIFO, socket or folder)\n"
#define SKIPPED "disc" SEP "v.old: skipped: is a folder\n"
#define SAME "dmg.avi: failed: dmg.avi and ." SEP "dmg.avi are the same file\n"
#define QUESTION u8"修復できません。処理を続行しますか?"
#define MISMATCH u8"データが一致しません。 Address : "
#define NO_FRAME "  no frame is touched: only the index, padding and headers\n"
#define SIZES u8"ファイルサイズが一致しません。 "
// The bytes taken from each of two sources, f2/name and f3/name.
#define TAKEN(name, a, b) "  taken from f2" SEP name ": " #a " bytes\n  taken from f3" SEP name \
                          ": " #b " bytes\n"
#define ANSWERS u8" [y/yes/はい, N/no/いいえ] "
#define X4(s) s s s s
namespace fs = std::filesystem;

static const char kDeadLead[] = "dvdisaster dead sector marker\nThis sector could not be read "
                                "from the image.\nIts contents have been substituted by the "
                                "dvdisaster read routine.\n";

// What the program wrote, as UTF-8.
static std::string Text(const std::vector<uint8_t>& b) {
  return ToUtf8(CODE_PAGE, std::string(b.begin(), b.end()));
}

static std::set<std::string> Names(const char* folder = ".") {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder))
    names.insert(entry.path().filename().string());
  return names;
}

// 100000 bytes without a zero, or with zeros over [at, at + n).
static std::vector<uint8_t> Bytes(size_t at = 0, size_t n = 0) {
  std::vector<uint8_t> bytes(100000);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = i >= at && i < at + n ? 0 : 1 + i % 251;
  return bytes;
}

static int Exit(const std::string& args) { return WEXITSTATUS(std::system(RUN(args).c_str())); }

class Cli : public ::testing::Test {
 protected:
  void SetUp() override {
#ifndef _WIN32
    setenv("LC_ALL", "ja_JP.UTF-8", 1);  // the messages in Japanese, as the Wine runner has them
#endif
    root = MakeTempDir();
    for (const char* folder : {"/w/disc/v.old", "/w/none", "/w/copy"})
      fs::create_directories(root + folder);
    fs::current_path(root + "/w");
    for (const char* name : {"dmg.avi", "disc/v.old/.hid", "disc/a.avi"})
      WriteBytes(name, Bytes(0x12F4, 8192));
    for (const char* name : {"q1.avi", "q2.avi"})  // zeros in both: the question
      WriteBytes(name, Bytes(57344, 8192));
    for (const char* name : {"clean.avi", "disc/b.avi", "copy/a.avi", "copy/b.avi"})
      WriteBytes(name, Bytes());
    WriteBytes("src.avi", Bytes(100, 100));
    WriteBytes("short.avi", {1});
    std::vector<uint8_t> junk = Bytes(18, 20002);  // RIFF; its JUNK chunk's payload zeros past one
    std::memcpy(junk.data(), "RIFF\x98\x86\1\0AVI JUNK\x20\x4E\0\0\1", 21);
    WriteBytes("junk.avi", junk);
    std::memcpy(junk.data() + 4, "\1\1\1\1", 4);  // the RIFF header claims 16 MiB
    WriteBytes("trunc.avi", junk);
    std::vector<uint8_t> big = junk;  // a JUNK chunk past the RIFF list claiming 256 MiB
    std::memcpy(big.data() + 4, "\4\0\0\0", 4), std::memcpy(big.data() + 16, "\0\0\0\x10", 4);
    for (const char* name : {"jbig.avi", "jbig2.avi"}) WriteBytes(name, big);
    std::memcpy(junk.data() + 4, "\x98\x86\1\0", 4);
    std::fill_n(junk.begin() + 50000, 9000, 0);
    WriteBytes("jdmg.avi", junk);
    std::fill_n(junk.begin() + 20020, 4000, 0);  // zeros on past the JUNK chunk's end
    for (const char* name : {"jpast.avi", "jpast2.avi"}) WriteBytes(name, junk);
    WriteBytes("sector.avi", Bytes(0x800, 2048));  // one lost sector
    // Folders of three copies: a lost sector, a size mismatch, a vote, a conflict, a clean file.
    std::vector<uint8_t> other = Bytes();
    for (const char* folder : {"f1", "f2", "f3"}) fs::create_directory(folder);
    WriteBytes("f1/lost", Bytes(0x800, 2048));
    WriteBytes("f2/size", {1});
    for (const char* name : {"f2/lost", "f3/lost", "f1/size", "f3/size", "f2/vote", "f3/vote",
                             "f3/conflict", "f1/same", "f2/same", "f3/same"})
      WriteBytes(name, other);
    other[5] = 0xAA;
    WriteBytes("f1/vote", other), WriteBytes("f1/conflict", other);
    other[5] = 0xBB;
    WriteBytes("f2/conflict", other);
    std::vector<uint8_t> dead = Bytes();  // a dead sector at 0x5000; its text again at 0x7001
    std::fill_n(dead.begin() + 0x5000, 2048, '.');
    for (size_t at : {0x5000, 0x7001}) std::copy_n(kDeadLead, 143, dead.begin() + at);
    std::copy_n("dvdisaster dead sector end marker\n", 34, dead.begin() + 0x5000 + 2012);
    WriteBytes("dead.avi", dead);
    std::copy_n(dead.begin() + 0x5800, 2048, dead.begin() + 0x5000);  // the sector read
    WriteBytes("live.avi", dead);
    const std::string map = "# Mapfile\n0 ? 1\n0 0x1000 +\n0x1000 030000 -\n0x4000 83616 +\n";
    WriteBytes("dmg.map", std::vector<uint8_t>(map.begin(), map.end()));
    WriteBytes("bad.map", {'0', ' ', '+', '\n', '0', ' ', '9', '\n'});
    WriteBytes("nine.map", {'0', ' ', '+', '\n', '0', ' ', '9', ' ', '+', '\n'});
    for (const char* name : {"256m.map", "big.map"}) WriteBytes(name, {});
    fs::resize_file("256m.map", 1 << 28), fs::resize_file("big.map", (1 << 28) + 1);
  }
  void TearDown() override {
    fs::current_path(fs::temp_directory_path());
    RemoveTree(root);
  }
  std::string root;
};

// Rows run in order on one folder: arguments as the shell takes them, exit status, stdout (all of
// it when it ends in a line break, else how it begins), a fragment of stderr ("": stderr empty).
TEST_F(Cli, Invocations) {
  const std::tuple<std::string, int, std::string, std::string> rows[] = {
      {"", 2, "", "orvalintex-cli: no command given\nTry 'orvalintex-cli --help'.\n"},
      {"check", 2, "", "FILE|FOLDER is required"},
      {"check --threshold-kb 8k1 a", 2, "", "'8k1'"},
      {"check --threshold-kb 0 a", 2, "", "from 1 to 2097151, not '0'"},
      {"check --threshold-kb 2097152 a", 2, "", "'2097152'"},
      {"check --json -h missing.avi", 0, "Finds damage in files, runs of zero bytes such", ""},
      {"--version", 0, "orvalintex-cli 0.", ""},
      {"check dmg.avi \"miss ing.avi\" junk.avi", 1,
       "dmg.avi: damaged: " DAMAGED "000012F4\nmiss ing.avi: error: " CANNOT_OPEN " " NO_FILE
       "junk.avi: clean\n", ""},
      {"check --threshold-kb=2097151 --threshold-kb 9 dmg.avi", 0, "dmg.avi: clean\n", ""},
      {"check trunc.avi", 1, "trunc.avi: damaged: " DAMAGED "000186A0 (truncated: the header "
       "claims 16743017 bytes more)\n", ""},
      {"check --all trunc.avi", 1, "trunc.avi: damaged: 1 run, 16743017 damaged bytes\n  000186A0 "
       "16743017 truncated (the header claims more)\n    unknown: bytes where chunk headers were "
       "lost\n", ""},
      {"check --no-skip-junk junk.avi", 1, "junk.avi: damaged: " DAMAGED "00000015\n", ""},
      {"check" X4(X4(" clean.avi")), 0, X4(X4("clean.avi: clean\n")), ""},
      {"check none", 1, "none: error: no files in this folder\n", ""},
      {"repair disc copy", 0, "disc" SEP "a.avi" REPAIRED "disc" SEP "a.fixed.avi\ndisc" SEP
       "b.avi: clean\n" SKIPPED, ""},
      {"repair disc copy", 0, "disc" SEP "a.avi" REPAIRED "disc" SEP "a.fixed.avi\ndisc" SEP
       "b.avi: clean\n" SKIPPED, ""},  // its own outputs passed over
      {"repair f1 f2 f3", 1, "f1" SEP "conflict: unrepairable: " MISMATCH "00000005 (AA / BB / 06)"
       "\n" TAKEN("conflict", 0, 0) "f1" SEP "lost" REPAIRED "f1" SEP "lost.fixed\n"
       TAKEN("lost", 2048, 0) "f1" SEP "same: clean\n" "f1" SEP "size: failed: "
       SIZES "(f1" SEP "size: 100000 bytes, f2" SEP "size: 1 byte)\nf1" SEP "vote" REPAIRED "f1"
       SEP "vote.fixed\n" TAKEN("vote", 0, 0) "  voted: 1 position\n  voted ranges:\n    00000005 1"
       "\n", ""},
      {"repair f1" SEP "vote f2" SEP "vote f3" SEP "vote -o vote.out", 0, "f1" SEP "vote" REPAIRED
       "vote.out\n" TAKEN("vote", 0, 0) "  voted: 1 position\n  voted ranges:\n    00000005 1\n",
       ""},
      {"repair sector.avi clean.avi", 0, "sector.avi" REPAIRED "sector.fixed.avi\n", ""},
      {"repair --no jbig.avi jbig2.avi", 1, "jbig.avi: declined: " QUESTION " Address : 00000015\n"
       "  unsupplied:\n    00000015 19999 zeros\n      junk\n" NO_FRAME, ANSWERS "no (--no)\n"},
      {"repair --no --threshold-kb 4 jpast.avi jpast2.avi", 1, "jpast.avi: declined: " QUESTION
       " Address : 00000015", "jpast.avi: " QUESTION},
      {"repair disc copy -o dmg.avi", 2, "", "with DAMAGED a folder"},
      {"repair disc copy -o nofolder" SEP "x", 1, "", "cannot make the folder nofolder"},
#ifndef _WIN32  // names Windows cannot hold: all kinds of characters, bytes that are not UTF-8
      {"check '\xE3\x81\x82\xEF\xBC\x81\xC2\xA0\xDF\xBF\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF"
       "\xE0\xA0\x80\nb' \"c'\033\xC2\x9B\xFF\xED\xA0\x80\xE3\x81x\xF8\x88\x80\x80"
       "\xF0\x8F\xBF\xBF\xE0\x9F\"", 1,
       "$'\xE3\x81\x82\xEF\xBC\x81\xC2\xA0\xDF\xBF\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF\xE0\xA0\x80"
       "\\nb': error: " CANNOT_OPEN " " NO_FILE "$'c\\'\\033\\302\\233\\377\\355\\240\\200"
       "\\343\\201x\\370\\210\\200\\200\\360\\217\\277\\277\\340\\237': error: "
       CANNOT_OPEN " " NO_FILE, ""},
      {"check --json \"$(printf 'x\\377')\"", 1,
       R"({"path":"x\ufffd","path_hex":"78ff","result":"error",)", ""},
      {"check --threshold-kb \"$(printf '1\\033')\" x", 2, "", "not '1\\033'"},
      {"repair dmg.avi \"$(printf 'gone\\033[31m.avi')\"", 1,
       u8"dmg.avi: failed: 修復用のファイルが開けません。 "
       "($'gone\\033[31m.avi': No such file or directory)\n", ""},
#else
      {"repair dmg.avi src.avi -o NUL", 1, NOT_REGULAR("NUL"), ""},
      {"repair dmg.avi src.avi -o CON", 1, NOT_REGULAR("CON"), ""},
#endif
      {"check disc" SEP "v.old", 1, "disc" SEP "v.old" SEP ".hid: damaged: " DAMAGED "000012F4\n",
       ""},
      {"check --map ." SEP "dmg.avi dmg.map dmg.avi", 1, "dmg.avi: damaged: " DAMAGED "00001000\n",
       ""},
      {"check --map src.avi dmg.map dmg.avi", 2, "", "--map: src.avi is none of the files named"},
      {"check --map dmg.avi bad.map dmg.avi", 1, "", "bad.map: line 2: not a block line"},
      {"check --no-markers dead.avi", 0, "dead.avi: clean\n", ""},
      {"repair dead.avi live.avi -o dead.out", 0, "dead.avi" REPAIRED "dead.out\n", ""},
      {"check --all --mapfile none clean.avi", 1, "clean.avi: clean\n",
       "cannot write the mapfile none: is a folder"},
      {"check --mapfile m2.map dmg.avi", 2, "", "with --all, of one file"},
      {"check --all --mapfile m2.map disc", 2, "", "with --all, of one file"},
      {"check --all --mapfile ." SEP "dmg.avi dmg.avi", 2, "",
       "--mapfile: ." SEP "dmg.avi and dmg.avi are the same file"},
      {"repair --mapfile src.avi dmg.avi src.avi", 2, "", "src.avi and src.avi are the same file"},
      {"repair --mapfile out.new dmg.avi src.avi -o out.new", 2, "",
       "--mapfile: out.new and out.new are the same file"},
      {"check --map dmg.avi dmg.map --map dmg.avi dmg.map dmg.avi", 2, "",
       "--map: dmg.avi is given two mapfiles"},
      {"check --map clean.avi nine.map clean.avi", 1, "", "nine.map covers 9 bytes, clean.avi has"},
      {"check --map clean.avi nomap.map clean.avi", 1, "", "cannot read the mapfile nomap.map: "},
      {"check --map clean.avi 256m.map clean.avi", 1, "", "256m.map: line 1: "},
      {"check --map clean.avi big.map clean.avi", 1, "", "big.map: larger than 256 MiB"},
      {"repair --no --threshold-kb 4 jdmg.avi junk.avi", 0, "jdmg.avi" REPAIRED "jdmg.fixed.avi\n"
       "  unsupplied:\n    00000015 19999 zeros, padding\n      junk\n" NO_FRAME, ""},  // not asked
      {"repair --json --output=out.bin dmg.avi src.avi", 0,
       R"({"path":"dmg.avi","result":"repaired","offset":null,"message":"\u30d5\u30a1\u30a4\u30eb)"
       R"(\u3092\u4fee\u5fa9\u3057\u307e\u3057\u305f\u3002","reason":null,"output":"out.bin",)"
       R"("taken":[8192],"voted":0,"voted_ranges":[],"unsupplied":[]})" "\n", ""},
      {"repair dmg.avi junk.avi -o out.bin", 1,
       "dmg.avi: unrepairable: " MISMATCH "00000000 (01 / 52)\n", ""},
      {"repair dmg.avi missing.avi -o out.bin", 1,
       u8"dmg.avi: failed: 修復用のファイルが開けません。 (missing.avi: ", ""},
      {"repair dmg.avi short.avi -o out.bin", 1,
       "dmg.avi: failed: " SIZES "(dmg.avi: 100000 bytes, short.avi: 1 byte)\n", ""},
      {"repair dmg.avi src.avi -o ./src.avi", 2, "",
       "--output: ./src.avi and src.avi are the same file"},
      {"repair dmg.avi src.avi -o disc", 0, "dmg.avi" REPAIRED "disc" SEP "dmg.avi\n", ""},
      {"repair dmg.avi src.avi -o \"\"", 2, "", "output name is empty"},
      {"repair dmg.avi ." SEP "dmg.avi", 1, SAME, ""},
      {"repair dmg.avi src.avi -o nofolder/x", 1, REFUSED "(nofolder/x: ", ""},
      {"repair --yes q1.avi q2.avi -o q.yes", 1,
       "q1.avi: partial -> q.yes\n  unsupplied:\n    0000E000 8192 zeros\n",
       QUESTION "\nAddress : 0000E000" ANSWERS "yes (--yes)\n"},
      {"repair --no q1.avi q2.avi", 1, "q1.avi: declined: " QUESTION
       " Address : 0000E000\n  unsupplied:\n    0000E000 8192 zeros\n", ANSWERS "no (--no)\n"},
      {"repair --json q1.avi q2.avi", 1,
       R"({"path":"q1.avi","result":"declined","offset":"0000E000",)",
       ANSWERS "no (no terminal to ask; --yes goes on)\n"},
  };
  for (const auto& [args, status, out, err] : rows) {
    EXPECT_EQ(Exit(args), status) << args;
    const std::string stdOut = Text(ReadBytes("../out")), stdErr = Text(ReadBytes("../err"));
    EXPECT_EQ(out.back() == '\n' ? stdOut : stdOut.substr(0, out.size()), out) << args;
    EXPECT_TRUE(err.empty() ? stdErr.empty() : stdErr.find(err) != std::string::npos)
        << args << ": " << stdErr;
  }
  // Outputs only of repairs that wrote, the repaired one kept by a failure after, no partial files.
  EXPECT_EQ(Names(), (std::set<std::string>{
                         "256m.map", "bad.map", "big.map", "clean.avi", "copy", "dead.avi",
                         "dead.out", "disc", "dmg.avi", "dmg.map", "f1", "f2", "f3", "jbig.avi",
                         "jbig2.avi", "jdmg.avi", "jdmg.fixed.avi", "jpast.avi", "jpast2.avi",
                         "junk.avi", "live.avi", "nine.map", "none", "out.bin", "q.yes", "q1.avi",
                         "q2.avi", "sector.avi", "sector.fixed.avi", "short.avi", "src.avi",
                         "trunc.avi", "vote.out"}));
  EXPECT_EQ(Names("f1"), (std::set<std::string>{"conflict", "lost", "lost.fixed", "same", "size",
                                                "vote", "vote.fixed"}));
  EXPECT_EQ(ReadBytes("out.bin"), Bytes());
#ifndef _WIN32
  // The messages in the user's language as POSIX orders the variables, English but for Japanese.
  for (const auto& [env, message] : std::vector<std::pair<std::string, std::string>>{
           {"LC_ALL=C LANG=ja_JP.UTF-8", ": The file may be damaged. Address"},
           {"LC_ALL= LC_MESSAGES=ja_JP LANG=C", DAMAGED},
           {"LC_ALL= LC_MESSAGES= LANG=ja", DAMAGED},
           {"LC_ALL= LC_MESSAGES= LANG=", ": The file may be damaged. Address"}}) {
    std::system((env + " " ORVALINTEX_CLI " check dmg.avi >../out").c_str());
    EXPECT_NE(Text(ReadBytes("../out")).find(message), std::string::npos) << env;
  }
#endif
  EXPECT_EQ(ReadBytes("dead.out"), ReadBytes("live.avi"));
  EXPECT_EQ(Names("disc"), (std::set<std::string>{"a.avi", "a.fixed.avi", "b.avi", "dmg.avi",
                                                  "v.old"}));
}

// Sizes that say more than the file holds end in a result, in either build: an idx1 claiming
// 2.5 GiB near the end of a sparse file past 1 GiB, and more empty chunks than a map takes.
TEST_F(Cli, HostileSizesEndInAResult) {
  std::vector<uint8_t> f(40000024, 0);  // five million empty 00dc chunks, 40 MB
  std::memcpy(f.data(), "RIFF\xF0\xFF\xFF\x7F" "AVI LIST\xE0\xFF\xFF\x7F" "movi", 24);
  for (size_t at = 24; at < f.size(); at += 8) std::memcpy(&f[at], "00dc", 4);
  WriteBytes("many.avi", f);
  std::memcpy(f.data() + 4, "\0\0\0\xF0", 4), std::memcpy(f.data() + 16, "\0\0\0\x48", 4);
  f.resize(24);
  WriteBytes("sparse.avi", f);
  std::ofstream("sparse.avi", std::ios::in | std::ios::out | std::ios::binary).seekp(0x48000014)
      << std::string("idx1\0\0\0\xA0", 8);
  EXPECT_EQ(Exit("check --all many.avi"), 1);
  EXPECT_EQ(Text(ReadBytes("../out")), "many.avi: damaged: 1 run, 2107483616 damaged bytes\n"
            "  02625A18 2107483616 truncated (the header claims more)\n"
            "  too many chunks to tell what the damage hits\n");
  EXPECT_EQ(Exit("check --all sparse.avi"), 1);
  EXPECT_EQ(Text(ReadBytes("../out")).substr(0, 29), "sparse.avi: damaged: 2 runs, ");
}

// Random damage over 2-4 copies of a RIFF file with a long JUNK chunk, some copies mapped: the
// dry run lists the unsupplied ranges the run finds, and says partial exactly where the run asks
// and, answered no, declines: where one of them is no padding.
TEST_F(Cli, TheDryRunSaysWhatTheRunDoes) {
  std::mt19937 rng(7);
  std::vector<uint8_t> file = Bytes(18, 12290);  // the payload; then data with real zeros in it
  std::memcpy(file.data(), "RIFF\x98\x86\1\0AVI JUNK\0\x30\0\0\1", 21);
  for (size_t i = 13000; i < file.size(); i += 97) file[i] = 0;
  const auto unsupplied = [](const std::string& json) {
    return json.find("\"unsupplied\"") == json.npos ? "" : json.substr(json.find("\"unsupplied\""));
  };
  for (int trial = 0; trial < 16; ++trial) {
    std::string copies;
    for (int k = 0; k < 2 + trial % 3; ++k) {  // a mapped copy's map misses its damage and more
      std::vector<uint8_t> c = file;
      const std::string name = "c" + std::to_string(k);
      const bool mapped = rng() % 3 == 0;
      for (uint32_t z = mapped ? 1 : rng() % 3; z > 0; --z) {
        const uint32_t at = rng() % 5 * 18000 + rng() % 3000, n = 1 + rng() % 12000;
        std::fill_n(c.begin() + at, n, 0);
        const std::string map = "0 + 1\n0 " + std::to_string(at) + " +\n" + std::to_string(at) +
                                " " + std::to_string(n + 500) + " -\n" +
                                std::to_string(at + n + 500) + " 99999999 +\n";
        if (mapped) WriteBytes(name + ".map", std::vector<uint8_t>(map.begin(), map.end()));
      }
      WriteBytes(name, c);
      copies += " " + name;
      if (mapped) copies = " --map " + name + " " + name + ".map" + copies;
    }
    Exit("repair --json --threshold-kb 2 --dry-run" + copies);
    const std::string dry = Text(ReadBytes("../out"));
    Exit("repair --json --threshold-kb 2 --no" + copies);
    const std::string run = Text(ReadBytes("../out")), asked = Text(ReadBytes("../err"));
    const bool lacking = dry.find("\"padding\":false") != dry.npos;
    EXPECT_EQ(unsupplied(dry), unsupplied(run)) << copies;
    EXPECT_EQ(dry.find("\"partial\"") != dry.npos, lacking) << dry;
    EXPECT_EQ(run.find("\"declined\"") != run.npos, lacking) << run;
    EXPECT_EQ(asked.find(QUESTION) != asked.npos, lacking) << copies;
  }
}

#ifndef _WIN32
// Runs the program on a new pseudo-terminal, typing keys (or sending signal) once `when` shows
// there; *screen: all shown.
static int OnTerminal(const std::string& args, const char* when, const std::string& keys,
                      std::string* screen, int signal = 0) {
  int terminal, status = 0;
  const pid_t pid = forkpty(&terminal, nullptr, nullptr, nullptr);
  if (pid == 0) {
    execl("/bin/sh", "sh", "-c", ("exec " ORVALINTEX_CLI " " + args).c_str(), nullptr);
    _exit(127);
  }
  char buffer[4096];
  pollfd ready = {terminal, POLLIN, 0};
  bool typed = false;
  while (poll(&ready, 1, 30000) > 0) {
    const ssize_t got = read(terminal, buffer, sizeof buffer);
    if (got <= 0) break;
    screen->append(buffer, got);
    if (typed || screen->find(when) == std::string::npos) continue;
    typed = signal ? !kill(pid, signal) : write(terminal, keys.data(), keys.size()) > 0;
  }
  kill(pid, SIGKILL);  // should it hang
  waitpid(pid, &status, 0);
  close(terminal);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST_F(Cli, AtATerminalTheQuestionIsAskedProgressShownAndCtrlCStopsLeavingNoOutput) {
  const std::set<std::string> before = Names();
  std::string no, stopped, yes, s, r;
  EXPECT_EQ(OnTerminal("repair q1.avi q2.avi", ANSWERS, "\n", &no), 1) << no;  // declined
  // A terminal it cannot read, as after a hangup, answers no.
  EXPECT_EQ(OnTerminal("repair q1.avi q2.avi 0>/dev/tty", ANSWERS, "", &no), 1) << no;
  EXPECT_EQ(OnTerminal("repair q1.avi q2.avi", ANSWERS, "\x03", &stopped), 130) << stopped;
  EXPECT_NE(stopped.find("\nq1.avi: stopped\r\n"), std::string::npos) << stopped;
  EXPECT_EQ(Names(), before);
  EXPECT_EQ(OnTerminal("repair q1.avi q2.avi -o q.yes", ANSWERS, u8"はい\n", &yes), 1) << yes;
  EXPECT_TRUE(fs::exists("q.yes"));

  std::ofstream("huge.avi").close();
  fs::resize_file("huge.avi", 1ull << 40);  // 1 TiB, a nonzero byte in every GiB: until stopped
  for (std::fstream f("huge.avi"); f.tellp() < (1ll << 40); f.seekp(1 << 30, std::ios::cur))
    f.put(1);
  EXPECT_EQ(OnTerminal("check --threshold-kb 2097151 clean.avi huge.avi clean.avi", "checking: ",
                       "\x03", &s), 130);
  EXPECT_NE(s.find("clean.avi: clean\r\n\rchecking:   0% ("), s.npos) << s;
  EXPECT_NE(s.find(" of 1048576 MiB, "), s.npos) << s;
  const size_t stop = s.find("\rhuge.avi: stopped\r\n"), clear = s.rfind('\r', stop - 1);
  const size_t drawn = s.rfind("\rchecking:", clear);
  ASSERT_NE(stop, std::string::npos) << s;
  EXPECT_EQ(stop - clear - 1, s.find_first_of("^\r", drawn + 1) - drawn + 1) << "cleared: " << s;
  EXPECT_EQ(s.find("clean.avi", stop), std::string::npos) << "nothing checked after the stop";
  std::ofstream("huge2.avi").close();
  fs::resize_file("huge2.avi", 1ull << 40);  // zeros only: read until stopped
  EXPECT_EQ(OnTerminal("repair --dry-run --threshold-kb 1 huge.avi huge2.avi", "repairing: ",
                       "\x03", &r), 130);
  EXPECT_NE(r.find(" of 1048576 MiB, "), r.npos) << r;
}

// In a folder others can write to: outputs that are no regular file are left alone, a new output
// is as private as the damaged file, links in a folder are passed over; every ending signal
// removes the partial file.
TEST_F(Cli, HostileOutputsPrivateFilesAndEverySignalLeaveNoPartialFile) {
  umask(022);
  mkfifo("fifo", 0600);
  symlink("clean.avi", "lnk");
  WriteBytes("o", {1});
  chmod("o", 0640);
  chmod("dmg.avi", 0600);
  for (auto [args, status] : std::vector<std::pair<std::string, int>>{
           {"-o fifo", 1}, {"-o lnk", 1}, {"-o o", 0}, {"-o " + std::string(254, 'n'), 0}})
    EXPECT_EQ(Exit("repair dmg.avi src.avi " + args), status) << args;
  EXPECT_TRUE(fs::is_fifo("fifo") && fs::is_symlink("lnk") && ReadBytes("clean.avi") == Bytes());
  EXPECT_EQ(fs::status("o").permissions(), fs::perms(0640)) << "the replaced output's mode";
  EXPECT_EQ(fs::status(std::string(254, 'n')).permissions(), fs::perms(0600)) << "a new one's";
  symlink("../dmg.avi", "disc/c.avi");
  EXPECT_EQ(Exit("repair disc copy"), 0);
  EXPECT_EQ(Text(ReadBytes("../out")), "disc/a.avi" REPAIRED "disc/a.fixed.avi\n"
                                      "disc/b.avi: clean\ndisc/c.avi: skipped: not a regular file\n"
                                      SKIPPED);
  EXPECT_EQ(Exit("check fifo /dev/zero"), 1);
  EXPECT_EQ(Text(ReadBytes("../out")), "fifo: error: " CANNOT_OPEN " (not a regular file)\n"
            "/dev/zero: error: " CANNOT_OPEN " (not a regular file)\n") << "waited on";
  // With standard input closed the first file the program opens is descriptor 0.
  EXPECT_EQ(std::system(ORVALINTEX_CLI " repair dmg.avi src.avi -o in0.avi <&- >../out"), 0);
  EXPECT_EQ(ReadBytes("in0.avi"), Bytes());
  const std::set<std::string> before = Names();
  std::string screen;
  for (int signal : {SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGALRM, SIGUSR1, SIGUSR2})
    EXPECT_EQ(OnTerminal("repair q1.avi q2.avi", ANSWERS, "", &screen, signal), 128 + signal);
  std::string deep = "q";  // a path whose quoted name fills pages
  for (int level = 0; level < 10; ++level)
    fs::create_directories(deep += "/" + std::string(240, '\xFF'));
  for (const char* name : {"/q1.avi", "/q2.avi"}) fs::copy_file(name + 1, deep + name);
  EXPECT_EQ(OnTerminal("repair " + deep + "/q1.avi " + deep + "/q2.avi", ANSWERS, "", &screen,
                       SIGTERM), 143);
  EXPECT_EQ(Names(deep.c_str()), (std::set<std::string>{"q1.avi", "q2.avi"}));
  fs::remove_all("q");
  for (const char* args : {"repair --yes dmg.avi src.avi", "repair --yes q1.avi q2.avi"}) {
    EXPECT_EQ(std::system(("ulimit -f 50; " + RUN(args)).c_str()), 1 << 8)
        << "past the file size limit, a complete or partial repair: as a full disk";
    EXPECT_NE(Text(ReadBytes("../out")).find(u8": failed: ファイルに書き込めません。"),
              std::string::npos);
  }
  EXPECT_EQ(std::system(("ulimit -f 0; " + RUN("check --all --mapfile m.map clean.avi")).c_str()),
            1 << 8);
  EXPECT_EQ(Names(), before);
  EXPECT_EQ(WEXITSTATUS(std::system(ORVALINTEX_CLI " check clean.avi >/dev/full 2>../err")), 1);
  EXPECT_EQ(Text(ReadBytes("../err")), "orvalintex-cli: write error: standard output\n");
}

// A check whose output nobody reads blocks once its one page of pipe is full; the first Ctrl-C
// still ends it within a second (timeout passes the signal on, and kills a program that hangs).
TEST_F(Cli, AStopEndsACheckBlockedOnAFullPipe) {
  const std::string name(200, 'c');
  fs::copy_file("clean.avi", name);
  mkfifo("pipe", 0600);
  const int pipe = open("pipe", O_RDONLY | O_NONBLOCK);
  fcntl(pipe, F_SETPIPE_SZ, 4096);
  FILE* shell = popen(("echo $$; exec timeout -s KILL 20 " ORVALINTEX_CLI " check $(yes " + name +
                       " | head -n 1000) >pipe").c_str(), "r");
  int pid = 0, pending = 0;
  ASSERT_EQ(std::fscanf(shell, "%d", &pid), 1);
  // Full once no further line fits: the next write blocks.
  const int line = int(name.size()) + 8, room = fcntl(pipe, F_GETPIPE_SZ);  // ": clean\n"
  while (pending + line <= room) sched_yield(), ioctl(pipe, FIONREAD, &pending);
  const auto stop = std::chrono::steady_clock::now();
  kill(pid, SIGINT);
  EXPECT_EQ(WEXITSTATUS(pclose(shell)), 130);
  EXPECT_LT(std::chrono::steady_clock::now() - stop, std::chrono::seconds(1));
  close(pipe);
}

// A disc's bytes: whole sectors, with real zeros at 100 KiB.
static std::vector<uint8_t> Disc() {
  std::vector<uint8_t> disc = Bytes();
  disc.resize(300032, 7);
  std::fill_n(disc.begin() + 102400, 20480, 0);
  return disc;
}

// What GNU ddrescue knows of its copies: real zeros it read are held and no damage, unread
// blocks are missing whatever stale bytes they hold.
TEST_F(Cli, RescueToolsKnowBetterThanZeros) {
  const std::vector<uint8_t> disc = Disc();
  std::vector<uint8_t> a = disc, c = disc;
  std::fill_n(a.begin() + 204800, 4096, 0);  // lost, and found by the generate mode
  std::fill_n(c.begin() + 204800, 4096, 0x55);  // stale bytes where ddrescue could not read
  WriteBytes("disc.img", disc);
  WriteBytes("a.img", a);
  WriteBytes("c.img", c);
  ASSERT_EQ(std::system("ddrescue -q -G disc.img a.img a.map && ddrescue -q disc.img b.img b.map"),
            0);
  for (std::string all : {"", "--all "})
    EXPECT_EQ(Exit("check " + all + "--map b.img b.map b.img"), 0) << "the real zeros are read";
  EXPECT_EQ(Exit("repair --map c.img a.map --map b.img b.map c.img b.img -o r.img"), 0);
  EXPECT_EQ(ReadBytes("r.img"), disc) << Text(ReadBytes("../out"));
}

// Two partial rescues of a disc read through a loop device, which only root can attach.
TEST_F(Cli, TwoRescuesThroughALoopDevice) {
  const std::vector<uint8_t> disc = Disc();
  WriteBytes("disc.img", disc);
  char loop[64] = "";
  if (FILE* attach = popen("losetup -f --show disc.img 2>/dev/null", "r")) {
    if (!fgets(loop, sizeof loop, attach)) loop[0] = '\0';
    pclose(attach);
  }
  const std::string dev(loop, std::strcspn(loop, "\n"));
  if (dev.empty()) GTEST_SKIP() << "no loop device to attach disc.img to";
  EXPECT_EQ(Exit("check " + dev), 1) << "a block device, whose fstat size is 0, read to its end";
  EXPECT_EQ(Text(ReadBytes("../out")), dev + ": damaged: " DAMAGED "00019000\n");
  EXPECT_EQ(std::system(("truncate -s 300032 f.img g.img && ddrescue -q -s 150016 " + dev +
                         " f.img f.map && ddrescue -q -i 150016 " + dev +
                         " g.img g.map && losetup -d " + dev).c_str()), 0);
  EXPECT_EQ(Exit("repair --map f.img f.map --map g.img g.map f.img g.img -o fg.img"), 0);
  EXPECT_EQ(ReadBytes("fg.img"), disc);
}
#endif
