// Texts that outgrow any fixed room, in the built editor: pastes and Gets
// of megabytes into a new file arrive whole; under an address-space limit
// a paste too large for memory inserts nothing, and a change the undo
// history has no memory for is still made. No allocation failure ends the
// editor.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <sys/resource.h>

#include "commands/open_text.h"
#include "harness/pty.h"
#include "harness/session.h"
#include "store/history.h"
#include "store/store.h"

namespace {

// Lines of text, n bytes or a few more.
std::string lines_of(size_t n)
{
    std::string text;
    for (int i = 0; text.size() < n; i++)
        text += "line " + std::to_string(i) + " of a text larger than any fixed room\n";
    return text;
}

// The sanitizers reserve terabytes of address space: a limit stops them.
bool sanitized()
{
#if defined(__SANITIZE_ADDRESS__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return true;
#endif
#endif
    return false;
}

std::string pasted(const std::string& text)
{
    return "\x1b[200~" + text + "\x1b[201~";
}

// Leaves insert mode, updates the file and exits; the exit code.
int update_and_exit(PtyEditor& pym)
{
    pym.press(Key::Esc);
    pym.send("QUE");
    return pym.wait_exit(30000);
}

}  // namespace

TEST(LargeText, AFiveMebibytePasteIntoANewFileArrivesWhole)
{
    PtyEditor pym;
    pym.start({"new.txt"});
    std::string text = lines_of(5 << 20);
    text.pop_back();            // the line the cursor stood on ends the last one
    pym.send(pasted(text));
    ASSERT_EQ(update_and_exit(pym), 0) << pym.screen().dump();
    EXPECT_TRUE(pym.read_file("new.txt") == text + "\n") << "the paste arrived cut";
}

TEST(LargeText, AGetOfFiveMebibytesArrivesWhole)
{
    PtyEditor pym;
    std::string text = lines_of(5 << 20);
    pym.create_file("big.txt", text);
    pym.start({"new.txt"});
    pym.press(Key::Esc);
    pym.send("Gbig.txt\r");
    ASSERT_TRUE(pym.shows(2, "----> reading 'big.txt'")) << pym.screen().dump();
    pym.send("QUE");
    ASSERT_EQ(pym.wait_exit(30000), 0) << pym.screen().dump();
    // the empty line the new text's cursor stood on follows the file
    EXPECT_TRUE(pym.read_file("new.txt") == text + "\n") << "the Get arrived cut";
}

TEST(LargeText, APastePastTheMemoryLimitInsertsNothingAndTheEditorGoesOn)
{
    if (sanitized())
        GTEST_SKIP() << "the sanitizers do not run under an address-space limit";
    PtyEditor pym;
    pym.limit_address_space(64 << 20);
    pym.start({"new.txt"});
    pym.send(pasted(lines_of(48 << 20)));
    ASSERT_TRUE(pym.shows(2, "---->too many chars, can't insert")) << pym.screen().dump();
    pym.send("ok");
    ASSERT_EQ(update_and_exit(pym), 0) << pym.screen().dump();
    EXPECT_EQ(pym.read_file("new.txt"), "ok\n");
}

TEST(LargeText, DeletingAWholeLargeTextUnderAMemoryLimitCanBeUndone)
{
    if (sanitized())
        GTEST_SKIP() << "the sanitizers do not run under an address-space limit";
    PtyEditor pym;
    pym.limit_address_space(150 << 20);
    const std::string text = lines_of(40 << 20);
    pym.create_file("log.txt", text);
    pym.start({"log.txt"});
    pym.press(Key::Esc);
    pym.send("SDy");            // Delete leaves the paste buffer alone
    pym.send("D");
    pym.press(Key::End, 3);
    pym.send("D");
    ASSERT_TRUE(pym.shows(2, "  Line 1    Col 1", 60)) << pym.screen().dump();
    pym.send("U");
    ASSERT_TRUE(pym.shows(3, "line 0 of")) << pym.screen().dump();
    pym.send("QE");
    ASSERT_EQ(pym.wait_exit(30000), 0) << "the text is as read: Exit asks nothing\n" << pym.screen().dump();
    EXPECT_TRUE(pym.read_file("log.txt") == text);
}

/*
 * In a process of its own (the test binary run afresh, so that no memory
 * freed by other tests is at hand), whose address space is then cut down
 * to what it uses: the history cannot keep a large deletion.
 */
class HistoryWithoutMemory : public SessionTest {
protected:
    // 0 when the deletion was made and said too big to undo, and undo then
    // had nothing; else 1 + 2 (deleted) + 4 (said so).
    int delete_everything_without_memory()
    {
        open("", 80, 25, 64 << 20);
        {
            std::ofstream out("big.txt");   // a line at a time: no block of its size in the heap
            for (int i = 0; out.tellp() < (8 << 20); i++)
                out << "line " << i << " of a text larger than any fixed room\n";
        }
        open_text("big.txt");
        set_history_limit(256 << 20);
        FILE* f = fopen("/proc/self/statm", "r");
        unsigned long pages = 0;
        if (!f || fscanf(f, "%lu", &pages) != 1)
            return 10;
        fclose(f);
        struct rlimit limit = {pages * 4096 + (4 << 20), RLIM_INFINITY};
        if (setrlimit(RLIMIT_AS, &limit) != 0)
            return 11;
        keys("SDyD" + end + end + end + "D");
        bool deleted = text_end - text_begin == 1;
        bool said = message().find("--> change too big to undo") != std::string::npos;
        keys("U");
        bool nothing_to_undo = message().find("no older changes kept") != std::string::npos;
        return deleted && said && nothing_to_undo ? 0 : 1 + deleted * 2 + said * 4;
    }
};

TEST_F(HistoryWithoutMemory, AChangeItCannotKeepIsMadeAndSaidTooBigToUndo)
{
    if (sanitized())
        GTEST_SKIP() << "the sanitizers do not run under an address-space limit";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(_exit(delete_everything_without_memory()), testing::ExitedWithCode(0), "")
        << "1 + 2 (deleted) + 4 (said so) tells what happened";
}
