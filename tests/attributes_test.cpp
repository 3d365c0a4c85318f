// Extended attributes, ACLs and set-id bits through the built editor: a
// file written by Update or "&" keeps every one of them, byte for byte.
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <map>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "harness/child.h"
#include "harness/pty.h"

namespace {

using Attributes = std::map<std::string, std::string>;

// Every extended attribute of path, by name, as the file system gives it.
Attributes attributes_of(const std::string& path)
{
    Attributes all;
    std::vector<char> names(65536), value(65536);
    ssize_t n = llistxattr(path.c_str(), names.data(), names.size());
    for (ssize_t i = 0; i < n; i += ssize_t(strlen(names.data() + i)) + 1) {
        ssize_t length = lgetxattr(path.c_str(), names.data() + i, value.data(), value.size());
        all[names.data() + i] = length >= 0 ? std::string(value.data(), size_t(length)) : "(unreadable)";
    }
    return all;
}

// An ACL as the kernel keeps it: the owner, nobody and the mask may read
// and write, the group and the others read.
std::string acl_granting_nobody()
{
    struct entry {
        uint16_t tag, permissions;
        uint32_t id;
    };
    const uint32_t none = ~0u, version = 2;
    const entry entries[] = {{0x01, 6, none}, {0x02, 6, 65534}, {0x04, 4, none}, {0x10, 6, none}, {0x20, 4, none}};
    std::string acl(reinterpret_cast<const char*>(&version), sizeof version);
    for (const entry& e : entries)
        acl.append(reinterpret_cast<const char*>(&e), sizeof e);
    return acl;
}

bool set_attribute(const std::string& path, const char* name, const std::string& value)
{
    return setxattr(path.c_str(), name, value.data(), value.size(), 0) == 0;
}

// Gives path an ACL entry for nobody and two user attributes; the reason
// why not when the file system keeps no such thing, else "".
std::string give_attributes(const std::string& path)
{
    if (!set_attribute(path, "user.x", "y") ||
        !set_attribute(path, "user.binary", std::string("\0\x01\xff bytes", 9)))
        return std::string("the test directory's file system keeps no user attributes: ") + strerror(errno);
    if (!set_attribute(path, "system.posix_acl_access", acl_granting_nobody()))
        return std::string("the test directory's file system keeps no ACLs: ") + strerror(errno);
    return "";
}

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

// A colleague granted access by an ACL keeps it after the owner's save.
TEST(Attributes, AnAclAndUserAttributesSurviveUpdateAndAmpersand)
{
    for (const char* keys : {"QUE", "&Y"}) {
        PtyEditor pym(25, 80);
        pym.create_file("shared.txt", "old text\n");
        const std::string path = pym.dir() + "/shared.txt";
        ASSERT_EQ(chmod(path.c_str(), 0644), 0);
        std::string missing = give_attributes(path);
        if (!missing.empty())
            GTEST_SKIP() << missing;
        Attributes before = attributes_of(path);
        mode_t mode = status_of(path).st_mode;

        EXPECT_EQ(edit_and_save(pym, "shared.txt", keys), 0) << keys;
        EXPECT_EQ(pym.read_file("shared.txt"), "new old text\n") << keys;
        EXPECT_EQ(attributes_of(path), before) << keys;
        EXPECT_EQ(status_of(path).st_mode, mode) << keys;
    }
}

// A directory's default ACL is for new files: a file saved in it stays
// without an ACL of its own, as it was.
TEST(Attributes, AFileWithoutAnAclGainsNoneFromItsDirectory)
{
    PtyEditor pym(25, 80);
    pym.create_file("plain.txt", "old text\n");
    const std::string path = pym.dir() + "/plain.txt";
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
    if (!set_attribute(pym.dir(), "system.posix_acl_default", acl_granting_nobody()))
        GTEST_SKIP() << "the test directory's file system keeps no ACLs: " << strerror(errno);

    EXPECT_EQ(edit_and_save(pym, "plain.txt", "QUE"), 0);
    EXPECT_EQ(pym.read_file("plain.txt"), "new old text\n");
    EXPECT_EQ(attributes_of(path), Attributes{});
    EXPECT_EQ(status_of(path).st_mode & 07777, 0640u);
}

// An attribute the user cannot give a new file (security.* needs
// privilege) is not lost: the file is written in place, and keeps it and
// its ACL.
TEST(Attributes, AnAttributeThatCannotBeCopiedKeepsTheFileWrittenInPlace)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "setting a security attribute needs root";
    PtyEditor pym(25, 80);
    pym.create_file("guarded.txt", "old text\n");
    const std::string path = pym.dir() + "/guarded.txt";
    std::string missing = give_attributes(path);
    if (!missing.empty())
        GTEST_SKIP() << missing;
    if (!set_attribute(path, "security.pym-test", "label"))
        GTEST_SKIP() << "no security attribute can be set here: " << strerror(errno);
    ASSERT_EQ(chown(path.c_str(), 65534, 65534), 0);
    Attributes before = attributes_of(path);
    struct stat was = status_of(path);

    EXPECT_EQ(edit_as_nobody(pym, "guarded.txt", "QUE"), 0);
    EXPECT_EQ(pym.read_file("guarded.txt"), "new old text\n");
    EXPECT_EQ(attributes_of(path), before);
    struct stat now = status_of(path);
    EXPECT_EQ(now.st_ino, was.st_ino) << "written in place";
    EXPECT_EQ(now.st_mode, was.st_mode);
}

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
