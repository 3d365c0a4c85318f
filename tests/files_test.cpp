// Loading files into the line store and writing ranges of it out.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <functional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "commands/file_io.h"
#include "harness/child.h"
#include "harness/editor.h"
#include "harness/small_disk.h"
#include "commands/open_text.h"
#include "session/session.h"
#include "store/files.h"
#include "store/history.h"

using Lines = std::vector<std::string>;

// A load as the editor makes it, with its message: 1 when the file was
// not opened, 0 when it was read whole, -1 when only part of it fits.
static int load_reported(const char* path, byte* pos, load_mode mode = load_mode::open)
{
    file_result r = load_file(path, pos, mode);
    report_load(path, r);
    return r.status == file_status::done ? 0 : r.status == file_status::overflow ? -1 : 1;
}

// The whole text written as Update writes it to the text's own file, with
// its message; 0 when written.
static int write_reported(const char* path)
{
    if (!report_write(path, write_file(path)))
        return 1;
    note_text_saved();
    return 0;
}
using namespace std::string_literals;
namespace fs = std::filesystem;

class Files : public EditorTest {
protected:
    void SetUp() override
    {
        EditorTest::SetUp();
        open("", 80, 25, 0x10000);
        set_text({});
        modified = 0;
    }
    int load(const std::string& contents, byte* pos = nullptr)
    {
        create_file("in.txt", contents);
        return load_reported("in.txt", pos ? pos : text_begin);
    }
    std::string message() { return screen().row(2); }
};

TEST_F(Files, LoadsLfAndCrLfLinesAndALastLineWithoutLf)
{
    EXPECT_EQ(load("a\nb\r\n"), 0);
    EXPECT_EQ(text_lines(), (Lines{"a", "b"}));
    EXPECT_EQ(text_end, text_begin + 4);
    EXPECT_EQ(modified, 1);
    EXPECT_EQ(message(), "----> reading 'in.txt'");

    set_text({});
    EXPECT_EQ(load("x\r\ny\rz\nnul\0gone\nlast\r"s), 0);
    EXPECT_EQ(text_lines(), (Lines{"x", "y\rz", "nul", "last"}));
    set_text({});
    EXPECT_EQ(load("a\nb\0c\nd"s), 0) << "a NUL without any CR";
    EXPECT_EQ(text_lines(), (Lines{"a", "b", "d"}));
    use_store(8);                       // room for the bytes and the last NUL, no more
    EXPECT_EQ(load("ab\ncdef"), 0);
    EXPECT_EQ(text_lines(), (Lines{"ab", "cdef"}));
    EXPECT_EQ(text_end - text_begin, 8);
    use_store(0x10000);

    set_text({});
    EXPECT_EQ(load("\n"), 0);
    EXPECT_EQ(text_lines(), (Lines{""}));
    set_text({});
    modified = 0;
    EXPECT_EQ(load(""), 0);
    EXPECT_EQ(text_end, text_begin);
    EXPECT_EQ(modified, 0) << "nothing read: the text is as it was";
}

TEST_F(Files, LoadsALongLineWholeAndIntoTheMiddleOfALine)
{
    std::string line = "A" + std::string(49998, 'q') + "Z";
    EXPECT_EQ(load(line + "\nnext\n"), 0);
    EXPECT_EQ(text_lines(), (Lines{line, "next"}));

    set_text({"HEADTAIL", "after"});
    window_bottom = line_at(2);
    EXPECT_EQ(load("one\ntwo\n", text_begin + 4), 0);
    EXPECT_EQ(text_lines(), (Lines{"HEADone", "two", "TAIL", "after"}));
    EXPECT_EQ(window_top, text_begin);
    EXPECT_EQ(window_bottom, line_at(4)) << "the window keeps pointing at 'after'";
}

TEST_F(Files, OverflowKeepsWholeLinesAndSaysSo)
{
    use_store(16);
    EXPECT_EQ(load("aaaaa\nbbbbb\nccccc\n"), -1);
    EXPECT_EQ(text_lines(), (Lines{"aaaaa", "bbbbb"}));
    EXPECT_EQ(modified, 1);
    EXPECT_EQ(message(), "----> buffer overflow (16)");
    EXPECT_EQ(screen().bells(), 1);

    set_text({});                       // one line longer than the store
    EXPECT_EQ(load(std::string(40, 'x')), -1);
    EXPECT_EQ(text_end, text_begin);
}

// The text sits with room on both sides; a file that needs more room above
// it than it said (here: a last line without LF, one byte more than the
// room) moves the text down and arrives whole.
TEST_F(Files, AFileNeedingMoreRoomThanItsSizeArrivesWhole)
{
    open("hello\nworld\n", 80, 25, 64);           // text in the middle of 64 bytes
    long room_above = (store_block + 2 + text_capacity) - text_end;
    std::string file = std::string(size_t(room_above) - 2, 'x') + "\nZ";
    EXPECT_EQ(load(file), 0);
    EXPECT_EQ(text_lines(), (Lines{std::string(size_t(room_above) - 2, 'x'), "Z", "hello", "world"}));
    EXPECT_EQ(text_begin[-1] | text_begin[-2], 0);
}

// Megabytes of text are read into pages the system makes ahead of the read,
// in pieces through a small buffer: every byte still arrives, in its place.
TEST_F(Files, AFileOfManyMegabytesArrivesWholeBetweenTwoLines)
{
    use_store(32u << 20);
    set_text({"HEAD", "TAIL"});
    Lines file_lines, expected{"HEAD"};
    std::string file;
    for (int i = 0; file.size() < (12u << 20); i++) {
        file_lines.push_back("line " + std::to_string(i) + " " + std::string(size_t(i % 97), 'a' + char(i % 26)));
        file += file_lines.back() + "\n";
    }
    expected.insert(expected.end(), file_lines.begin(), file_lines.end());
    expected.push_back("TAIL");
    EXPECT_EQ(load(file, line_at(2)), 0);
    EXPECT_TRUE(text_lines() == expected) << "a line of the file is missing or changed";
    EXPECT_EQ(size_t(text_end - text_begin), file.size() + 10);
    use_store(0x10000);
}

TEST_F(Files, ANameThatCannotBeOpenedChangesNothing)
{
    set_text({"kept"});
    EXPECT_EQ(load_reported("missing.txt", text_begin), 1);
    EXPECT_EQ(text_lines(), (Lines{"kept"}));
    EXPECT_EQ(modified, 0);
    EXPECT_EQ(message(), "----> can't open 'missing.txt'");

    std::string name(1000, 'p');
    open_text(name.c_str());
    EXPECT_EQ(file_name, name) << "kept whole";
    EXPECT_EQ(text_lines(), (Lines{"", ""}));
    EXPECT_EQ(message(), "----> can't open '" + std::string(62, 'p'));
}

TEST_F(Files, WritesRangesAndWholeTexts)
{
    set_text({"alpha", "beta", "gamma", "delta"});
    EXPECT_TRUE(put_range("out.txt", line_at(1) + 2, line_at(3) + 3));
    EXPECT_EQ(read_file("out.txt"), "pha\nbeta\ngam\n");
    EXPECT_EQ(message(), "--");
    type("y");                          // out.txt exists now: Put asks first
    EXPECT_TRUE(put_range("out.txt", line_at(2), line_at(3)));
    EXPECT_EQ(read_file("out.txt"), "beta\n");
    type("y");
    EXPECT_TRUE(put_range("out.txt", line_at(2), line_at(2)));
    EXPECT_EQ(read_file("out.txt"), "");
    type("n");
    EXPECT_FALSE(put_range("out.txt", line_at(1), line_at(2)));
    EXPECT_EQ(message(), "----> 'out.txt' exists. Overwrite ? (y/n) N");
    EXPECT_EQ(read_file("out.txt"), "") << "no writes nothing";
    EXPECT_EQ(text_lines(), (Lines{"alpha", "beta", "gamma", "delta"}));

    use_store(8);                       // filled to the last byte
    set_text({"abc", "def"});
    modified = 1;
    EXPECT_EQ(write_reported("full.txt"), 0);
    EXPECT_EQ(read_file("full.txt"), "abc\ndef\n");
    EXPECT_EQ(modified, 0);
}

TEST_F(Files, AFailedWriteSaysSoAndKeepsModified)
{
    set_text({"some text"});
    modified = 1;
    EXPECT_EQ(write_reported("/dev/full"), 1);
    EXPECT_EQ(modified, 1);
    EXPECT_EQ(message(), "----> can't write '/dev/full'");
    EXPECT_EQ(screen().bells(), 1);

    create_file("plain", "x");
    EXPECT_EQ(write_reported("plain/below.txt"), 1);
    EXPECT_EQ(modified, 1);
    EXPECT_EQ(message(), "----> can't open 'plain/below.txt'");
}

TEST_F(Files, AWriteCutShortLeavesTheOldFileWhole)
{
    create_file("keep.txt", "old contents\n");
    set_text({std::string(5000, 'n')});
    modified = 1;
    int code = in_child([] {
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit = {100, 100};       // no file grows past 100 bytes
        setrlimit(RLIMIT_FSIZE, &limit);
        return write_reported("keep.txt") * 10 + modified;
    });
    EXPECT_EQ(code, 11) << "write_file returns 1 and modified stays set";
    EXPECT_EQ(read_file("keep.txt"), "old contents\n");
    Lines names;
    for (const auto& e : fs::directory_iterator("."))
        if (e.path().filename() != ".state")    // the test's own journals
            names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (Lines{"keep.txt", "t.txt"})) << "no temporary file is left";
}

TEST_F(Files, WritingKeepsPermissionsAndFollowsLinks)
{
    create_file("private.txt", "old\n");
    chmod("private.txt", 0640);
    set_text({"new"});
    EXPECT_EQ(write_reported("private.txt"), 0);
    EXPECT_EQ(read_file("private.txt"), "new\n");
    EXPECT_EQ(fs::status("private.txt").permissions(), fs::perms(0640));

    symlink("private.txt", "link.txt");
    set_text({"through the link"});
    EXPECT_EQ(write_reported("link.txt"), 0);
    EXPECT_TRUE(fs::is_symlink("link.txt"));
    EXPECT_EQ(read_file("private.txt"), "through the link\n");

    link("private.txt", "second-name.txt");
    set_text({"both names"});
    EXPECT_EQ(write_reported("private.txt"), 0);
    EXPECT_EQ(read_file("second-name.txt"), "both names\n");
}

TEST_F(Files, AReadOnlyDirectoryIsWrittenInPlaceOrNotAtAll)
{
    fs::create_directory("locked");
    create_file("locked/open.txt", "old\n");
    chmod("locked/open.txt", 0666);
    chmod("locked", 0555);
    chmod(".", 0755);
    set_text({"new"});
    modified = 1;
    // root may write anywhere: these writes are made as nobody
    auto as_nobody = [](const char* path) {
        return in_child([path] {
            if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
                return 99;
            return write_reported(path) * 10 + modified;
        });
    };
    struct stat before, after;
    stat("locked/open.txt", &before);
    EXPECT_EQ(as_nobody("locked/open.txt"), 0) << "written, modified cleared";
    EXPECT_EQ(read_file("locked/open.txt"), "new\n");
    stat("locked/open.txt", &after);
    EXPECT_EQ(after.st_ino, before.st_ino) << "the file itself was rewritten";

    EXPECT_EQ(as_nobody("locked/new.txt"), 11) << "fails, modified kept";
    EXPECT_FALSE(fs::exists("locked/new.txt"));
    chmod("locked", 0755);
}

// Only regular files are read: a FIFO or a device would block the editor
// for ever or fill the store with zeros. Nothing is inserted and row 2 says why.
TEST_F(Files, OnlyRegularFilesAreReadAndNothingWaitsOnAFifo)
{
    ASSERT_EQ(mkfifo("pipe", 0600), 0);
    fs::create_directory("adir");
    set_text({"kept"});
    EXPECT_EQ(load_reported("pipe", text_begin), 1);
    EXPECT_EQ(message(), "----> 'pipe' is not a regular file");
    EXPECT_EQ(load_reported("/dev/zero", text_begin), 1);
    EXPECT_EQ(message(), "----> '/dev/zero' is not a regular file");
    EXPECT_EQ(load_reported("adir", text_begin), 1);
    EXPECT_EQ(message(), "----> 'adir' is a directory");
    EXPECT_EQ(text_lines(), (Lines{"kept"}));
    EXPECT_EQ(screen().bells(), 3);

    // a FIFO without a reader refuses at once; a device is written as
    // before (each asked about first, as they exist)
    type("yyy");
    EXPECT_FALSE(put_range("pipe", text_begin, text_end));
    EXPECT_EQ(message(), "----> 'pipe' is not a regular file");
    EXPECT_TRUE(put_range("/dev/null", text_begin, text_end));
    EXPECT_EQ(message(), "--");
    EXPECT_FALSE(put_range("adir", text_begin, text_end));
    EXPECT_EQ(message(), "----> can't open 'adir'");
}

TEST_F(Files, AFileOfCrLfLinesIsWrittenBackWithCrLf)
{
    open("one\r\ntwo\r\n");
    EXPECT_EQ(screen().row(2).substr(0, 37), "----> reading 't.txt' 8/1048576 chars")
        << "the load message is the usual one";
    EXPECT_EQ(write_reported("t.txt"), 0);
    EXPECT_EQ(read_file("t.txt"), "one\r\ntwo\r\n");
    EXPECT_TRUE(put_range("part.txt", line_at(2), text_end));
    EXPECT_EQ(read_file("part.txt"), "two\r\n");

    open("one\r\ntwo\n");               // mixed endings: each line keeps its own
    EXPECT_EQ(write_reported("t.txt"), 0);
    EXPECT_EQ(read_file("t.txt"), "one\r\ntwo\n");
}

// A hard-linked file is written in place: on a full disk the room is
// reserved first, so the write is refused before a byte of the old file
// changes; with room, a shorter text leaves no tail of the old one.
TEST_F(Files, AWriteInPlaceOnAFullDiskKeepsTheOldFile)
{
    SmallDisk disk(256);
    if (!disk.mounted())
        GTEST_SKIP() << "cannot mount a tmpfs here (needs root)";
    std::string file = disk.path() + "/linked.txt", old(20000, 'o');
    create_file(file, old + "\n");
    ASSERT_EQ(link(file.c_str(), (disk.path() + "/second").c_str()), 0);
    disk.fill(4096);
    set_text({std::string(60000, 'n')});
    modified = 1;
    EXPECT_EQ(write_reported(file.c_str()), 1);
    EXPECT_EQ(message(), "----> can't write '" + file + "': No space left on device");
    EXPECT_EQ(read_file(file), old + "\n");
    EXPECT_EQ(modified, 1);

    set_text({"short"});
    EXPECT_EQ(write_reported(file.c_str()), 0);
    EXPECT_EQ(read_file(disk.path() + "/second"), "short\n");
}

TEST_F(Files, SetUserAndGroupBitsSurviveAWrite)
{
    create_file("tool", "old\n");
    ASSERT_EQ(chmod("tool", 06755), 0);
    set_text({"new"});
    EXPECT_EQ(write_reported("tool"), 0);
    EXPECT_EQ(read_file("tool"), "new\n");
    struct stat st;
    ASSERT_EQ(stat("tool", &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 06755u);
}

// A file that is there but cannot be read is not a new file: the text says
// why, and Update asks before it replaces the file with the empty text.
TEST_F(Files, AnUnreadableFileIsNotTakenForANewOne)
{
    create_file("secret", "private\n");
    ASSERT_EQ(chown("secret", 65534, 65534), 0);
    ASSERT_EQ(chmod("secret", 0200), 0);
    chmod(".", 0777);
    int code = in_child([this] {
        if (!become_nobody())
            return 99;
        open_text("secret");
        int wrong = 0;
        if (screen().row(2).substr(0, 44) != "----> can't read 'secret': Permission denied")
            wrong |= 1;
        type("N");
        if (!run([] { save_text("secret"); }) || screen().row(2).find("incomplete") == std::string::npos)
            wrong |= 2;
        return wrong;
    });
    EXPECT_EQ(code, 0);
    chmod("secret", 0600);
    EXPECT_EQ(read_file("secret"), "private\n");
}

// A load or save that takes long shows how far it has come on row 2 (here
// at once), then ends with its usual message; ^C stops a load, and a Get
// stopped inserts nothing.
TEST_F(Files, ALongLoadOrSaveShowsItsProgressAndCtrlCStopsALoad)
{
    std::string big;
    for (int i = 0; big.size() < (1 << 20); i++)
        big += "line " + std::to_string(i) + "\n";
    create_file("big.txt", big);
    use_store(4 << 20);
    set_progress_delay(0);
    take_output();
    EXPECT_EQ(load_with_progress("big.txt", text_begin, load_mode::open).status, file_status::done);
    std::string shown = take_output();
    EXPECT_NE(shown.find("reading 'big.txt' 65536/" + std::to_string(big.size())), std::string::npos) << shown;
    EXPECT_EQ(message(), "----> reading 'big.txt'");
    EXPECT_TRUE(save_text("copy.txt"));
    EXPECT_NE(take_output().find("writing to 'copy.txt' 65536/"), std::string::npos);
    EXPECT_EQ(read_file("copy.txt"), big);

    set_text({"kept"});
    type("\x03");
    EXPECT_EQ(load_with_progress("big.txt", text_begin, load_mode::get).status, file_status::stopped);
    set_progress_delay(500);
    EXPECT_EQ(text_lines(), (Lines{"kept"})) << "a Get stopped inserts nothing";
    EXPECT_EQ(message(), "----> reading 'big.txt' interrupted");
}
