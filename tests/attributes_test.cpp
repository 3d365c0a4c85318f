// Set-id bits through the built editor: a file written by Update keeps
// them.
#include <gtest/gtest.h>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

#include "harness/child.h"
#include "harness/pty.h"

namespace {

struct stat status_of(const std::string& path)
{
    struct stat st = {};
    lstat(path.c_str(), &st);
    return st;
}

// Types at the start of the text, then saves with keys ("QU", then E to
// leave; or "&", then Y); the exit code.
int edit_and_save(PtyEditor& pym, const std::string& name, const std::string& keys)
{
    pym.start({name});
    pym.send("new ");
    pym.press(Key::Esc);
    for (char key : keys) {
        pym.send(std::string(1, key));
        pym.settle();
    }
    return pym.wait_exit();
}

// edit_and_save as nobody, whose directory the test's is made.
int edit_as_nobody(PtyEditor& pym, const std::string& name, const std::string& keys)
{
    chmod(pym.dir().c_str(), 0777);
    return in_child([&] {
        if (!become_nobody())
            return 99;
        int code = edit_and_save(pym, name, keys);
        if (code < 0)
            pym.signal(SIGKILL);
        return code;
    });
}

}  // namespace

// A write clears set-user and set-group bits unless the writer is
// privileged: the owner's save sets them again, whether through a new
// file or in place (a second name keeps the file where it is).
TEST(Attributes, SetUserAndGroupBitsSurviveTheirOwnersSave)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "the file must belong to another user than the test's";
    for (bool linked : {false, true}) {
        PtyEditor pym(25, 80);
        pym.create_file("tool", "old text\n");
        const std::string path = pym.dir() + "/tool";
        ASSERT_EQ(chown(path.c_str(), 65534, 65534), 0);
        ASSERT_EQ(chmod(path.c_str(), 06755), 0);
        if (linked) {
            ASSERT_EQ(link(path.c_str(), (pym.dir() + "/second name").c_str()), 0);
        }

        EXPECT_EQ(edit_as_nobody(pym, "tool", "QUE"), 0) << linked;
        EXPECT_EQ(pym.read_file("tool"), "new old text\n") << linked;
        EXPECT_EQ(status_of(path).st_mode & 07777, 06755u) << (linked ? "in place" : "replaced");
    }
}
