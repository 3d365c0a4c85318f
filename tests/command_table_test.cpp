// The table of commands against what the user sees of it: the words of
// the menus and the keys view mode blocks. What each command does is in
// the other tests and the cases.
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "prompts/menu.h"
#include "session/command_table.h"
#include "state/key_codes.h"

static std::vector<std::string> words_of(const char* text)
{
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string w; in >> w;)
        words.push_back(w);
    return words;
}

// The menu words of the rows that pass, in the table's order.
template <typename Pass>
static std::vector<std::string> menu_words(Pass pass)
{
    std::vector<std::string> words;
    for (const command& c : command_rows())
        if (*c.menu_word && pass(c))
            words.push_back(c.menu_word);
    return words;
}

TEST(CommandTable, TheFullMenuNamesEveryCommandWithAWordInTheTablesOrder)
{
    EXPECT_EQ(words_of(full_menu), menu_words([](const command&) { return true; }));
}

// The view menu is one segment wide: it has no use for the blank.
TEST(CommandTable, TheViewMenuNamesTheCommandsViewModeAllows)
{
    EXPECT_EQ(words_of(view_menu), menu_words([](const command& c) {
                  return c.in_view == in_view_mode::allowed && c.menu_word != std::string("<space>");
              }));
}

TEST(CommandTable, ViewModeBlocksTheEditingLettersAndSevenKeysBeside)
{
    const char blocked[] = "bcdghimrsxyzBCDGHIMRSXYZ&-<?\x16\x08\x19";
    for (int key = -1; key < 0x400; key++)
        EXPECT_EQ(blocked_key(key), key > 0 && key < 256 && strchr(blocked, key)) << "key " << key;
}

TEST(CommandTable, ALetterRunsItsCommandInEitherCaseAndTheUpperHalfRunsNone)
{
    for (int letter = 'A'; letter <= 'Z'; letter++)
        EXPECT_EQ(command_of(letter), command_of(letter | 0x20)) << char(letter);
    for (int key = 0x80; key < 0x100; key++)
        EXPECT_EQ(command_of(key), nullptr) << "key " << key;
    EXPECT_EQ(command_of('E'), nullptr);
    EXPECT_EQ(command_of('?')->run, nullptr) << "? is read with the count";
}
