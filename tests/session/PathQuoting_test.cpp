// Every floor's messages name a file the same way: its shown text (bytes that
// are not UTF-8 escaped), whole, in quotation marks.
#include <gtest/gtest.h>

#include "TempFolder.h"
#include "document/PathText.h"
#include "generation/ScriptFile.h"
#include "reading/FileBytes.h"
#include "reading/LastAnimationLoader.h"
#include "session/AddHistory.h"

namespace tw {
namespace {

TEST(QuotedPath, TheShownTextWholeInQuotationMarks) {
    EXPECT_EQ(QuotedPath("/tmp/a b.hap"), "\"/tmp/a b.hap\"");
    EXPECT_EQ(QuotedPath("/tmp/\xff.hap"), "\"/tmp/\\xFF.hap\"");
    const std::string deep = "/tmp/" + std::string(300, 'd') + "/x.hap";
    EXPECT_EQ(QuotedPath(deep), '"' + deep + '"');
}

class PathQuotingTest : public TempFolderTest {};

TEST_F(PathQuotingTest, WritersReadersAndTheUndoNameAFolderAlike) {
    // A folder where a script file is expected, under a name that is not UTF-8.
    const std::filesystem::path odd = folder / "odd\xff name.hap";
    std::filesystem::create_directory(odd);
    const std::string quoted = QuotedPath(odd.native());
    ASSERT_NE(quoted.find("\\xFF"), std::string::npos);

    const Outcome<void> append = AppendQuotedRecord(odd, "block\r\n");
    ASSERT_FALSE(append);
    EXPECT_NE(append.error().find(quoted), std::string::npos) << append.error();

    const Outcome<OpenedFile> opened = OpenedFile::Open(odd);
    ASSERT_FALSE(opened);
    EXPECT_NE(opened.error().find(quoted), std::string::npos) << opened.error();

    const Outcome<LastAdd> undo = FindLastAdd(odd.native());
    ASSERT_FALSE(undo);
    EXPECT_NE(undo.error().find(quoted), std::string::npos) << undo.error();
}

}  // namespace
}  // namespace tw
