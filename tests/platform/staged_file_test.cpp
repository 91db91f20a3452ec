#include "platform/staged_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "platform/output_file.h"
#include "support/temp_folder.h"
#include "support/result_check.h"

namespace tabrix {
namespace {

namespace fs = std::filesystem;

std::string contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::set<std::string> names(const test::TempFolder& folder) {
  std::set<std::string> found;
  for (const auto& entry : fs::directory_iterator(folder.path())) found.insert(entry.path().filename().string());
  return found;
}

unsigned permissions(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

// Writes text to target through a job's files, as the writers do.
bool writeStaged(StagedFiles& files, const std::string& target, const std::string& text) {
  OutputFile out(&files);
  if (!out.open(target, false)) return false;
  out.write(text);
  return out.close();
}

TEST(StagedFileCommit, TheTargetAppearsWholeOnlyAtCommit) {
  test::TempFolder folder;
  const std::string target = folder.write("out.csv", "old");
  StagedFiles files;
  ASSERT_TRUE(writeStaged(files, target, "new contents"));
  // Until the commit the old file stands, and the new one is a hidden file beside it.
  EXPECT_EQ(contents(target), "old");
  const auto during = names(folder);
  ASSERT_EQ(during.size(), 2u);
  EXPECT_EQ(during.begin()->rfind(".out.csv.tabrix-", 0), 0u) << *during.begin();
  ASSERT_TRUE(test::succeeded(files.commit()));
  EXPECT_EQ(contents(target), "new contents");
  EXPECT_EQ(names(folder), std::set<std::string>{"out.csv"});
}

TEST(StagedFileCommit, AllFilesOfAJobAppearTogether) {
  test::TempFolder folder;
  StagedFiles files;
  ASSERT_TRUE(writeStaged(files, folder.at("page.htm"), "one"));
  ASSERT_TRUE(writeStaged(files, folder.at("page1.htm"), "two"));
  EXPECT_FALSE(fs::exists(folder.at("page.htm")));
  ASSERT_TRUE(test::succeeded(files.commit()));
  EXPECT_EQ(contents(folder.at("page.htm")), "one");
  EXPECT_EQ(contents(folder.at("page1.htm")), "two");
  EXPECT_EQ(names(folder).size(), 2u);
}

TEST(StagedFileCommit, AFailedRenameNamesTheTargetAndLeavesNoTemporaryFile) {
  test::TempFolder folder;
  StagedFiles files;
  ASSERT_TRUE(writeStaged(files, folder.at("out.csv"), "text"));
  // A folder with something in it took the target's place meanwhile: rename cannot replace it.
  folder.write("out.csv/inside", "x");
  const Result committed = files.commit();
  EXPECT_FALSE(committed);
  EXPECT_NE(committed.reason().find(folder.at("out.csv")), std::string::npos) << committed.reason();
  EXPECT_EQ(names(folder), std::set<std::string>{"out.csv"});
}

TEST(StagedFileDiscard, LeavesTheOldTargetAndNoTemporaryFile) {
  test::TempFolder folder;
  const std::string target = folder.write("out.csv", "old");
  {
    StagedFiles files;
    ASSERT_TRUE(writeStaged(files, target, "half a tab"));
    ASSERT_TRUE(writeStaged(files, folder.at("new.csv"), "more"));
    // Going out of scope uncommitted discards, as a failed job does.
  }
  EXPECT_EQ(contents(target), "old");
  EXPECT_EQ(names(folder), std::set<std::string>{"out.csv"});
}

TEST(StagedFileMode, AReplacedFileKeepsItsPermissionsAndANewOneFollowsTheUmask) {
  test::TempFolder folder;
  const std::string kept = folder.write("kept.csv", "old");
  ASSERT_EQ(::chmod(kept.c_str(), 0604), 0);
  const mode_t saved = ::umask(027);
  StagedFiles files;
  const bool written = writeStaged(files, kept, "a") && writeStaged(files, folder.at("fresh.csv"), "b");
  const Result committed = files.commit();
  ::umask(saved);
  ASSERT_TRUE(written);
  ASSERT_TRUE(test::succeeded(committed));
  EXPECT_EQ(permissions(kept), 0604u);
  EXPECT_EQ(permissions(folder.at("fresh.csv")), 0640u);
}

TEST(StagedFileMode, AFileTheUserMayNotWriteIsNotReplaced) {
  if (::geteuid() == 0) GTEST_SKIP() << "running as root: every file is writable";
  test::TempFolder folder;
  const std::string target = folder.write("locked.csv", "old");
  ASSERT_EQ(::chmod(target.c_str(), 0444), 0);
  StagedFiles files;
  EXPECT_FALSE(writeStaged(files, target, "new"));
  EXPECT_EQ(contents(target), "old");
  EXPECT_EQ(names(folder), std::set<std::string>{"locked.csv"});
}

TEST(StagedFileTargets, ADeviceOrFifoIsWrittenDirectlyAndNeverReplaced) {
  test::TempFolder folder;
  const std::string fifo = folder.at("pipe");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& target : {std::string("/dev/null"), fifo}) {
    StagedFile file;
    ASSERT_TRUE(test::succeeded(file.create(target)));
    EXPECT_EQ(file.writePath(), target);
    ASSERT_TRUE(test::succeeded(file.commit()));
  }
  EXPECT_TRUE(fs::is_fifo(fifo));
  EXPECT_TRUE(fs::is_character_file("/dev/null"));
  EXPECT_EQ(names(folder), std::set<std::string>{"pipe"});
  // Written directly, a device reports its own write errors.
  if (fs::exists("/dev/full")) {
    StagedFiles files;
    EXPECT_FALSE(writeStaged(files, "/dev/full", "x"));
  }
}

TEST(StagedFileTargets, ASymbolicLinkStaysALinkToTheNewFile) {
  test::TempFolder folder;
  const std::string real = folder.write("data/real.csv", "old");
  const std::string link = folder.at("link.csv");
  fs::create_symlink(real, link);
  StagedFiles files;
  ASSERT_TRUE(writeStaged(files, link, "new"));
  ASSERT_TRUE(test::succeeded(files.commit()));
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(contents(real), "new");
  EXPECT_EQ(names(folder), (std::set<std::string>{"data", "link.csv"}));
}

TEST(StagedFileExtend, AFailedAppendRestoresTheOldLength) {
  test::TempFolder folder;
  const std::string target = folder.write("log.csv", "a,b\r\n");
  StagedFiles files;
  OutputFile out(&files);
  ASSERT_TRUE(out.open(target, true));
  out.write("c,d\r\n");
  ASSERT_TRUE(out.close());
  EXPECT_EQ(contents(target), "a,b\r\nc,d\r\n");  // appended in place
  files.discard();
  EXPECT_EQ(contents(target), "a,b\r\n");
  EXPECT_EQ(names(folder), std::set<std::string>{"log.csv"});
}

TEST(StagedFileExtend, AFailedRewriteRestoresTheHeaderAndTheCutTail) {
  test::TempFolder folder;
  const std::string original = std::string("HEAD01|rec1|") + '\x1A';
  const std::string target = folder.write("table.dbf", original);
  StagedFiles files;
  OutputFile out(&files);
  ASSERT_TRUE(out.openAt(target, 12, 6));
  out.write("rec2|");
  ASSERT_TRUE(out.writeAt(0, "HEAD02", 6));
  ASSERT_TRUE(out.close());
  EXPECT_EQ(contents(target), "HEAD02|rec1|rec2|");
  files.discard();
  EXPECT_EQ(contents(target), original);
}

TEST(StagedFileExtend, AnAppendThatSucceedsStays) {
  test::TempFolder folder;
  const std::string target = folder.write("log.csv", "a");
  StagedFiles files;
  OutputFile out(&files);
  ASSERT_TRUE(out.open(target, true));
  out.write("b");
  ASSERT_TRUE(out.close());
  ASSERT_TRUE(test::succeeded(files.commit()));
  files.discard();  // nothing left to discard after the commit
  EXPECT_EQ(contents(target), "ab");
}

TEST(StagedFileExtend, AMissingTargetIsCreatedAsNew) {
  test::TempFolder folder;
  StagedFiles files;
  OutputFile out(&files);
  ASSERT_TRUE(out.open(folder.at("new.csv"), true));
  EXPECT_EQ(out.initialSize(), 0u);
  out.write("x");
  ASSERT_TRUE(out.close());
  EXPECT_FALSE(fs::exists(folder.at("new.csv")));
  files.discard();
  EXPECT_TRUE(names(folder).empty());
}

TEST(StagedFilesRefusal, ASourceOfTheRunIsRefusedBeforeAnythingIsMade) {
  test::TempFolder folder;
  const std::string source = folder.write("people.dbf", "table");
  const std::string memo = folder.write("people.dbt", "memo");
  fs::create_symlink(memo, folder.at("alias.dbt"));
  fs::create_hard_link(source, folder.at("hard.dbf"));
  StagedFiles files({source, memo});
  for (const char* name : {"people.dbf", "alias.dbt", "hard.dbf"}) {
    OutputFile out(&files);
    EXPECT_FALSE(out.open(folder.at(name), false)) << name;
    EXPECT_EQ(out.errorText(), folder.at(name) + " is a source of this run");
    EXPECT_FALSE(out.openAt(folder.at(name), 0)) << name;
  }
  EXPECT_EQ(contents(source), "table");
  EXPECT_EQ(contents(memo), "memo");
  EXPECT_EQ(names(folder), (std::set<std::string>{"people.dbf", "people.dbt", "alias.dbt", "hard.dbf"}));
}

TEST(StagedFilesRefusal, OneTargetIsNotWrittenTwiceByAJob) {
  test::TempFolder folder;
  StagedFiles files;
  ASSERT_TRUE(writeStaged(files, folder.at("out.dbf"), "table"));
  std::string writePath;
  EXPECT_EQ(files.create(folder.at("out.dbf"), writePath).reason(), folder.at("out.dbf") + " is written twice by this job");
}

}  // namespace
}  // namespace tabrix
